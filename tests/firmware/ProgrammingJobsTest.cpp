// Programming jobs that succeed, end to end: files of each kind, both
// targets, the file log lines, the elapsed time and the automatic start.
#include <gtest/gtest.h>

#include <filesystem>

#include "JobFolder.h"
#include "ProgrammerRig.h"
#include "WaitFor.h"
#include "firmware/FirmwareImage.h"

namespace kvm::test {
namespace {

using emulator::TargetOsd;
using emulator::TargetUsbHost;

const std::string SampleFolder = KVM_FIRMWARE_TEST_DATA;

class ProgrammingJobsTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(rig.StartConnected()); }

  // Ticks a target, gives it a file and presses Program.
  void Program(TTarget target, const std::string& path) {
    rig.window.checked[target] = true;
    rig.window.fileNames[target] = path;
    rig.jobs->InProgButtonClick();
  }

  TJobFolder folder;
  TProgrammerRig rig;
};

TEST(ElapsedTimeTextTest, SecondsAlwaysTwoDigitsMinutesOnlyWhenThere) {
  EXPECT_EQ(firmware::ElapsedTimeText(0), "00");
  EXPECT_EQ(firmware::ElapsedTimeText(7), "07");
  EXPECT_EQ(firmware::ElapsedTimeText(59), "59");
  EXPECT_EQ(firmware::ElapsedTimeText(60), "1:00");
  EXPECT_EQ(firmware::ElapsedTimeText(4530), "75:30");
}

TEST_F(ProgrammingJobsTest, PlainImageOf110BytesGoesAsThreeBlocks) {
  const auto image = PatternBytes(110);
  const std::string path = folder.Write("image.bin", image);
  Program(TTarget::UsbHost, path);

  EXPECT_EQ(rig.window.statusText, "Program OK");
  EXPECT_EQ(rig.window.statusColour, Blue);
  EXPECT_EQ(rig.window.lamps[TTarget::UsbHost], TLampPicture::Green);
  EXPECT_EQ(rig.BlockSizes(TargetUsbHost), (std::vector<int>{52, 56, 6}));
  EXPECT_EQ(rig.window.progressMax, 3);
  EXPECT_EQ(rig.window.progress, 3);
  EXPECT_EQ(rig.emulator->Image(TargetUsbHost), image);
  EXPECT_EQ(rig.window.sorted, std::vector<TTarget>{TTarget::UsbHost});
  const std::vector<std::string> tail{"", "Target : USB Host", "File : " + path, "Programming...", "Program OK"};
  EXPECT_EQ(std::vector<std::string>(rig.window.log.end() - 5, rig.window.log.end()), tail);
  // Back to idle; the programmer was switched off at the end.
  EXPECT_FALSE(rig.window.breakVisible);
  EXPECT_TRUE(rig.window.programEnabled);
  EXPECT_FALSE(rig.jobs->Timer1().Enabled());
  EXPECT_EQ(rig.Commands().back(), emulator::CmdDisable);
  EXPECT_FALSE(rig.emulator->IsEnabled());
}

TEST_F(ProgrammingJobsTest, ImageOf104BytesGoesAsTwoBlocks) {
  const auto image = PatternBytes(104);
  Program(TTarget::Osd, folder.Write("image.hex", image));
  EXPECT_EQ(rig.window.statusText, "Program OK");
  EXPECT_EQ(rig.BlockSizes(TargetOsd), (std::vector<int>{52, 56}));
  EXPECT_EQ(rig.window.progressMax, 2);
  EXPECT_EQ(rig.emulator->Image(TargetOsd), image);
}

TEST_F(ProgrammingJobsTest, ContainerIsUnscrambledAndItsIntermediateFileRemoved) {
  const std::string container = folder.Write("fw.usb", ReadFileBytes(SampleFolder + "/sample300.usb"));
  Program(TTarget::UsbHost, container);
  EXPECT_EQ(rig.window.statusText, "Program OK");
  EXPECT_EQ(rig.emulator->Image(TargetUsbHost), ReadFileBytes(SampleFolder + "/sample300.bin"));
  EXPECT_FALSE(std::filesystem::exists(firmware::IntermediateFile()));
}

TEST_F(ProgrammingJobsTest, UpperCaseExtensionIsSentByteForByte) {
  const auto bytes = ReadFileBytes(SampleFolder + "/sample300.usb");
  Program(TTarget::UsbHost, folder.Write("fw.USB", bytes));
  EXPECT_EQ(rig.window.statusText, "Program OK");
  EXPECT_EQ(rig.emulator->Image(TargetUsbHost), bytes);
}

TEST_F(ProgrammingJobsTest, OsdJobRunsAfterAFailedUsbHostJob) {
  // File sum 0x01FE; the USB host chip answers 0x01FF.
  rig.emulator->AddRule({{emulator::CmdCheckSum, TargetUsbHost, {}, {}},
                         emulator::TFaultAction::Value16(emulator::TFaultKind::WrongValue, 0x01FF)});
  rig.window.checked[TTarget::UsbHost] = true;
  rig.window.fileNames[TTarget::UsbHost] = folder.Write("usb.bin", {0xFF, 0xFF});
  Program(TTarget::Osd, folder.Write("osd.bin", PatternBytes(60)));

  EXPECT_EQ(rig.window.CountLog("Checksum mismatch, File=01FE, Chip=01FF"), 1);
  EXPECT_EQ(rig.window.lamps[TTarget::UsbHost], TLampPicture::Red);
  EXPECT_EQ(rig.window.lamps[TTarget::Osd], TLampPicture::Green);
  EXPECT_LT(rig.window.FindLog("Checksum mismatch, File=01FE, Chip=01FF"), rig.window.FindLog("Target : OSD"));
  EXPECT_EQ(rig.window.sorted, std::vector<TTarget>{TTarget::Osd});
  EXPECT_EQ(rig.window.statusText, "Program OK");
}

