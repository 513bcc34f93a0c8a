// The window wired to the real controller, protocol, connection and jobs over
// the simulated HID bus and the emulated programmer: what the operator sees.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <fstream>
#include <vector>

#include "WaitFor.h"
#include "app/ProgrammerWindow.h"
#include "emulator/ProgrammerEmulator.h"
#include "hid/platform/sim/SimHidPlatform.h"

namespace kvm::app {
namespace {

using hid::platform::TSimHidPlatform;

class ProgrammerWindowTest : public ::testing::Test {
 protected:
  ProgrammerWindowTest() {
    emulator->SetReplyDelay(0);
    TMainFormOptions options;
    // No test here waits out a silence: ticks long enough that a reply
    // delayed by a busy machine still comes within its six-tick wait.
    options.tickMs = 50;
    options.osVersion = [] { return std::optional<int>(0); };
    window = std::make_unique<TProgrammerWindow>(platform, std::move(options));
    window->Form().FormActivate();
  }

  std::string WriteImage(const std::string& name, std::size_t length) {
    std::vector<char> bytes(length);
    for (std::size_t i = 0; i < length; ++i) bytes[i] = static_cast<char>(i * 13 + 5);
    const std::string path = folder.filePath(QString::fromStdString(name)).toStdString();
    std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return path;
  }

  void ConnectProgrammer() {
    platform->Plug(hid::platform::SimProgrammer(), emulator::TProgrammerEmulator::Responder(emulator));
    ASSERT_TRUE(test::WaitFor([&] { return Form().State().Connected; }));
  }

  TMainForm& Form() { return window->Form(); }
  bool LampShows(const QLabel* lamp, const QLabel* source) {
    return lamp->pixmap().toImage() == source->pixmap().toImage();
  }

  QTemporaryDir folder;
  std::shared_ptr<TSimHidPlatform> platform = std::make_shared<TSimHidPlatform>();
  std::shared_ptr<emulator::TProgrammerEmulator> emulator = std::make_shared<emulator::TProgrammerEmulator>();
  std::unique_ptr<TProgrammerWindow> window;
};

TEST_F(ProgrammerWindowTest, ConnectsAndProgramsTheTickedTarget) {
  ConnectProgrammer();
  EXPECT_EQ(Form().GetStatusText(), "Zorbek KVM Switch Programmer KP000001 is connected.");
  EXPECT_FALSE(Form().InProgButton->isEnabled()) << "no target is ticked yet";

  const std::string file = WriteImage("osd.OSD", 300);
  Form().ComboBox5->setEditText(QString::fromStdString(file));
  Form().CheckBox4->setChecked(true);
  ASSERT_TRUE(Form().InProgButton->isEnabled());
  Form().InProgButton->click();

  EXPECT_EQ(Form().GetStatusText(), "Program OK");
  EXPECT_TRUE(Form().GetStatusColour() == Blue);
  EXPECT_TRUE(LampShows(Form().Image5, Form().Green_Image));
  EXPECT_TRUE(LampShows(Form().Image1, Form().Gray_Image));
  EXPECT_EQ(Form().ProgramProgressBar->maximum(), 6);  // 52 + 4 x 56 + 24 bytes
  EXPECT_EQ(Form().ProgramProgressBar->value(), 6);
  EXPECT_TRUE(Form().InProgButton->isEnabled());
  EXPECT_FALSE(Form().BreakButton->isVisibleTo(&Form()));

  std::vector<std::uint8_t> expected(300);
  for (std::size_t i = 0; i < expected.size(); ++i) expected[i] = static_cast<std::uint8_t>(i * 13 + 5);
  EXPECT_EQ(emulator->Image(emulator::TargetOsd), expected);
}

TEST_F(ProgrammerWindowTest, BreakDuringTheBlocksStopsTheJobAndSkipsTheOsdJob) {
  ConnectProgrammer();
  Form().ComboBox1->setEditText(QString::fromStdString(WriteImage("host.bin", 56 * 40)));
  Form().ComboBox5->setEditText(QString::fromStdString(WriteImage("osd.OSD", 100)));
  Form().Button7Click();
  QObject::connect(Form().ProgramProgressBar, &QProgressBar::valueChanged, [&](int value) {
    if (value == 3 && Form().BreakButton->isVisibleTo(&Form())) Form().BreakButton->click();
  });
  Form().InProgButton->click();

  EXPECT_EQ(Form().GetStatusText(), "User break");
  EXPECT_TRUE(LampShows(Form().Image1, Form().Red_Image));
  EXPECT_TRUE(LampShows(Form().Image5, Form().Gray_Image)) << "the OSD job must not run after a break";
  EXPECT_EQ(emulator->BlockCount(emulator::TargetUsbHost), 3);
  EXPECT_TRUE(Form().InProgButton->isEnabled());
}

TEST_F(ProgrammerWindowTest, UnpluggingTheProgrammerGoesBackToScanning) {
  const std::uint64_t id =
      platform->Plug(hid::platform::SimProgrammer(), emulator::TProgrammerEmulator::Responder(emulator));
  ASSERT_TRUE(test::WaitFor([&] { return Form().State().Connected; }));
  platform->Unplug(id);
  ASSERT_TRUE(test::WaitFor([&] { return Form().GetStatusText() == "Please connect KVM programmer."; }));
  EXPECT_TRUE(Form().GetStatusColour() == Red);
  EXPECT_TRUE(LampShows(Form().ConnectBallImage, Form().Gray_Image));
  EXPECT_EQ(Form().State().ProgrammerDevice, nullptr);
}

}  // namespace
}  // namespace kvm::app
