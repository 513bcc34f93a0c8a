// A programmer whose node cannot be opened for reading and writing: still
// connected, and the log names the node and the udev rule, once per attempt.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "ProgrammerRig.h"
#include "WaitFor.h"
#include "link/AccessHint.h"
#include "link/DeviceIdentity.h"

namespace kvm::test {
namespace {

hid::platform::TSimDeviceInfo LockedProgrammer(const std::u16string& serial) {
  hid::platform::TSimDeviceInfo programmer = hid::platform::SimProgrammer();
  programmer.SerialNumber = serial;
  programmer.Access = hid::platform::TSimAccess::QueryOnly;
  return programmer;
}

TEST(AccessHintTest, LockedProgrammerIsNamedRightAfterItsConnectionOncePerAttempt) {
  TProgrammerRig rig;
  const std::uint64_t locked = rig.Plug(LockedProgrammer(u"LOCKED"));
  const std::uint64_t other = rig.PlugProgrammer(u"OTHER");
  rig.Start();
  ASSERT_TRUE(rig.WaitConnected());

  const std::string hint = link::NoAccessText(rig.platform->PathOf(locked));
  const int connectedLine = rig.window.FindLog(TProgrammerRig::ConnectedText("LOCKED"));
  ASSERT_GE(connectedLine, 0);
  EXPECT_EQ(rig.window.FindLog(hint), connectedLine + 1);
  EXPECT_EQ(rig.window.CountLog(hint), 1) << "the start-up's second rebuild is no second attempt";
  // The connection itself is as it would be with access.
  EXPECT_EQ(rig.window.statusText, TProgrammerRig::ConnectedText("LOCKED"));
  EXPECT_EQ(rig.window.statusColour, Blue);
  EXPECT_TRUE(rig.window.connectLamp);

  // Pulling the other programmer is a new attempt, which says it again.
  rig.platform->Unplug(other);
  ASSERT_TRUE(rig.WaitConnected());
  EXPECT_EQ(rig.window.CountLog(TProgrammerRig::ConnectedText("LOCKED")), 2);
  EXPECT_EQ(rig.window.CountLog(hint), 2);
}

// Another program has connected the programmer: the window still connects it,
// says once who holds it, and a job ends with that line before any report.
TEST(AccessHintTest, AProgrammerHeldByAnotherProgramGetsNoReport) {
  TProgrammerRig rig;
  hid::platform::TSimDeviceInfo held = hid::platform::SimProgrammer();
  held.SerialNumber = u"HELD";
  held.HeldBy = "PID 77 (kvmflash-cli)";
  const std::uint64_t id = rig.Plug(held);
  rig.Start();
  ASSERT_TRUE(rig.WaitConnected());
  const std::string line = "KVM programmer at " + rig.platform->PathOf(id) + " is in use by PID 77 (kvmflash-cli)";
  EXPECT_EQ(rig.window.FindLog(line), rig.window.FindLog(TProgrammerRig::ConnectedText("HELD")) + 1);
  for (const std::string& logged : rig.window.log) EXPECT_EQ(logged.rfind("Cannot open", 0), std::string::npos);

  const std::string file = ::testing::TempDir() + "held-osd.bin";
  std::ofstream(file, std::ios::binary) << std::string(104, '\x11');
  rig.window.checked[TTarget::Osd] = true;
  rig.window.fileNames[TTarget::Osd] = file;
  rig.jobs->InProgButtonClick();
  EXPECT_EQ(rig.window.log.back(), line);
  EXPECT_EQ(rig.window.lamps[TTarget::Osd], TLampPicture::Red);
  EXPECT_EQ(rig.platform->WrittenReports(id), 0u);
  std::remove(file.c_str());
}

TEST(AccessHintTest, NothingIsSaidForAProgrammerWithAccess) {
  TProgrammerRig rig;
  ASSERT_TRUE(rig.StartConnected());
  for (const std::string& line : rig.window.log) EXPECT_EQ(line.rfind("Cannot open", 0), std::string::npos) << line;
}

TEST(AccessHintTest, TextNamesTheNodeAndTheShippedRule) {
  EXPECT_EQ(link::NoAccessText("/dev/hidraw3"),
            "Cannot open /dev/hidraw3 for reading and writing: install the udev rule 70-kvmflash.rules, then plug the "
            "programmer in again (kvmflash-cli doctor tells what is missing)");
}

// The rule the message points at must exist under that name and grant the
// programmer the logged-in user's access.
TEST(AccessHintTest, ShippedRuleMatchesTheProgrammer) {
  std::ifstream file(std::string(KVM_PACKAGING_DIR) + "/" + link::UdevRuleName);
  ASSERT_TRUE(file) << "packaging/" << link::UdevRuleName << " is missing";
  std::stringstream text;
  text << file.rdbuf();
  const std::string rule = text.str();
  EXPECT_NE(rule.find("SUBSYSTEM==\"hidraw\""), std::string::npos);
  // sysfs writes the USB IDs as four lower-case hex digits.
  char vendor[5], product[5];
  std::snprintf(vendor, sizeof vendor, "%04x", unsigned{link::ProgrammerVendorID});
  std::snprintf(product, sizeof product, "%04x", unsigned{link::ProgrammerProductID});
  EXPECT_NE(rule.find("ATTRS{idVendor}==\"" + std::string(vendor) + "\""), std::string::npos);
  EXPECT_NE(rule.find("ATTRS{idProduct}==\"" + std::string(product) + "\""), std::string::npos);
  EXPECT_NE(rule.find("TAG+=\"uaccess\""), std::string::npos);
  // systemd's 73-seat-late.rules turns the tag into an ACL for the seat's user.
  EXPECT_LT(std::string(link::UdevRuleName), std::string("73-seat-late.rules"));
}

}  // namespace
}  // namespace kvm::test