TEST_F(ProgrammingJobsTest, SameFileAgainIsCountedInTheLog) {
  const std::string path = folder.Write("image.bin", PatternBytes(50));
  for (int i = 0; i < 3; ++i) Program(TTarget::UsbHost, path);
  EXPECT_EQ(rig.window.CountLog("File : " + path), 1);
  EXPECT_EQ(rig.window.CountLog("File : " + path + " #2"), 1);
  EXPECT_EQ(rig.window.CountLog("File : " + path + " #3"), 1);
  EXPECT_EQ(rig.jobs->FileRepeatCount(), 2);

  rig.jobs->LogFileName(path + "x");
  EXPECT_EQ(rig.jobs->FileRepeatCount(), 0);
  rig.jobs->ResetJobMemory();
  rig.jobs->LogFileName(path + "x");
  EXPECT_EQ(rig.window.log.back(), "File : " + path + "x");
}

TEST_F(ProgrammingJobsTest, ElapsedTimeOfTheJobStaysInPanelZero) {
  rig.window.OnStep = [&](int) { rig.clockMs += 75'000; };
  rig.clockMs = 0xFFFF0000u;  // the millisecond count wraps during the job
  Program(TTarget::UsbHost, folder.Write("image.bin", PatternBytes(40)));
  EXPECT_EQ(rig.window.panels[0], "1:15");
}

TEST_F(ProgrammingJobsTest, BreakLeftFromAnEarlierJobDoesNotSkipTheOsdJob) {
  rig.state.UserBreak = true;
  Program(TTarget::Osd, folder.Write("osd.bin", PatternBytes(30)));
  EXPECT_EQ(rig.window.statusText, "Program OK");
}

TEST_F(ProgrammingJobsTest, ProgramWhileAJobRunsStartsNoSecondJob) {
  rig.window.OnStep = [&](int) { rig.jobs->InProgButtonClick(); };
  Program(TTarget::UsbHost, folder.Write("image.bin", PatternBytes(200)));
  EXPECT_EQ(rig.window.CountLog("Target : USB Host"), 1);
  EXPECT_EQ(rig.window.statusText, "Program OK");
  EXPECT_EQ(rig.BlockSizes(TargetUsbHost).size(), 4u);
}

class AutoStartTest : public ::testing::Test {
 protected:
  TJobFolder folder;
  TProgrammerRig rig;
};

TEST_F(AutoStartTest, JobStartsOnTheConnectingTick) {
  rig.window.autoChecked = true;
  rig.window.checked[TTarget::UsbHost] = true;
  rig.window.fileNames[TTarget::UsbHost] = folder.Write("auto.bin", PatternBytes(120));
  ASSERT_TRUE(rig.StartConnected());
  ASSERT_TRUE(WaitFor([&] { return rig.window.FindLog("Program OK") >= 0; }));
  const int connected = rig.window.FindLog(TProgrammerRig::ConnectedText("KP000001"));
  ASSERT_GE(connected, 0);
  EXPECT_EQ(rig.window.log[connected + 2], "Target : USB Host");
  EXPECT_FALSE(rig.link->CheckTargetTimer().Enabled());
}

TEST_F(AutoStartTest, ArrivalAfterTheNextTickDoesNotBreakTheJob) {
  rig.window.autoChecked = true;
  rig.window.checked[TTarget::UsbHost] = true;
  rig.window.fileNames[TTarget::UsbHost] = folder.Write("auto.bin", PatternBytes(200));
  rig.window.OnStep = [&](int step) {
    if (step != 1) return;
    // The countdown's next tick, during the job, switches it off ...
    ASSERT_TRUE(WaitFor([&] { return !rig.link->CheckTargetTimer().Enabled(); }, 20 * RigTickMs));
    // ... so a mouse plugged in now leaves the job alone.
    rig.PlugMouse();
    ASSERT_TRUE(WaitFor([&] { return rig.controller->Devices().size() == 2; }));
  };
  ASSERT_TRUE(rig.StartConnected());
  ASSERT_TRUE(WaitFor([&] { return rig.window.FindLog("Program OK") >= 0; }));
  EXPECT_EQ(rig.window.FindLog("Connection is changed !"), -1);
  EXPECT_EQ(rig.window.lamps[TTarget::UsbHost], TLampPicture::Green);
}

TEST_F(AutoStartTest, ProgrammerLeavingDuringTheJobStillGetsItsConnectionAttempt) {
  rig.window.autoChecked = true;
  rig.window.checked[TTarget::UsbHost] = true;
  rig.window.fileNames[TTarget::UsbHost] = folder.Write("auto.bin", PatternBytes(200));
  rig.PlugProgrammer(u"FIRST");
  const std::uint64_t second = rig.PlugProgrammer(u"SECOND");
  bool pulled = false;
  rig.window.OnStep = [&](int) {
    if (pulled) return;
    pulled = true;
    ASSERT_TRUE(WaitFor([&] { return !rig.link->CheckTargetTimer().Enabled(); }, 20 * RigTickMs));
    rig.platform->Unplug(second);
    ASSERT_TRUE(WaitFor([&] { return rig.window.FindLog("Connection is changed !") >= 0; }));
  };
  rig.Start();
  ASSERT_TRUE(WaitFor([&] { return rig.window.FindLog("Program OK") >= 0; }));
  EXPECT_EQ(rig.window.CountLog("User break"), 1);
  EXPECT_EQ(rig.window.CountLog(TProgrammerRig::ConnectedText("FIRST")), 2);
  EXPECT_TRUE(rig.state.Connected);
}

}  // namespace
}  // namespace kvm::test
