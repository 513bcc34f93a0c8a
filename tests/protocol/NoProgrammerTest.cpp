// Without a connected programmer, or with a break requested, nothing is sent
// and every operation fails at once with -1.
#include <gtest/gtest.h>

#include <vector>

#include "RecordingStatus.h"
#include "ScriptedPump.h"

namespace kvm::protocol {
namespace {

class NoProgrammerTest : public ::testing::Test {
 protected:
  NoProgrammerTest() : protocol(status, state, pump, 20) {
    pump.Attach(&protocol);
    status.ShowStatus("", Blue);
  }

  test::TRecordingStatus status;
  TProgrammerState state;
  test::TScriptedPump pump;
  TProgrammerProtocol protocol;
};

TEST_F(NoProgrammerTest, SendReportRefusesWithoutLogging) {
  EXPECT_FALSE(protocol.SendReport(ProgrammerReport{}));
  state.UserBreak = true;
  EXPECT_FALSE(protocol.SendReport(ProgrammerReport{}));
  EXPECT_TRUE(status.log.empty());
}

TEST_F(NoProgrammerTest, RunCommandShowsItsStartTextPumpsOnceAndDoesNotWait) {
  EXPECT_EQ(protocol.RunCommand(4, 0x03, StatusReady, "Initial KVM Programmer...", "KVM Programmer is initialized."), -1);
  EXPECT_EQ(status.statusText, "Initial KVM Programmer...");
  EXPECT_EQ(status.statusColour, Green);
  EXPECT_EQ(pump.processCalls, 1);
  EXPECT_EQ(pump.waitCalls, 0);
  EXPECT_EQ(protocol.WaitTimer().Tag, 0);
  EXPECT_TRUE(status.log.empty());
}

TEST_F(NoProgrammerTest, RunCommandWithoutStartTextLeavesTheStatusLineAlone) {
  EXPECT_EQ(protocol.RunCommand(0, 0x01, StatusReadyAlt, "", ""), -1);
  EXPECT_EQ(status.statusText, "");
  EXPECT_EQ(status.statusColour, Blue);
  EXPECT_EQ(pump.processCalls, 0);
}

TEST_F(NoProgrammerTest, EveryCommandFailsWithItsStartTextOnly) {
  std::int32_t value = 1234;
  EXPECT_EQ(protocol.EnableProgrammer(), -1);
  EXPECT_EQ(status.statusText, "Enable KVM Programmer...");
  EXPECT_EQ(protocol.InitProgrammer(2), -1);
  EXPECT_EQ(status.statusText, "Initial KVM Programmer...");
  EXPECT_EQ(protocol.GetChipID(2, value), -1);
  EXPECT_EQ(status.statusText, "Get chip ID...");
  EXPECT_EQ(value, 0);
  value = 1234;
  EXPECT_EQ(protocol.GetCheckSum(2, value), -1);
  EXPECT_EQ(status.statusText, "Get check sum...");
  EXPECT_EQ(value, 0);
  EXPECT_EQ(protocol.DisableProgrammer(), -1);
  EXPECT_EQ(status.statusText, "Get check sum...");
  EXPECT_EQ(status.statusColour, Green);
  EXPECT_TRUE(status.log.empty());
}

TEST_F(NoProgrammerTest, ProgramBlockFailsFourTimesAsKindOne) {
  EXPECT_EQ(protocol.ProgramBlock(4, 17, 56, {}), -1);
  const std::vector<std::string> expected{
      "Retry KVM Programmer (1) [17]: #2", "Programming...", "Retry KVM Programmer (1) [17]: #3", "Programming...",
      "Program Fail"};
  EXPECT_EQ(status.log, expected);
  EXPECT_EQ(status.statusText, "Program Fail");
  EXPECT_EQ(status.statusColour, Red);
  EXPECT_EQ(status.panels[1], "Program Fail");
  EXPECT_EQ(pump.waitCalls, 0);
}

TEST_F(NoProgrammerTest, ProgramBlockShowsItsBlockNumberInThePanel) {
  std::string panelWhilePumping;
  pump.Then([&] {
    panelWhilePumping = status.panels[1];
    EXPECT_EQ(status.statusColour, Green);
  });
  protocol.ProgramBlock(4, 300, 5, {});
  EXPECT_EQ(panelWhilePumping, "Programming block [300] ...");
}

}  // namespace
}  // namespace kvm::protocol
