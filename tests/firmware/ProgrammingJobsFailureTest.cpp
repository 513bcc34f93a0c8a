// Programming jobs that fail or are stopped: each exit with its message and
// result, files refused before any programmer traffic, Break and unplugging.
#include <gtest/gtest.h>

#include <filesystem>

#include "JobFolder.h"
#include "ProgrammerRig.h"
#include "WaitFor.h"
#include "firmware/FirmwareImage.h"

namespace kvm::test {
namespace {

using emulator::CmdBlockWrite;
using emulator::CmdDisable;
using emulator::CmdEnable;
using emulator::TargetOsd;
using emulator::TargetUsbHost;
using emulator::TFaultKind;

const std::string SampleFolder = KVM_FIRMWARE_TEST_DATA;

class ProgrammingJobsFailureTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(rig.StartConnected()); }

  std::int32_t Run(TTarget target, const std::string& path) {
    return rig.jobs->RunProgramJob(target, path, TargetCode(target));
  }
  void Fail(std::uint8_t command, std::optional<std::uint16_t> block = {}) {
    rig.emulator->AddRule({{command, {}, block, {}}, TFaultKind::Fail});
  }

  TJobFolder folder;
  TProgrammerRig rig;
};

TEST_F(ProgrammingJobsFailureTest, ChipIdOfTheOtherTargetIsIncompatible) {
  rig.emulator->SetChipID(TargetOsd, 0x2052);
  EXPECT_EQ(Run(TTarget::Osd, folder.Write("osd.bin", PatternBytes(60))), -1);
  EXPECT_EQ(rig.window.log.back(), "Incompatible Chip ID: 2052");
  EXPECT_EQ(rig.window.statusColour, Red);
  EXPECT_EQ(rig.window.lamps[TTarget::Osd], TLampPicture::Red);
  EXPECT_TRUE(rig.BlockSizes(TargetOsd).empty());
  EXPECT_EQ(rig.Commands().back(), CmdDisable);
}

TEST_F(ProgrammingJobsFailureTest, ChecksumMismatchSwitchesTheProgrammerOff) {
  rig.emulator->AddRule({{emulator::CmdCheckSum, {}, {}, {}},
                         emulator::TFaultAction::Value16(TFaultKind::WrongValue, 0x01FF)});
  EXPECT_EQ(Run(TTarget::UsbHost, folder.Write("usb.bin", {0xFF, 0xFF})), -10);
  EXPECT_EQ(rig.window.log.back(), "Checksum mismatch, File=01FE, Chip=01FF");
  EXPECT_EQ(rig.Commands().back(), CmdDisable);
}

TEST_F(ProgrammingJobsFailureTest, EnableFailureSendsNothingMore) {
  Fail(CmdEnable);
  EXPECT_EQ(Run(TTarget::UsbHost, folder.Write("usb.bin", PatternBytes(60))), -2);
  EXPECT_EQ(rig.window.log.back(), "Enable Programmer failed : -2");
  EXPECT_EQ(rig.Commands(), std::vector<std::uint8_t>{CmdEnable});
}

TEST_F(ProgrammingJobsFailureTest, BlockRefusedFourTimesEndsTheJob) {
  Fail(CmdBlockWrite, 1);
  EXPECT_EQ(Run(TTarget::UsbHost, folder.Write("usb.bin", PatternBytes(200))), -2);
  EXPECT_EQ(rig.BlockSizes(TargetUsbHost), (std::vector<int>{52, 56, 56, 56, 56}));
  EXPECT_EQ(rig.window.log.back(), "Program Fail");
  EXPECT_EQ(rig.window.lamps[TTarget::UsbHost], TLampPicture::Red);
  EXPECT_EQ(rig.window.progress, 1);
  // No checksum read, no disable command after a failed block.
  EXPECT_EQ(rig.Commands().back(), CmdBlockWrite);
}

TEST_F(ProgrammingJobsFailureTest, ContainerForAnotherChipIsRefusedWithoutTraffic) {
  auto container = ReadFileBytes(SampleFolder + "/sample300.usb");
  container[0] = 0x00, container[1] = 0x38;  // chip type 56
  const std::size_t reportsBefore = rig.emulator->ReportCount();
  EXPECT_EQ(Run(TTarget::Osd, folder.Write("fw.osd", container)), firmware::ChipTypeNotForTarget);
  EXPECT_EQ(rig.window.log.back(), firmware::ImageResultText(firmware::ChipTypeNotForTarget));
  EXPECT_EQ(rig.window.statusColour, Red);
  EXPECT_EQ(rig.window.lamps[TTarget::Osd], TLampPicture::Red);
  EXPECT_EQ(rig.emulator->ReportCount(), reportsBefore);
  EXPECT_FALSE(std::filesystem::exists(firmware::IntermediateFile()));
  EXPECT_FALSE(rig.window.breakVisible);
  EXPECT_FALSE(rig.jobs->Timer1().Enabled());
}

