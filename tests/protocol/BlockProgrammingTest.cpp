// Block writes with their resends, against the emulator.
#include <gtest/gtest.h>

#include <cerrno>

#include "ProtocolRig.h"

namespace kvm::protocol {
namespace {

using emulator::TFaultAction;
using emulator::TFaultKind;
using Lines = std::vector<std::string>;

constexpr std::uint8_t Target = emulator::TargetUsbHost;

std::array<std::uint8_t, 64> Pattern(std::uint8_t first) {
  std::array<std::uint8_t, 64> data{};
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(first + i);
  return data;
}

// Blocks that the programmer confirms at once run with the usual short tick;
// blocks that wait out every attempt use an even shorter one.
class BlockProgrammingTest : public ::testing::Test {
 protected:
  explicit BlockProgrammingTest(int tickMs = 20) : rig(tickMs) {}

  void AddBlockRule(TFaultAction action, std::optional<int> occurrence = std::nullopt) {
    rig.emulator->AddRule(test::CommandRule(emulator::CmdBlockWrite, action, occurrence));
  }
  std::int32_t Program(std::int32_t block, std::int32_t count = 52) {
    return rig.protocol.ProgramBlock(Target, block, count, Pattern(static_cast<std::uint8_t>(block)));
  }
  void ExpectEveryReportIdentical() {
    const auto log = rig.emulator->Log();
    for (const auto& report : log) EXPECT_EQ(report.Bytes, log.front().Bytes);
  }

  test::TProtocolRig rig;
};

class FailingBlockTest : public BlockProgrammingTest {
 protected:
  FailingBlockTest() : BlockProgrammingTest(10) {}
};

TEST_F(BlockProgrammingTest, ConfirmedBlocksTakeOneReportEachAndLogNothing) {
  EXPECT_EQ(Program(0), 0);
  EXPECT_EQ(rig.status.panels[1], "Programming block [0] ...");
  EXPECT_EQ(Program(1, 56), 0);
  EXPECT_EQ(Program(2, 7), 0);
  EXPECT_EQ(rig.emulator->ReportCount(), 3u);
  EXPECT_EQ(rig.emulator->BlockCount(Target), 3);
  EXPECT_EQ(rig.status.panels[1], "Programming block [2] ...");
  EXPECT_EQ(rig.status.statusColour, Blue);
  EXPECT_TRUE(rig.status.log.empty());
}

TEST_F(BlockProgrammingTest, FirstResendGoesOutUnannounced) {
  AddBlockRule(TFaultKind::Drop, 1);
  EXPECT_EQ(Program(0), 0);
  EXPECT_EQ(rig.status.log, (Lines{"KVM Programmer is time out.", "Programming..."}));
  EXPECT_EQ(rig.status.statusText, "Programming...");
  EXPECT_EQ(rig.emulator->ReportCount(), 2u);
  ExpectEveryReportIdentical();
}

TEST_F(FailingBlockTest, EveryAttemptTimingOutEndsWithKindTwo) {
  AddBlockRule(TFaultKind::Silence);
  EXPECT_EQ(Program(17), -2);
  const Lines expected{"KVM Programmer is time out.",
                       "Programming...",
                       "KVM Programmer is time out.",
                       "Retry KVM Programmer (2) [17]: #2",
                       "Programming...",
                       "KVM Programmer is time out.",
                       "Retry KVM Programmer (2) [17]: #3",
                       "Programming...",
                       "KVM Programmer is time out.",
                       "Program Fail"};
  EXPECT_EQ(rig.status.log, expected);
  EXPECT_EQ(rig.status.statusText, "Program Fail");
  EXPECT_EQ(rig.status.panels[1], "Program Fail");
  EXPECT_EQ(rig.status.statusColour, Red);
  EXPECT_EQ(rig.emulator->ReportCount(), 4u);
  ExpectEveryReportIdentical();
}

TEST_F(FailingBlockTest, CompletionOtherThanReadyEndsWithKindThree) {
  AddBlockRule(TFaultKind::OtherCompletion);
  EXPECT_EQ(Program(0), -3);
  // A wait that succeeds leaves the line blue, so the second attempt is not
  // announced as "Programming...".
  const Lines expected{"Retry KVM Programmer (3) [0]: #2", "Programming...", "Retry KVM Programmer (3) [0]: #3",
                       "Programming...", "Program Fail"};
  EXPECT_EQ(rig.status.log, expected);
  EXPECT_EQ(rig.emulator->ReportCount(), 4u);
}

TEST_F(FailingBlockTest, MixedFailuresReportTheKindOfTheLast) {
  AddBlockRule(TFaultKind::Drop, 1);
  AddBlockRule(TFaultKind::Drop, 2);
  AddBlockRule(TFaultAction::FailWrite(EIO), 3);
  AddBlockRule(TFaultAction::FailWrite(EIO), 4);
  EXPECT_EQ(Program(5), -1);
  const Lines expected{"KVM Programmer is time out.",
                       "Programming...",
                       "KVM Programmer is time out.",
                       "Retry KVM Programmer (2) [5]: #2",
                       "Programming...",
                       "WRITE ERROR: Input/output error (5)",
                       "Retry KVM Programmer (1) [5]: #3",
                       "Programming...",
                       "WRITE ERROR: Input/output error (5)",
                       "Program Fail"};
  EXPECT_EQ(rig.status.log, expected);
}

TEST_F(FailingBlockTest, BreakDuringTheWaitMakesTheRemainingAttemptsFailUnsent) {
  AddBlockRule(TFaultKind::Silence);
  // Break is pressed while the first wait runs (at its first tick).
  TTickTimer& timer = rig.protocol.WaitTimer();
  timer.OnTimer = [this, tick = timer.OnTimer] {
    rig.state.UserBreak = true;
    tick();
  };
  EXPECT_EQ(Program(9), -1);
  EXPECT_EQ(rig.protocol.WaitTimer().Tag, 6) << "the break does not shorten the wait under way";
  const Lines expected{"KVM Programmer is time out.",
                       "Programming...",
                       "Retry KVM Programmer (1) [9]: #2",
                       "Programming...",
                       "Retry KVM Programmer (1) [9]: #3",
                       "Programming...",
                       "Program Fail"};
  EXPECT_EQ(rig.status.log, expected);
  EXPECT_EQ(rig.emulator->ReportCount(), 1u);
}

}  // namespace
}  // namespace kvm::protocol
