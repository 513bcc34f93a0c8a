// A station over the simulated bus with emulated programmers, run in this
// thread, and what it wrote: lines, events, records.
#pragma once

#include <QJsonObject>
#include <QTemporaryDir>
#include <QTimer>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "emulator/ProgrammerEmulator.h"
#include "hid/platform/sim/SimHidPlatform.h"
#include "station/EventStream.h"
#include "station/Station.h"
#include "station/TraceLog.h"

namespace kvm::station::test {

struct TRigProgrammer {
  std::shared_ptr<emulator::TProgrammerEmulator> Emulator;
  std::uint64_t DeviceID = 0;
  std::string Serial, Port;
};

class TStationRig {
 public:
  explicit TStationRig(int tickMs = 20);
  ~TStationRig();

  // A firmware file of `blocks` full blocks (plain, or a container by its name).
  std::string Firmware(const char* name, int blocks);
  TRigProgrammer& Plug(const std::string& serial, const std::string& port);
  void Unplug(TRigProgrammer& programmer);

  // Checks the files and builds the station; Run() then runs it to its end.
  void Configure(const std::function<void(TStationConfig&)>& change = {});
  int Run(int timeoutMs = 20000);
  // Runs `action` once, in the station's thread, as soon as `condition` holds.
  void When(std::function<bool()> condition, std::function<void()> action);

  std::vector<std::string> Lines() const;
  std::vector<std::string> Errors() const;
  std::vector<QJsonObject> Events() const;
  std::vector<QJsonObject> Events(const char* name) const;
  std::vector<QJsonObject> Records() const;

  hid::platform::TSimHidPlatform& Platform() { return *platform_; }
  std::shared_ptr<hid::platform::TSimHidPlatform> PlatformPtr() const { return platform_; }
  TStation& Station() { return *station_; }
  std::vector<std::unique_ptr<TRigProgrammer>>& Programmers() { return programmers_; }
  std::string EventsPath() const { return folder_.filePath("events.jsonl").toStdString(); }
  std::string LogPath() const { return folder_.filePath("trace.jsonl").toStdString(); }

  // The files given to the station (empty: none).
  std::string UsbHost, Osd;

 private:
  int tickMs_;
  QTemporaryDir folder_;
  std::shared_ptr<hid::platform::TSimHidPlatform> platform_;
  std::vector<std::unique_ptr<TRigProgrammer>> programmers_;
  TEventStream events_;
  TTraceLog log_;
  std::unique_ptr<TStation> station_;
  mutable std::mutex mutex_;
  std::vector<std::string> lines_, errors_;
  std::vector<std::unique_ptr<QTimer>> watches_;
};

}  // namespace kvm::station::test