TEST_F(ProgrammingJobsFailureTest, EmptyImageIsRefusedWithoutTraffic) {
  const std::size_t reportsBefore = rig.emulator->ReportCount();
  EXPECT_EQ(Run(TTarget::UsbHost, folder.Write("empty.bin", {})), firmware::ImageEmpty);
  EXPECT_EQ(rig.window.statusText, firmware::ImageResultText(firmware::ImageEmpty));
  EXPECT_EQ(rig.emulator->ReportCount(), reportsBefore);
}

TEST_F(ProgrammingJobsFailureTest, FileShrinkingDuringTheJobStopsItAndSwitchesTheProgrammerOff) {
  const std::string path = folder.Write("usb.bin", PatternBytes(200));
  rig.window.OnStep = [&](int) { std::filesystem::resize_file(path, 60); };
  EXPECT_EQ(Run(TTarget::UsbHost, path), firmware::FileUnreadable);
  EXPECT_EQ(rig.window.log.back(), firmware::ImageResultText(firmware::FileUnreadable));
  EXPECT_EQ(rig.BlockSizes(TargetUsbHost).size(), 1u);
  EXPECT_EQ(rig.Commands().back(), CmdDisable);
}

TEST_F(ProgrammingJobsFailureTest, MissingFileAndEmptyNameNeverStartAJob) {
  rig.window.programEnabled = true;
  EXPECT_EQ(Run(TTarget::UsbHost, folder.Path() + "/none.bin"), -2);
  EXPECT_EQ(rig.window.log.back(), "File does not exist.");
  EXPECT_EQ(Run(TTarget::UsbHost, folder.Path()), -2);  // a folder is no file
  const std::size_t lines = rig.window.log.size();
  EXPECT_EQ(Run(TTarget::Osd, ""), -1);
  EXPECT_EQ(rig.window.log.size(), lines);
  EXPECT_EQ(rig.window.lamps[TTarget::UsbHost], TLampPicture::Gray);
  EXPECT_TRUE(rig.window.programEnabled);
  EXPECT_NE(rig.window.statusText, "File does not exist.");
}

TEST_F(ProgrammingJobsFailureTest, BreakDuringTheBlocksSkipsTheOsdJob) {
  rig.window.OnStep = [&](int) {  // the Break button
    rig.state.UserBreak = true;
    rig.window.SetBreakVisible(false);
  };
  rig.window.checked[TTarget::UsbHost] = rig.window.checked[TTarget::Osd] = true;
  rig.window.fileNames[TTarget::UsbHost] = folder.Write("usb.bin", PatternBytes(200));
  rig.window.fileNames[TTarget::Osd] = folder.Write("osd.bin", PatternBytes(200));
  rig.jobs->InProgButtonClick();
  EXPECT_EQ(rig.window.log.back(), "User break");
  EXPECT_EQ(rig.window.statusColour, Green);
  EXPECT_EQ(rig.BlockSizes(TargetUsbHost).size(), 1u);
  EXPECT_EQ(rig.window.FindLog("Target : OSD"), -1);
  EXPECT_EQ(rig.window.lamps[TTarget::UsbHost], TLampPicture::Red);
  EXPECT_TRUE(rig.window.programEnabled);
}

TEST_F(ProgrammingJobsFailureTest, UnpluggingTheProgrammerStopsTheJob) {
  const std::uint64_t programmer = rig.controller->Devices().front()->PnPInfo().DeviceID;
  rig.window.OnStep = [&](int) {
    rig.platform->Unplug(programmer);
    ASSERT_TRUE(WaitFor([&] { return rig.link->CheckTargetTimer().Enabled(); }));
  };
  const std::string container = folder.Write("fw.usb", ReadFileBytes(SampleFolder + "/sample300.usb"));
  EXPECT_NE(Run(TTarget::UsbHost, container), 0);

  const int changed = rig.window.FindLog("Connection is changed !");
  ASSERT_GE(changed, 0);
  EXPECT_EQ(rig.window.log[changed + 1], "");
  EXPECT_EQ(rig.window.log[changed + 2], "Scanning...");
  EXPECT_EQ(rig.window.FindLog("Program OK"), -1);
  EXPECT_EQ(rig.window.lamps[TTarget::UsbHost], TLampPicture::Red);
  EXPECT_FALSE(std::filesystem::exists(firmware::IntermediateFile()));
  // The connection attempt that follows finds no programmer.
  ASSERT_TRUE(WaitFor([&] { return !rig.link->CheckTargetTimer().Enabled(); }));
  EXPECT_FALSE(rig.state.Connected);
  EXPECT_EQ(rig.window.statusText, "Please connect KVM programmer.");
}

}  // namespace
}  // namespace kvm::test
