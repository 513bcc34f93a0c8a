// The rig the benchmarks measure on: it must really program the image (a
// benchmark of a failing job would time the failure), report why it did not,
// and the rescan measurement must see every device.
#include <gtest/gtest.h>

#include <QFile>
#include <cerrno>
#include <string>

#include "BenchRig.h"
#include "HandOverFloor.h"
#include "RescanMeasure.h"
#include "firmware/FirmwareImage.h"
#include "hid/platform/sim/SimDeviceInfo.h"

namespace kvm::bench {
namespace {

constexpr std::uint8_t UsbHost = 4;

TEST(BenchRigTest, ProgramsTheWholeImageAndStepsOncePerBlock) {
  TBenchRig rig;
  ASSERT_TRUE(rig.Connect()) << rig.Failure();
  TScratchFolder folder;
  std::string error;
  const std::vector<std::uint8_t> image = PatternBytes(ImageLengthOfBlocks(40) + 5);
  const std::string path = folder.Write("image.bin", image, error);
  ASSERT_FALSE(path.empty()) << error;
  int steps = 0;
  rig.window.OnStep = [&steps] { ++steps; };

  EXPECT_EQ(rig.Program(path), 0) << rig.Failure();
  EXPECT_EQ(rig.emulator->Image(UsbHost), image);
  EXPECT_EQ(steps, 41);
  EXPECT_EQ(rig.window.GetStatusText(), "Program OK");
}

// The floor counts only rounds whose own report reached the handler, and
// says so when a report cannot even be sent.
TEST(BenchRigTest, HandOverFloorDeliversEveryReportOrFails) {
  TBenchRig rig;
  ASSERT_TRUE(rig.Connect()) << rig.Failure();
  EXPECT_GT(HandOverMicroseconds(rig, 50), 0);
  EXPECT_EQ(rig.protocol->Replies().ReplyValue, 50);
  ASSERT_TRUE(rig.platform->Unplug(rig.programmerId));
  EXPECT_LT(HandOverMicroseconds(rig, 1), 0);
}

TEST(BenchRigTest, AFailedJobSaysWhy) {
  TBenchRig rig;
  ASSERT_TRUE(rig.Connect()) << rig.Failure();
  emulator::TFaultRule refuse;
  refuse.Match.Command = emulator::CmdEnable;
  refuse.Action = emulator::TFaultAction::FailWrite(EIO);
  rig.emulator->AddRule(refuse);
  TScratchFolder folder;
  std::string error;
  const std::string path = folder.Write("image.bin", PatternBytes(100), error);
  ASSERT_FALSE(path.empty()) << error;

  EXPECT_NE(rig.Program(path), 0);
  EXPECT_NE(rig.Failure().find("WRITE ERROR"), std::string::npos) << rig.Failure();
  EXPECT_NE(rig.Failure().find("Enable Programmer failed : -1"), std::string::npos) << rig.Failure();
}

TEST(BenchRigTest, ImageLengthOfBlocksGivesThatManyBlocks) {
  for (const std::size_t blocks : {1u, 2u, 4000u, 65536u})
    EXPECT_EQ(firmware::BlockSequenceOf(static_cast<std::int64_t>(ImageLengthOfBlocks(blocks))).BlockCount(),
              static_cast<std::int64_t>(blocks));
  // The largest accepted image is the one of 65,536 blocks.
  EXPECT_EQ(static_cast<std::int64_t>(ImageLengthOfBlocks(65536)), firmware::MaxImageLength);
}

TEST(BenchRigTest, ScratchFileHoldsTheBytesAndAnUnwritablePathIsAnError) {
  TScratchFolder folder;
  std::string error;
  const std::string path = folder.Write("a.bin", {1, 2, 3}, error);
  QFile file(QString::fromStdString(path));
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  EXPECT_EQ(file.readAll(), QByteArray("\x01\x02\x03", 3));

  EXPECT_TRUE(folder.Write("missing/a.bin", {1}, error).empty());
  EXPECT_NE(error.find("missing/a.bin"), std::string::npos) << error;
}

std::shared_ptr<hid::platform::TSimHidPlatform> BusWith(int mice) {
  auto platform = std::make_shared<hid::platform::TSimHidPlatform>();
  platform->Plug(hid::platform::SimProgrammer());
  for (int i = 0; i < mice; ++i) platform->Plug(hid::platform::SimMouse());
  return platform;
}

TEST(BenchRigTest, RescanListsEveryDevice) {
  TRescanTimes times;
  std::string failure;
  ASSERT_TRUE(MeasureRescan(BusWith(4), 5, times, failure)) << failure;
  EXPECT_GT(times.AllNewMs, 0);
  EXPECT_GT(times.UnchangedMs, 0);
}

TEST(BenchRigTest, RescanThatMissesDevicesFails) {
  TRescanTimes times;
  std::string failure;
  EXPECT_FALSE(MeasureRescan(BusWith(4), 6, times, failure));
  EXPECT_EQ(failure, "the rescan listed 5 of 6 devices");
}

TEST(BenchRigTest, WindowKeepsTheLastEightLogLines) {
  TBenchWindow window;
  for (int i = 1; i <= 10; ++i) window.LogLine(std::to_string(i));
  window.ReportStatus("done", Red);
  EXPECT_EQ(window.RecentLog(), "4 | 5 | 6 | 7 | 8 | 9 | 10 | done");
  EXPECT_EQ(window.GetStatusPanel(1), "done");
}

}  // namespace
}  // namespace kvm::bench
