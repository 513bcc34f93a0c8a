// Discovery without a programmer: the countdown, the scan messages, the list.
#include <gtest/gtest.h>

#include "ProgrammerRig.h"
#include "WaitFor.h"
#include "link/DeviceIdentity.h"

namespace kvm::test {
namespace {

using hid::platform::SimMouse;

TEST(DeviceIdTextTest, UpperCaseHexOfAtLeastFourDigits) {
  EXPECT_EQ(link::DeviceIdText(0x0B39, 0xFF03), "Device VID=0B39 PID=FF03");
  EXPECT_EQ(link::DeviceIdText(0x0001, 0x00AB), "Device VID=0001 PID=00AB");
}

TEST(DiscoveryTest, MouseAloneEndsInNotFoundAfterOneScanningSection) {
  TProgrammerRig rig;
  rig.PlugMouse();
  rig.Start();
  ASSERT_TRUE(rig.WaitSettled());

  EXPECT_FALSE(rig.state.Connected);
  EXPECT_EQ(rig.window.statusText, "Please connect KVM programmer.");
  EXPECT_EQ(rig.window.statusColour, Red);
  EXPECT_EQ(rig.window.panels[1], "KVM Programmer is not found.");
  EXPECT_EQ(rig.window.panels[2], "");
  const std::vector<std::string> expected{"", "Scanning...", "KVM Programmer is not found."};
  EXPECT_EQ(rig.window.log, expected);
  EXPECT_FALSE(rig.window.connectLamp);
  EXPECT_FALSE(rig.window.programEnabled);
  EXPECT_GE(rig.window.restoreLayoutCount, 1);
  // The mouse is listed and checked out; line 0 is selected.
  ASSERT_EQ(rig.link->DevListBox().Count(), 1);
  EXPECT_EQ(rig.link->DevListBox().Line(0).Text, "USB Optical Mouse");
  EXPECT_NE(rig.link->DevListBox().Line(0).Device, nullptr);
  EXPECT_EQ(rig.link->DevListBox().ItemIndex(), 0);
  EXPECT_EQ(rig.controller->NumCheckedOutDevices(), 1);
}

TEST(DiscoveryTest, SecondArrivalRestartsTheCountWithoutAnotherScanningLine) {
  TProgrammerRig rig;
  rig.PlugMouse();
  rig.Start();
  ASSERT_TRUE(WaitFor([&] { return rig.link->CheckTargetTimer().Tag == 1; }));
  rig.Plug(hid::platform::SimBootKeyboard());
  ASSERT_TRUE(WaitFor([&] { return rig.link->CheckTargetTimer().Tag == 3; }));
  EXPECT_EQ(rig.link->DevListBox().Count(), 2);
  EXPECT_EQ(rig.window.FindLog("KVM Programmer is not found."), -1);

  ASSERT_TRUE(WaitFor([&] { return !rig.link->CheckTargetTimer().Enabled(); }));
  EXPECT_EQ(rig.window.CountLog("Scanning..."), 1);
  EXPECT_EQ(rig.window.CountLog("KVM Programmer is not found."), 1);
}

TEST(DiscoveryTest, NoHidDeviceStartsNoCountdown) {
  TProgrammerRig rig;
  rig.Start();
  // Past the controller's own first notice and what would be a whole countdown.
  EXPECT_FALSE(WaitFor([&] { return rig.link->CheckTargetTimer().Enabled() || !rig.window.log.empty(); },
                       8 * RigTickMs));
  EXPECT_EQ(rig.window.statusText, "");
  EXPECT_FALSE(rig.window.connectLamp);
}

TEST(DiscoveryTest, DevicesThatAreNotTheProgrammerNeverConnect) {
  TProgrammerRig rig;
  rig.Plug(hid::platform::SimProgrammerWithInputLength(9));
  rig.Plug(hid::platform::SimOtherProduct());
  rig.Start();
  ASSERT_TRUE(rig.WaitSettled());
  EXPECT_FALSE(rig.state.Connected);
  EXPECT_EQ(rig.state.ProgrammerDevice, nullptr);
  EXPECT_EQ(rig.link->DevListBox().Count(), 2);
  EXPECT_EQ(rig.window.statusText, "Please connect KVM programmer.");
}

TEST(DiscoveryTest, DescribeDeviceFallsBackToTheIdsAndAppendsTheSerial) {
  TProgrammerRig rig;
  hid::platform::TSimDeviceInfo anonymous = hid::platform::SimProgrammerWithInputLength(9);
  anonymous.Product.reset();
  anonymous.SerialNumber = u"S-\u00e9";
  rig.Plug(anonymous);
  hid::platform::TSimDeviceInfo mute = SimMouse();
  mute.Product = u"";
  mute.SerialNumber.reset();
  rig.Plug(mute);
  rig.PlugProgrammer();
  rig.Start();
  ASSERT_TRUE(rig.WaitSettled());

  ASSERT_EQ(rig.link->DevListBox().Count(), 3);
  EXPECT_EQ(rig.link->DevListBox().Line(0).Text, "Device VID=0B39 PID=FF03 (Serial=S-\xc3\xa9)");
  EXPECT_EQ(rig.link->DevListBox().Line(1).Text, "Device VID=046D PID=C077");
  EXPECT_EQ(rig.link->DevListBox().Line(2).Text, "KVM Programmer (Serial=KP000001)");
}

}  // namespace
}  // namespace kvm::test
