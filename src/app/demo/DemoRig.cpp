#include "DemoRig.h"

#include <QComboBox>
#include <QFile>
#include <QTimer>
#include <cstdint>
#include <vector>

#include "app/DevReader.h"
#include "emulator/ProgrammerEmulator.h"
#include "firmware/ContainerHeader.h"
#include "hid/platform/sim/SimHidPlatform.h"

namespace kvm::app {

namespace {

constexpr int DemoChipType = 300;

// Firmware-looking bytes: repeatable, not all alike.
std::vector<std::uint8_t> SampleImage(std::size_t length, std::uint32_t seed) {
  std::vector<std::uint8_t> image(length);
  std::uint32_t x = seed;
  for (auto& byte : image) {
    x = x * 1664525u + 1013904223u;
    byte = static_cast<std::uint8_t>(x >> 24);
  }
  return image;
}

// A container whose unscrambled payload is `image`.
std::vector<std::uint8_t> SampleContainer(const std::vector<std::uint8_t>& image) {
  return firmware::BuildContainer(image, firmware::TScrambleKey{DemoChipType, 5, 8, 0x5A});
}

bool WriteFile(const QString& path, const std::vector<std::uint8_t>& bytes) {
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
  return file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size())) ==
         static_cast<qint64>(bytes.size());
}

}  // namespace

TDemoRig::TDemoRig(int replyDelayMs)
    : platform_(std::make_shared<hid::platform::TSimHidPlatform>()),
      programmer_(std::make_shared<emulator::TProgrammerEmulator>()) {
  programmer_->SetReplyDelay(replyDelayMs);
  if (!folder_.isValid()) {
    error_ = "cannot create a folder for the sample firmware: " + folder_.errorString().toStdString();
    return;
  }
  const QString usbHost = folder_.filePath(QStringLiteral("kvm-usb-host-2.14.usb"));
  const QString osd = folder_.filePath(QStringLiteral("kvm-osd-1.3.OSD"));
  if (!WriteFile(usbHost, SampleContainer(SampleImage(6 * 1024 + 37, 1))) ||
      !WriteFile(osd, SampleImage(3 * 1024 + 11, 2))) {
    error_ = "cannot write the sample firmware in " + folder_.path().toStdString();
    return;
  }
  usbHostFile_ = usbHost.toStdString();
  osdFile_ = osd.toStdString();
  ready_ = true;
}

TDemoRig::~TDemoRig() = default;

void TDemoRig::FillFileLists(TMainForm& form) const {
  // As if the operator had picked each file through "...".
  form.ComboBox1->insertItem(0, QString::fromStdString(usbHostFile_));
  form.ComboBox1->setCurrentIndex(0);
  form.ComboBox5->insertItem(0, QString::fromStdString(osdFile_));
  form.ComboBox5->setCurrentIndex(0);
}

void TDemoRig::Start(int plugDelayMs) {
  platform_->Plug(hid::platform::SimMouse());
  QTimer::singleShot(plugDelayMs, [this] { PlugProgrammer(); });
}

void TDemoRig::PlugProgrammer() {
  hid::platform::TSimDeviceInfo info = hid::platform::SimProgrammer();
  info.SerialNumber = u"DEMO-0001";
  platform_->Plug(info, emulator::TProgrammerEmulator::Responder(programmer_));
}

}  // namespace kvm::app
