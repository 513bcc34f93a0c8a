// Connecting to the programmer: the third tick, the messages, several
// programmers, devices that come and go while connected.
#include <gtest/gtest.h>

#include <vector>

#include "ProgrammerRig.h"
#include "WaitFor.h"

namespace kvm::test {
namespace {

TEST(ConnectionTest, ConnectsOnTheThirdTickAndTakesReplies) {
  TProgrammerRig rig;
  rig.window.checked[TTarget::Osd] = true;
  rig.PlugProgrammer(u"KP42");
  rig.Start();
  // Sample the countdown until it ends: nothing connects before it runs out.
  std::vector<int> tagsBeforeConnection;
  ASSERT_TRUE(WaitFor([&] {
    if (rig.state.Connected) return true;
    if (rig.link->CheckTargetTimer().Enabled() &&
        (tagsBeforeConnection.empty() || tagsBeforeConnection.back() != rig.link->CheckTargetTimer().Tag))
      tagsBeforeConnection.push_back(rig.link->CheckTargetTimer().Tag);
    return false;
  }));
  EXPECT_EQ(tagsBeforeConnection, (std::vector<int>{3, 2, 1}));

  const std::string connected = TProgrammerRig::ConnectedText("KP42");
  EXPECT_EQ(rig.window.statusText, connected);
  EXPECT_EQ(rig.window.statusColour, Blue);
  EXPECT_EQ(rig.window.panels[1], connected);
  EXPECT_EQ(rig.window.panels[2], "Zorbek KVM Switch Programmer KP42");
  EXPECT_EQ(rig.window.log, (std::vector<std::string>{"", "Scanning...", connected}));
  EXPECT_TRUE(rig.window.connectLamp);
  EXPECT_TRUE(rig.window.programEnabled);
  EXPECT_EQ(rig.link->ProgrammerIndex(), 0);
  EXPECT_EQ(rig.link->DevListBox().ItemIndex(), 0);
  EXPECT_EQ(rig.state.ProgrammerDevice, rig.link->DevListBox().Line(0).Device);
  // The replies reach the protocol: a command completes.
  EXPECT_EQ(rig.protocol->EnableProgrammer(), 0);
  EXPECT_TRUE(rig.emulator->IsEnabled());
}

TEST(ConnectionTest, MouseArrivingWhileConnectedChangesNothing) {
  TProgrammerRig rig;
  ASSERT_TRUE(rig.StartConnected());
  EXPECT_FALSE(rig.window.programEnabled);  // no target ticked
  const std::vector<std::string> logBefore = rig.window.log;
  const auto* programmer = rig.state.ProgrammerDevice;

  rig.PlugMouse();
  EXPECT_FALSE(WaitFor([&] { return rig.link->CheckTargetTimer().Enabled(); }, 5 * RigTickMs));
  EXPECT_EQ(rig.window.log, logBefore);
  EXPECT_TRUE(rig.window.connectLamp);
  EXPECT_EQ(rig.link->DevListBox().Count(), 1);
  EXPECT_EQ(rig.state.ProgrammerDevice, programmer);
}

TEST(ConnectionTest, FirstListedProgrammerWinsAndUnpluggingTheOtherReconnects) {
  // Long enough ticks that the countdown's middle is seen on a busy machine.
  TProgrammerRig rig(50);
  rig.PlugProgrammer(u"FIRST");
  const std::uint64_t second = rig.PlugProgrammer(u"SECOND");
  rig.Start();
  ASSERT_TRUE(rig.WaitConnected());
  EXPECT_EQ(rig.window.panels[2], "Zorbek KVM Switch Programmer FIRST");

  rig.platform->Unplug(second);
  ASSERT_TRUE(WaitFor([&] { return rig.link->CheckTargetTimer().Enabled(); }));
  EXPECT_FALSE(rig.window.connectLamp);
  EXPECT_EQ(rig.window.statusText, "Scanning...");
  EXPECT_EQ(rig.window.panels[2], "");
  EXPECT_EQ(rig.state.ProgrammerDevice, nullptr);
  ASSERT_TRUE(WaitFor([&] { return !rig.link->CheckTargetTimer().Enabled(); }));
  EXPECT_TRUE(rig.state.Connected);
  EXPECT_TRUE(rig.window.connectLamp);
  EXPECT_EQ(rig.window.CountLog(TProgrammerRig::ConnectedText("FIRST")), 2);
  EXPECT_EQ(rig.window.CountLog("Scanning..."), 2);
  EXPECT_EQ(rig.link->DevListBox().Count(), 1);
}

TEST(ConnectionTest, ProgrammerWithoutWriteAccessConnectsWithoutAReader) {
  TProgrammerRig rig;
  hid::platform::TSimDeviceInfo programmer = hid::platform::SimProgrammer();
  programmer.Access = hid::platform::TSimAccess::QueryOnly;
  rig.Plug(programmer);
  rig.Start();
  ASSERT_TRUE(rig.WaitConnected());
  ASSERT_NE(rig.state.ProgrammerDevice, nullptr);
  EXPECT_FALSE(static_cast<bool>(rig.state.ProgrammerDevice->OnData()));
}

TEST(ConnectionTest, DestroyingTheLinkGivesEveryDeviceBack) {
  // The link alone beside its controller, so that it can go first.
  auto platform = std::make_shared<hid::platform::TSimHidPlatform>();
  platform->Plug(hid::platform::SimMouse());
  platform->Plug(hid::platform::SimProgrammer(),
                 emulator::TProgrammerEmulator::Responder(std::make_shared<emulator::TProgrammerEmulator>()));
  TRigWindow window;
  TProgrammerState state;
  TQtMessagePump pump;
  hid::THidDeviceController controller(platform);
  protocol::TProgrammerProtocol protocol(window, state, pump, RigTickMs);
  auto link =
      std::make_unique<link::TProgrammerLink>(controller, window, window, window, state, protocol, RigTickMs);
  link->BindController();
  link->FormActivate();
  ASSERT_TRUE(WaitFor([&] { return link->CheckTargetTimer().Enabled(); }) &&
              WaitFor([&] { return !link->CheckTargetTimer().Enabled(); }));
  ASSERT_TRUE(state.Connected);
  ASSERT_EQ(controller.NumCheckedOutDevices(), 2);

  link.reset();
  EXPECT_EQ(controller.NumCheckedOutDevices(), 0);
  EXPECT_EQ(state.ProgrammerDevice, nullptr);
  // Its handlers are gone from the controller: a later change reaches nothing.
  platform->Plug(hid::platform::SimMouse());
  controller.DeviceChange();
  EXPECT_EQ(controller.NumCheckedOutDevices(), 0);
}

}  // namespace
}  // namespace kvm::test
