// Injected faults: what each does to the answer, the programmer's state and
// the transport, and how rules select reports.
#include <gtest/gtest.h>

#include <cerrno>

#include "ReportBuilder.h"
#include "emulator/ProgrammerEmulator.h"

namespace kvm::emulator {
namespace {

using test::BlockReport;
using test::CommandReport;
using test::ImageBlocks;
using Bytes = std::vector<std::uint8_t>;

using test::StatusReply;
using test::ValueReply;

class FaultRuleTest : public ::testing::Test {
 protected:
  TDeviceResponse Send(const Bytes& report) { return emulator.HandleReport(report.data(), report.size()); }
  std::vector<Bytes> Replies(const Bytes& report) { return emulator.Replies(report.data(), report.size()); }
  void Rule(TFaultMatch match, TFaultAction action) { emulator.AddRule({match, action}); }
  static TFaultMatch Command(std::uint8_t command) { return {command, std::nullopt, std::nullopt, std::nullopt}; }
  static TFaultMatch Block(std::uint16_t number, std::optional<int> occurrence = std::nullopt) {
    return {CmdBlockWrite, std::nullopt, number, occurrence};
  }
  TProgrammerEmulator emulator;
  const std::vector<std::vector<std::uint8_t>> blocks = ImageBlocks(Bytes(200, 0x5A));
};

TEST_F(FaultRuleTest, SilenceActsButAnswersNothing) {
  Rule(Command(CmdEnable), TFaultKind::Silence);
  EXPECT_TRUE(Replies(CommandReport(0, CmdEnable)).empty());
  EXPECT_TRUE(emulator.IsEnabled());
}

TEST_F(FaultRuleTest, DroppedReportHasNoEffect) {
  Rule(Block(1, 1), TFaultKind::Drop);
  Replies(BlockReport(4, 0, blocks[0]));
  EXPECT_TRUE(Replies(BlockReport(4, 1, blocks[1])).empty());
  EXPECT_EQ(emulator.BlockCount(4), 1);
  // The resend of the same block is the second occurrence and gets through.
  EXPECT_EQ(Replies(BlockReport(4, 1, blocks[1])).back(), StatusReply(0x02));
  EXPECT_EQ(emulator.BlockCount(4), 2);
  EXPECT_EQ(emulator.Log()[1].Fate, TReportFate::Dropped);
}

TEST_F(FaultRuleTest, AckOnlyAndFail) {
  Rule(Command(CmdInitialise), TFaultKind::AckOnly);
  Rule(Command(CmdEnable), TFaultKind::Fail);
  EXPECT_EQ(Replies(CommandReport(4, CmdInitialise)), (std::vector<Bytes>{StatusReply(0x01)}));
  EXPECT_EQ(Replies(CommandReport(0, CmdEnable)), (std::vector<Bytes>{StatusReply(0x01), StatusReply(0x04)}));
  EXPECT_FALSE(emulator.IsEnabled());  // a refused command has no effect
}

TEST_F(FaultRuleTest, FailedValueCommandSendsNoValue) {
  Rule(Command(CmdChipID), TFaultKind::Fail);
  EXPECT_EQ(Replies(CommandReport(4, CmdChipID)), (std::vector<Bytes>{StatusReply(0x01), StatusReply(0x04)}));
}

TEST_F(FaultRuleTest, OtherCompletionSwapsTwoAndThree) {
  Rule(Command(CmdDisable), TFaultKind::OtherCompletion);
  Rule(Block(0), TFaultKind::OtherCompletion);
  EXPECT_EQ(Replies(CommandReport(0, CmdDisable)).back(), StatusReply(0x02));
  EXPECT_EQ(Replies(BlockReport(4, 0, blocks[0])).back(), StatusReply(0x03));
  EXPECT_EQ(Replies(CommandReport(0, CmdEnable)).back(), StatusReply(0x02));  // unaffected
}

TEST_F(FaultRuleTest, ValueFaults) {
  Rule(Command(CmdChipID), TFaultAction::Value16(TFaultKind::WrongValue, 0x2051));
  Rule(Command(CmdCheckSum), TFaultAction::Value16(TFaultKind::BadValueReply, 0x07));
  EXPECT_EQ(Replies(CommandReport(4, CmdChipID)).front(), ValueReply(0x2051));
  EXPECT_EQ(Replies(CommandReport(4, CmdCheckSum)).front(), TProgrammerEmulator::ValueReport(0, 0x07));
}

TEST_F(FaultRuleTest, WrongChecksumOnlyForOneTarget) {
  Rule({CmdCheckSum, std::uint8_t{2}, std::nullopt, std::nullopt},
       TFaultAction::Value16(TFaultKind::WrongValue, 0xBEEF));
  EXPECT_EQ(Replies(CommandReport(4, CmdCheckSum)).front(), ValueReply(0));
  EXPECT_EQ(Replies(CommandReport(2, CmdCheckSum)).front(), ValueReply(0xBEEF));
}

TEST_F(FaultRuleTest, StatusBurstComesAheadOfTheAnswer) {
  Rule(Command(CmdEnable), TFaultAction::StatusBurst(0x01, 9));
  const auto replies = Replies(CommandReport(0, CmdEnable));
  ASSERT_EQ(replies.size(), 11u);
  for (int i = 0; i < 10; ++i) EXPECT_EQ(replies[i], StatusReply(0x01));
  EXPECT_EQ(replies[10], StatusReply(0x02));  // the 11th: a host keeping 8 never sees it
}

TEST_F(FaultRuleTest, ExtraRepliesOfUnknownKindsAndFlood) {
  Rule(Command(CmdEnable), TFaultAction::Extra({0x05, 0x02}));
  Rule(Command(CmdEnable), TFaultAction::Flood({0x01, 0x02}, 3));
  const auto replies = Replies(CommandReport(0, CmdEnable));
  ASSERT_EQ(replies.size(), 6u);
  EXPECT_EQ(replies[0], (Bytes{0x01, 0x05, 0x02, 0, 0, 0, 0, 0}));
  EXPECT_EQ(replies[2], StatusReply(0x02));
  EXPECT_EQ(replies[5], StatusReply(0x02));
}

TEST_F(FaultRuleTest, DelayAppliesToEveryReplyOfTheReport) {
  emulator.SetReplyDelay(2);
  Rule(Command(CmdChipID), TFaultAction::Delayed(15));
  Rule(Command(CmdChipID), TFaultAction::SlowWrite(4));
  const TDeviceResponse chip = Send(CommandReport(4, CmdChipID));
  EXPECT_EQ(chip.WriteDelayMs, 4);
  ASSERT_EQ(chip.Replies.size(), 3u);
  for (const auto& reply : chip.Replies) EXPECT_EQ(reply.DelayMs, 15);
  EXPECT_EQ(Send(CommandReport(0, CmdEnable)).Replies.front().DelayMs, 2);
}

TEST_F(FaultRuleTest, WriteFailureNeverReachesTheProgrammer) {
  Rule(Command(CmdEnable), TFaultAction::FailWrite(EPIPE));
  Rule(Command(CmdDisable), TFaultKind::WriteFailure);
  const TDeviceResponse response = Send(CommandReport(0, CmdEnable));
  EXPECT_EQ(response.WriteError, static_cast<std::uint32_t>(EPIPE));
  EXPECT_TRUE(response.Replies.empty());
  EXPECT_FALSE(emulator.IsEnabled());
  EXPECT_EQ(Send(CommandReport(0, CmdDisable)).WriteError, static_cast<std::uint32_t>(EIO));  // default code
  EXPECT_EQ(emulator.Log()[0].Fate, TReportFate::WriteFailed);
}

TEST_F(FaultRuleTest, UnplugAfterNBlocks) {
  Rule(Block(2, 1), TFaultKind::Unplug);
  for (std::uint16_t n = 0; n < 2; ++n) EXPECT_FALSE(Send(BlockReport(4, n, blocks[n])).Unplug);
  const TDeviceResponse response = Send(BlockReport(4, 2, blocks[2]));
  EXPECT_TRUE(response.Unplug);
  EXPECT_TRUE(response.Replies.empty());
  EXPECT_EQ(emulator.BlockCount(4), 2);
}

TEST_F(FaultRuleTest, OccurrenceCountsOnlyMatchingReports) {
  Rule({CmdEnable, std::nullopt, std::nullopt, 2}, TFaultKind::Silence);
  EXPECT_FALSE(Replies(CommandReport(0, CmdEnable)).empty());
  EXPECT_FALSE(Replies(CommandReport(0, CmdDisable)).empty());  // not counted
  EXPECT_TRUE(Replies(CommandReport(0, CmdEnable)).empty());
  EXPECT_FALSE(Replies(CommandReport(0, CmdEnable)).empty());
}

TEST_F(FaultRuleTest, BlockMatchIgnoresOtherCommands) {
  // Block 4 as a number must not match a chip-ID command whose bytes 3..4 happen to be 0x00 0x04.
  Rule(Block(4), TFaultKind::Silence);
  Bytes chip = CommandReport(4, CmdChipID);
  chip[4] = 0x04;
  EXPECT_FALSE(Replies(chip).empty());
}

TEST_F(FaultRuleTest, CombinedFaultsAndClearing) {
  Rule(Command(CmdChipID), TFaultKind::AckOnly);
  Rule(Command(CmdChipID), TFaultAction::Value16(TFaultKind::WrongValue, 1));
  EXPECT_EQ(Replies(CommandReport(4, CmdChipID)), (std::vector<Bytes>{ValueReply(1), StatusReply(0x01)}));
  emulator.ClearRules();
  EXPECT_EQ(Replies(CommandReport(4, CmdChipID)).size(), 3u);
}

}  // namespace
}  // namespace kvm::emulator
