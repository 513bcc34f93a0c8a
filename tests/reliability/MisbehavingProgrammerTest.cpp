// A programmer that answers wrongly, partly or not at all, and writes that
// fail: every such job ends with a clear failure and leaves the window idle;
// noise that a programmer may add around correct answers does not fail a job.
#include <gtest/gtest.h>

#include <cerrno>
#include <optional>

#include "ReliabilityRig.h"

namespace kvm::test {
namespace {

using namespace emulator;

constexpr std::size_t ImageLength = 200;  // blocks 0..3, the last one short

struct TMisbehaviour {
  const char* Name;
  TFaultMatch Match;
  std::vector<TFaultAction> Actions;
  std::int32_t Result;
  const char* LastLine;
  const char* AlsoLogged;  // a line the failure leaves earlier in the log, or none
};

void PrintTo(const TMisbehaviour& m, std::ostream* out) { *out << m.Name; }

const TMisbehaviour Failures[] = {
    {"SilentOnEnable", {CmdEnable, {}, {}, {}}, {TFaultKind::Silence}, -2, "Enable Programmer failed : -2",
     "KVM Programmer is time out."},
    {"FailsInitialise", {CmdInitialise, {}, {}, {}}, {TFaultKind::Fail}, -2, "Initial Programmer failed : -2", nullptr},
    {"AckOnlyOnChipId", {CmdChipID, {}, {}, {}}, {TFaultKind::AckOnly}, -2, "Get chip ID failed : -2",
     "KVM Programmer is ACK but not READY"},
    {"ChipIdInABadValueReply", {CmdChipID, {}, {}, {}}, {TFaultAction::Value16(TFaultKind::BadValueReply, 0x01)}, -1,
     "Incompatible Chip ID: 0000", nullptr},
    {"OtherCompletionCodeForABlock", {CmdBlockWrite, {}, 1, {}}, {TFaultKind::OtherCompletion}, -3, "Program Fail",
     "Retry KVM Programmer (3) [1]: #3"},
    {"AckBurstFillsTheQueueBeforeReady", {CmdBlockWrite, {}, 2, {}}, {TFaultAction::StatusBurst(0x01, 12)}, -2,
     "Program Fail", "KVM Programmer is ACK but not READY"},
    {"WriteOfTheLastBlockFails", {CmdBlockWrite, {}, 3, {}}, {TFaultAction::FailWrite(EIO)}, -1, "Program Fail",
     "WRITE ERROR: Input/output error (5)"},
    {"OnlyUnknownReplyKindsForTheCheckSum",
     {CmdCheckSum, {}, {}, {}},
     {TFaultKind::Silence, TFaultAction::Extra({0x07, 0x02}, 3)},
     -2,
     "Get check sum failed : -2",
     "KVM Programmer is time out."},
    {"WrongCheckSum", {CmdCheckSum, {}, {}, {}}, {TFaultAction::Value16(TFaultKind::WrongValue, 0x1234)}, -10,
     "Checksum mismatch, File=5F24, Chip=1234", nullptr},
    {"SilentOnDisable", {CmdDisable, {}, {}, {}}, {TFaultKind::Silence}, -2, "Disable Programmer failed : -2",
     "KVM Programmer is time out."},
};

class MisbehavingProgrammer : public ReliabilityTest, public ::testing::WithParamInterface<TMisbehaviour> {
 protected:
  void SetUp() override {
    ReliabilityTest::SetUp();
    ASSERT_TRUE(rig.StartConnected());
    for (const TFaultAction& action : GetParam().Actions) AddRule(GetParam().Match, action);
  }
};

TEST_P(MisbehavingProgrammer, JobFailsWithItsMessageAndTheWindowIsIdleAgain) {
  const TMisbehaviour& m = GetParam();
  EXPECT_EQ(Run(Write("fw.usb", ContainerOf(PatternBytes(ImageLength)))), m.Result);
  ExpectFailedJobEnded(m.LastLine);
  if (m.AlsoLogged != nullptr) {
    EXPECT_GE(rig.window.FindLog(m.AlsoLogged), 0) << m.AlsoLogged;
  }
  // Still connected: the next job runs normally.
  rig.emulator->ClearRules();
  EXPECT_EQ(Run(Write("next.usb", ContainerOf(PatternBytes(60)))), 0);
  EXPECT_EQ(rig.window.log.back(), "Program OK");
}

INSTANTIATE_TEST_SUITE_P(Faults, MisbehavingProgrammer, ::testing::ValuesIn(Failures),
                         [](const auto& info) { return std::string(info.param.Name); });

// Noise around correct answers, and faults that the block write's retries cover.
const TMisbehaviour Tolerated[] = {
    {"UnknownReplyKindsBeforeEveryAnswer", {}, {TFaultAction::Extra({0x07, 0x02, 0x00, 0x00}, 3)}, 0, "Program OK",
     nullptr},
    {"FloodOfUnknownReportsAfterEveryBlock", {CmdBlockWrite, {}, {}, {}}, {TFaultAction::Flood({0x55, 0x01}, 40)}, 0,
     "Program OK", nullptr},
    {"FirstReportOfABlockLost", {CmdBlockWrite, {}, 2, 1}, {TFaultKind::Drop}, 0, "Program OK",
     "KVM Programmer is time out."},
    {"OneWriteFails", {CmdBlockWrite, {}, 1, 1}, {TFaultAction::FailWrite(EPIPE)}, 0, "Program OK",
     "WRITE ERROR: Broken pipe (20)"},
    {"SlowReplies", {}, {TFaultAction::Delayed(2)}, 0, "Program OK", nullptr},
};

class ToleratedMisbehaviour : public MisbehavingProgrammer {};

TEST_P(ToleratedMisbehaviour, JobProgramsTheExactImage) {
  const TMisbehaviour& m = GetParam();
  EXPECT_EQ(Run(Write("fw.usb", ContainerOf(PatternBytes(ImageLength)))), 0);
  EXPECT_EQ(rig.window.log.back(), m.LastLine);
  if (m.AlsoLogged != nullptr) {
    EXPECT_GE(rig.window.FindLog(m.AlsoLogged), 0) << m.AlsoLogged;
  }
  EXPECT_EQ(rig.emulator->Image(TargetUsbHost), PatternBytes(ImageLength));
  EXPECT_FALSE(rig.emulator->IsEnabled());
  ExpectIdle(TTarget::UsbHost, TLampPicture::Green);
}

INSTANTIATE_TEST_SUITE_P(Noise, ToleratedMisbehaviour, ::testing::ValuesIn(Tolerated),
                         [](const auto& info) { return std::string(info.param.Name); });

}  // namespace
}  // namespace kvm::test
