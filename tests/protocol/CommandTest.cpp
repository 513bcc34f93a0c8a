// Commands against a connected (simulated) programmer, through the real
// device objects, the reader thread's hand-over and the Qt event pump.
#include <gtest/gtest.h>

#include <QTimer>
#include <cerrno>

#include "ProtocolRig.h"

namespace kvm::protocol {
namespace {

using emulator::TFaultAction;
using emulator::TFaultKind;

constexpr int TickMs = 20;

class CommandTest : public ::testing::Test {
 protected:
  CommandTest() : rig(TickMs) {}

  void AddRule(std::uint8_t command, TFaultAction action) { rig.emulator->AddRule(test::CommandRule(command, action)); }
  std::vector<std::uint8_t> Sent(std::size_t i) const { return rig.emulator->Log().at(i).Bytes; }
  int Ticks() { return rig.protocol.WaitTimer().Tag; }

  void ExpectReported(const std::string& text) {
    EXPECT_EQ(rig.status.statusText, text);
    EXPECT_EQ(rig.status.statusColour, Red);
    EXPECT_EQ(rig.status.panels[1], text);
    ASSERT_FALSE(rig.status.log.empty());
    EXPECT_EQ(rig.status.log.back(), text);
  }

  test::TProtocolRig rig;
};

TEST_F(CommandTest, EnableSendsOneZeroPaddedReportAndShowsItsDoneText) {
  EXPECT_EQ(rig.protocol.EnableProgrammer(), 0);
  EXPECT_LT(Ticks(), 6) << "the READY ends the wait before the time-out";
  EXPECT_EQ(rig.status.statusText, "KVM Programmer is enabled.");
  EXPECT_EQ(rig.status.statusColour, Blue);
  EXPECT_TRUE(rig.status.log.empty());
  ASSERT_EQ(rig.emulator->ReportCount(), 1u);
  std::vector<std::uint8_t> expected(64, 0x00);
  expected[0] = 0x04;
  expected[2] = 0x02;
  EXPECT_EQ(Sent(0), expected) << "the declared output length, report ID first";
  EXPECT_TRUE(rig.emulator->IsEnabled());
}

TEST_F(CommandTest, EnableAndDisableAlwaysAddressTargetZeroWhileOthersPassTheirs) {
  EXPECT_EQ(rig.protocol.InitProgrammer(4), 0);
  EXPECT_EQ(rig.status.statusText, "KVM Programmer is initialized.");
  EXPECT_EQ(rig.protocol.EnableProgrammer(), 0);
  EXPECT_EQ(rig.protocol.DisableProgrammer(), 0);
  const auto log = rig.emulator->Log();
  ASSERT_EQ(log.size(), 3u);
  EXPECT_EQ(log[0].Bytes[1], 4);
  EXPECT_EQ(log[0].Bytes[2], 0x03);
  EXPECT_EQ(log[1].Bytes[1], 0x00);
  EXPECT_EQ(log[2].Bytes[1], 0x00);
  EXPECT_EQ(log[2].Bytes[2], 0x01);
  EXPECT_FALSE(rig.emulator->IsEnabled());
}

TEST_F(CommandTest, AckWithoutReadyIsReportedInRedAfterSixTicks) {
  AddRule(emulator::CmdEnable, TFaultKind::AckOnly);
  EXPECT_EQ(rig.protocol.EnableProgrammer(), -2);
  EXPECT_EQ(Ticks(), 6);
  ExpectReported("KVM Programmer is ACK but not READY");
  EXPECT_EQ(rig.status.log.size(), 1u);
}

TEST_F(CommandTest, SilenceIsReportedAsTimeOut) {
  AddRule(emulator::CmdInitialise, TFaultKind::Silence);
  EXPECT_EQ(rig.protocol.InitProgrammer(2), -2);
  EXPECT_EQ(Ticks(), 6);
  ExpectReported("KVM Programmer is time out.");
}

TEST_F(CommandTest, FailBeforeReadyEndsAtOnceAndFailsSilently) {
  AddRule(emulator::CmdEnable, TFaultAction::Extra({0x01, 0x04}));
  EXPECT_EQ(rig.protocol.EnableProgrammer(), -2);
  EXPECT_LT(Ticks(), 6);
  EXPECT_EQ(rig.status.statusText, "Enable KVM Programmer...");
  EXPECT_EQ(rig.status.statusColour, Green);
  EXPECT_TRUE(rig.status.log.empty());
}

TEST_F(CommandTest, DisableAnsweredWithReadyRunsTheFullWaitAndSucceeds) {
  AddRule(emulator::CmdDisable, TFaultKind::OtherCompletion);
  EXPECT_EQ(rig.protocol.DisableProgrammer(), 0);
  EXPECT_EQ(Ticks(), 6);
  EXPECT_EQ(rig.status.statusColour, Blue);
  EXPECT_TRUE(rig.status.log.empty());
}

TEST_F(CommandTest, OtherCompletionSucceedsWithoutTheDoneText) {
  AddRule(emulator::CmdInitialise, TFaultKind::OtherCompletion);
  EXPECT_EQ(rig.protocol.InitProgrammer(4), 0);
  EXPECT_EQ(Ticks(), 6);
  EXPECT_EQ(rig.status.statusText, "Initial KVM Programmer...");
  EXPECT_EQ(rig.status.statusColour, Blue);
}

TEST_F(CommandTest, ChipIDComesFromTheValueReply) {
  std::int32_t chipId = -1;
  EXPECT_EQ(rig.protocol.GetChipID(4, chipId), 0);
  EXPECT_EQ(chipId, 0x2052);
  EXPECT_EQ(rig.status.statusText, "Chip ID is read.");
  EXPECT_EQ(rig.status.statusColour, Blue);
  EXPECT_EQ(Sent(0)[1], 4);
  EXPECT_EQ(Sent(0)[2], 0x04);
}

TEST_F(CommandTest, ValueReplyWithNonzeroMarkerLeavesTheValueZero) {
  AddRule(emulator::CmdChipID, TFaultAction::Value16(TFaultKind::BadValueReply, 0x01));
  std::int32_t chipId = -1;
  EXPECT_EQ(rig.protocol.GetChipID(2, chipId), 0);
  EXPECT_EQ(chipId, 0);
}

TEST_F(CommandTest, CheckSumComesFromTheValueReplyAndIsZeroOnTimeOut) {
  AddRule(emulator::CmdCheckSum, TFaultAction::Value16(TFaultKind::WrongValue, 0xBEEF));
  std::int32_t checkSum = -1;
  EXPECT_EQ(rig.protocol.GetCheckSum(2, checkSum), 0);
  EXPECT_EQ(checkSum, 0xBEEF);
  EXPECT_EQ(rig.status.statusText, "Check sum is read.");
  EXPECT_EQ(Sent(0)[2], 0x09);

  rig.emulator->ClearRules();
  AddRule(emulator::CmdCheckSum, TFaultKind::Silence);
  EXPECT_EQ(rig.protocol.GetCheckSum(2, checkSum), -2);
  EXPECT_EQ(checkSum, 0);
  ExpectReported("KVM Programmer is time out.");
}

TEST_F(CommandTest, NinthStatusReplyIsDroppedSoTheReadyIsNeverSeen) {
  AddRule(emulator::CmdEnable, TFaultAction::StatusBurst(0x01, 8));
  EXPECT_EQ(rig.protocol.EnableProgrammer(), -2);
  EXPECT_EQ(rig.protocol.Replies().StatusCount, 8);
  ExpectReported("KVM Programmer is ACK but not READY");
}

TEST_F(CommandTest, BreakSendsNothing) {
  rig.state.UserBreak = true;
  EXPECT_EQ(rig.protocol.EnableProgrammer(), -1);
  std::int32_t chipId = 7;
  EXPECT_EQ(rig.protocol.GetChipID(4, chipId), -1);
  EXPECT_EQ(chipId, 0);
  EXPECT_EQ(rig.emulator->ReportCount(), 0u);
  EXPECT_EQ(Ticks(), 0);
  EXPECT_TRUE(rig.status.log.empty());
}

TEST_F(CommandTest, WriteFailureIsLoggedWithTheSystemTextAndHexCode) {
  AddRule(emulator::CmdEnable, TFaultAction::FailWrite(EPIPE));
  rig.status.ShowStatus("before", Blue);
  EXPECT_EQ(rig.protocol.EnableProgrammer(), -1);
  ASSERT_EQ(rig.status.log.size(), 1u);
  EXPECT_EQ(rig.status.log[0], "WRITE ERROR: Broken pipe (20)");
  EXPECT_EQ(rig.status.statusText, "Enable KVM Programmer...") << "the status line keeps the start text";
  EXPECT_EQ(Ticks(), 0);
}

TEST_F(CommandTest, ReadErrorIsLoggedAndTheWaitRunsToItsEnd) {
  AddRule(emulator::CmdEnable, TFaultKind::Silence);
  QTimer::singleShot(0, [this] { rig.controller->OnDeviceDataError()(rig.device, EIO); });
  EXPECT_EQ(rig.protocol.EnableProgrammer(), -2);
  EXPECT_EQ(Ticks(), 6);
  const std::vector<std::string> expected{"READ ERROR: Input/output error (5)", "KVM Programmer is time out."};
  EXPECT_EQ(rig.status.log, expected);
}

}  // namespace
}  // namespace kvm::protocol
