#include "app/station/demo/StationDemo.h"

#include <QFile>

#include "emulator/ProgrammerEmulator.h"
#include "hid/platform/sim/SimHidPlatform.h"

namespace kvm::stationwindow::demo {

namespace {

// Firmware-looking bytes of `blocks` full blocks: repeatable, not all alike.
bool WriteSample(const std::string& path, int blocks, std::uint32_t seed) {
  std::vector<char> image(48 + 56 * static_cast<std::size_t>(blocks - 1));
  std::uint32_t x = seed;
  for (char& byte : image) {
    x = x * 1664525u + 1013904223u;
    byte = static_cast<char>(x >> 24);
  }
  QFile file(QString::fromStdString(path));
  return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
         file.write(image.data(), static_cast<qint64>(image.size())) == static_cast<qint64>(image.size());
}

}  // namespace

const char* FaultName(TDemoFault fault) {
  switch (fault) {
    case TDemoFault::Silent: return "silent";
    case TDemoFault::BadCheckSum: return "bad checksum";
    case TDemoFault::UnplugMidJob: return "unplugged mid-job";
    case TDemoFault::None: break;
  }
  return "none";
}

TStationDemo::TStationDemo(int replyDelayMs, int hostBlocks, int osdBlocks)
    : platform_(std::make_shared<hid::platform::TSimHidPlatform>()), replyDelayMs_(replyDelayMs) {
  if (!folder_.isValid()) {
    error_ = "cannot create a folder for the sample firmware: " + folder_.errorString().toStdString();
    return;
  }
  // The units' intermediate files go to the demo's folder too.
  qputenv("XDG_RUNTIME_DIR", folder_.path().toUtf8());
  usbHostFile_ = FolderPath("host.bin");
  osdFile_ = FolderPath("osd.bin");
  if (!WriteSample(usbHostFile_, hostBlocks, 1) || !WriteSample(osdFile_, osdBlocks, 2))
    error_ = "cannot write the sample firmware in " + folder_.path().toStdString();
  for (int i = 0; i < Programmers; ++i) {
    TDemoProgrammer programmer;
    programmer.Port = "1-" + std::to_string(i + 1);
    programmer.Serial = "ZB" + std::to_string(240101 + i);
    programmers_.push_back(std::move(programmer));
  }
}

TStationDemo::~TStationDemo() {
  for (int i = 0; i < Programmers; ++i) Unplug(i);
}

TStationWindowOptions TStationDemo::WindowOptions(int tickMs) const {
  TStationWindowOptions options;
  auto platform = platform_;
  // The simulated bus can be used from every unit's thread at once.
  options.Machine = [platform] { return station::TStationMachine{platform, {}}; };
  options.TickMs = tickMs;
  return options;
}

void TStationDemo::Plug(int index, TDemoFault fault) {
  TDemoProgrammer& programmer = Programmer(index);
  if (programmer.DeviceID != 0) return;
  programmer.Fault = fault;
  programmer.Emulator = std::make_shared<emulator::TProgrammerEmulator>();
  programmer.Emulator->SetReplyDelay(replyDelayMs_);
  if (fault == TDemoFault::Silent) programmer.Emulator->AddRule({{}, emulator::TFaultKind::Silence});
  if (fault == TDemoFault::BadCheckSum)
    programmer.Emulator->AddRule({{emulator::CmdCheckSum, {}, {}, {}},
                                  emulator::TFaultAction::Value16(emulator::TFaultKind::WrongValue, 0x1234)});
  // Slow blocks, so that the unplug comes in the middle of the job.
  if (fault == TDemoFault::UnplugMidJob) {
    emulator::TFaultRule slow;
    slow.Match.Command = emulator::CmdBlockWrite;
    slow.Action = emulator::TFaultAction::Delayed(20);
    programmer.Emulator->AddRule(slow);
  }
  hid::platform::TSimDeviceInfo info = hid::platform::SimProgrammer();
  info.SerialNumber = std::u16string(programmer.Serial.begin(), programmer.Serial.end());
  info.PortPath = programmer.Port;
  programmer.DeviceID = platform_->Plug(info, emulator::TProgrammerEmulator::Responder(programmer.Emulator));
  ++programmer.Arrivals;
}

void TStationDemo::Unplug(int index) {
  TDemoProgrammer& programmer = Programmer(index);
  if (programmer.DeviceID == 0) return;
  platform_->Unplug(programmer.DeviceID);
  programmer.DeviceID = 0;
}

void TStationDemo::PullMidJobUnits() {
  for (int i = 0; i < Programmers; ++i) {
    const TDemoProgrammer& programmer = Programmer(i);
    if (programmer.DeviceID != 0 && programmer.Fault == TDemoFault::UnplugMidJob &&
        programmer.Emulator->BlockCount(emulator::TargetUsbHost) >= 8)
      Unplug(i);
  }
}

}  // namespace kvm::stationwindow::demo
