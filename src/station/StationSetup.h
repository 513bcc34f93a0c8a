// A station run put together from what the operator chose: the firmware
// files checked (and held to a recipe's hashes), the event stream, the
// traceability log and the recordings opened, each unit's platform and
// intermediate file. The command line and the station window both start
// their station through this, so both run the same thing.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "station/EventStream.h"
#include "station/Recipe.h"
#include "station/Station.h"
#include "station/TraceLog.h"

namespace kvm::hid::record {
class TRecordingWriter;
}

namespace kvm::station {

// What a run is asked to do.
struct TStationPlan {
  std::string UsbHostFile, OsdFile;  // at least one
  int Units = 0;
  double IdleExitSeconds = 0;
  std::vector<std::string> Ports, Serials;
  std::string EventsFile;    // empty: none; "-": standard output
  std::string LogFile;       // empty: none
  std::string RecordFolder;  // empty: no recordings
  int TickMs = 1000;         // the one-second timers of every unit's session
  // The recipe the files must match (its hashes go into every record).
  std::optional<TRecipe> Recipe;
};

// The devices a run works on: the platform the station watches, and the one
// each unit's session works through (null: the station's own, shared).
struct TStationMachine {
  std::shared_ptr<hid::platform::THidPlatform> Platform;
  std::function<std::shared_ptr<hid::platform::THidPlatform>()> UnitPlatform;
};
// The machine's own HID devices. On Linux each unit binds hidraw and udev
// through a platform of its own (one udev context must not be used from
// several threads); on Windows the units share the station's platform, whose
// notice window belongs to the station's thread and whose scans take turns.
TStationMachine NativeMachine();

// The intermediate file of the unit in `slot` of process `pid`, beside the
// window's own.
std::string UnitIntermediateFile(long pid, int slot);

class TStationSetup {
 public:
  TStationSetup();
  ~TStationSetup();
  TStationSetup(const TStationSetup&) = delete;
  TStationSetup& operator=(const TStationSetup&) = delete;

  // Checks every file before any programmer is touched and opens the
  // outputs. False with `error` naming what failed; nothing was programmed.
  bool Prepare(const TStationPlan& plan, TStationMachine machine, std::string& error);

  const std::vector<TFirmwareFile>& Files() const { return config_.Files; }
  bool EventsOnStdout() const { return events_.OnStdout(); }
  // Every event of the run, before MakeStation (see TEventStream::Tap).
  void TapEvents(std::function<void(const QJsonObject& event)> tap) { events_.Tap = std::move(tap); }
  // Every unit's intermediate file that a run may leave (for an exit that
  // cannot wait for the units).
  std::vector<std::string> IntermediateFiles(int count) const;

  // The station of this run, built once after Prepare, on the thread that
  // then runs it.
  TStation& MakeStation(TStationOutput output);
  TStation* Station() { return station_.get(); }

  // After the run: ends what no unit finished of the recordings. Returns the
  // run's exit status, 1 instead of 0 when that failed (named through
  // `printError`).
  int Finish(int exitCode, const std::function<void(const std::string&)>& printError);

 private:
  // A firmware file refused: the events (when asked for) still start and
  // finish, saying why. Returns false, for Prepare to return.
  bool RefuseFiles(const TStationPlan& plan, const std::vector<TFirmwareFile>& accepted, const std::string& refusal);

  TStationMachine machine_;
  TStationConfig config_;
  TEventStream events_;
  TTraceLog log_;
  std::shared_ptr<hid::record::TRecordingWriter> recorder_;
  // Where a unit's recording removed for holding no exchange is told.
  std::function<void(const std::string&)> recordNotice_;
  std::unique_ptr<TStation> station_;
};

}  // namespace kvm::station
