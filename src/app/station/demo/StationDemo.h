// The station window's world without hardware: eight emulated programmers
// on the simulated bus at ports 1-1 .. 1-8, sample firmware in a temporary
// folder, and faults a unit can be given (silent, bad checksum, unplugged
// in the middle of its job).
#pragma once

#include <QTemporaryDir>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app/station/StationWindow.h"

namespace kvm::emulator {
class TProgrammerEmulator;
}
namespace kvm::hid::platform {
class TSimHidPlatform;
}

namespace kvm::stationwindow::demo {

enum class TDemoFault { None, Silent, BadCheckSum, UnplugMidJob };
const char* FaultName(TDemoFault fault);

struct TDemoProgrammer {
  std::string Port, Serial;
  std::shared_ptr<emulator::TProgrammerEmulator> Emulator;
  std::uint64_t DeviceID = 0;  // 0 while unplugged
  TDemoFault Fault = TDemoFault::None;
  int Arrivals = 0;
};

class TStationDemo {
 public:
  static constexpr int Programmers = 8;

  // `replyDelayMs` models USB timing; the files have `hostBlocks` and `osdBlocks` blocks.
  TStationDemo(int replyDelayMs, int hostBlocks, int osdBlocks);
  ~TStationDemo();

  bool Ready() const { return error_.empty(); }
  const std::string& Error() const { return error_; }
  std::shared_ptr<hid::platform::TSimHidPlatform> Platform() const { return platform_; }
  // The window's options over the simulated bus.
  TStationWindowOptions WindowOptions(int tickMs) const;
  const std::string& UsbHostFile() const { return usbHostFile_; }
  const std::string& OsdFile() const { return osdFile_; }
  std::string FolderPath(const char* name) const { return folder_.filePath(name).toStdString(); }

  TDemoProgrammer& Programmer(int index) { return programmers_.at(static_cast<std::size_t>(index)); }
  void Plug(int index, TDemoFault fault);
  void Unplug(int index);
  bool Plugged(int index) const { return programmers_.at(static_cast<std::size_t>(index)).DeviceID != 0; }
  // An unplug-mid-job unit that has written enough blocks is unplugged.
  void PullMidJobUnits();

 private:
  QTemporaryDir folder_;
  std::shared_ptr<hid::platform::TSimHidPlatform> platform_;
  std::vector<TDemoProgrammer> programmers_;
  int replyDelayMs_;
  std::string usbHostFile_, osdFile_;
  std::string error_;
};

}  // namespace kvm::stationwindow::demo
