// The programmer pulled out at every stage of a container job: each stage
// ends the job with its own failure, and the window goes back to scanning.
#include <gtest/gtest.h>

#include "ReliabilityRig.h"
#include "WaitFor.h"

namespace kvm::test {
namespace {

using namespace emulator;

struct TUnplugStage {
  const char* Name;
  TFaultMatch Match;
  const char* LastLine;
  std::int32_t Result;
};

// 200 image bytes: blocks 0 (52 bytes), 1 and 2 (56) and 3 (the last 40).
constexpr std::size_t UnplugImageLength = 200;

const TUnplugStage Stages[] = {
    {"Enable", {CmdEnable, {}, {}, {}}, "Enable Programmer failed : -2", -2},
    {"Initialise", {CmdInitialise, {}, {}, {}}, "Initial Programmer failed : -2", -2},
    {"ChipId", {CmdChipID, {}, {}, {}}, "Get chip ID failed : -2", -2},
    {"FirstBlock", {CmdBlockWrite, {}, 0, {}}, "Program Fail", -1},
    {"MiddleBlock", {CmdBlockWrite, {}, 2, {}}, "Program Fail", -1},
    {"LastShortBlock", {CmdBlockWrite, {}, 3, {}}, "Program Fail", -1},
    {"CheckSum", {CmdCheckSum, {}, {}, {}}, "Get check sum failed : -2", -2},
    {"Disable", {CmdDisable, {}, {}, {}}, "Disable Programmer failed : -2", -2},
};

void PrintTo(const TUnplugStage& stage, std::ostream* out) { *out << stage.Name; }

class UnplugDuringJob : public ReliabilityTest, public ::testing::WithParamInterface<TUnplugStage> {};

TEST_P(UnplugDuringJob, EndsWithItsFailureAndGoesBackToScanning) {
  const TUnplugStage& stage = GetParam();
  ASSERT_TRUE(rig.StartConnected());
  AddRule(stage.Match, TFaultKind::Unplug);

  EXPECT_EQ(Run(Write("fw.usb", ContainerOf(PatternBytes(UnplugImageLength)))), stage.Result);
  ExpectFailedJobEnded(stage.LastLine);
  const int changed = rig.window.FindLog("Connection is changed !");
  ASSERT_GE(changed, 0);
  EXPECT_GT(rig.window.FindLog("Scanning...", changed), changed);
  // Nothing is written after the report that took the programmer away.
  const std::vector<TReceivedReport> log = rig.emulator->Log();
  ASSERT_FALSE(log.empty());
  EXPECT_EQ(log.back().Fate, TReportFate::Unplugged);

  ASSERT_TRUE(WaitFor([&] { return !rig.link->CheckTargetTimer().Enabled(); }, 1000));
  EXPECT_FALSE(rig.state.Connected);
  EXPECT_EQ(rig.state.ProgrammerDevice, nullptr);
  EXPECT_FALSE(rig.window.programEnabled);
}

INSTANTIATE_TEST_SUITE_P(Stages, UnplugDuringJob, ::testing::ValuesIn(Stages),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST_F(ReliabilityTestSlowTicks, ProgrammerPluggedInAgainAfterAnUnplugProgramsTheNextJob) {
  ASSERT_TRUE(rig.StartConnected());
  AddRule({CmdBlockWrite, {}, 1, 1}, TFaultKind::Unplug);
  const std::string path = Write("fw.usb", ContainerOf(PatternBytes(UnplugImageLength)));
  EXPECT_NE(Run(path), 0);
  ASSERT_TRUE(WaitFor([&] { return !rig.link->CheckTargetTimer().Enabled(); }, 1000));

  rig.PlugProgrammer();
  ASSERT_TRUE(rig.WaitConnected());
  EXPECT_EQ(Run(path), 0);
  EXPECT_EQ(rig.window.log.back(), "Program OK");
  EXPECT_EQ(rig.emulator->Image(TargetUsbHost), PatternBytes(UnplugImageLength));
  ExpectIdle(TTarget::UsbHost, TLampPicture::Green);
}

}  // namespace
}  // namespace kvm::test
