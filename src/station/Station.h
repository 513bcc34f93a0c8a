// The production station: every KVM programmer present at the start or
// plugged in later becomes a unit, programmed once per arrival by a session
// of its own, all units in parallel. The station watches the machine's
// devices, starts and ends units, keeps the tally and decides when the run
// ends (--units, --idle-exit, an interrupt). Lives on the thread that runs it.
#pragma once

#include <QEvent>
#include <QJsonObject>
#include <QObject>
#include <QTimer>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "jobs/ProgrammerStack.h"
#include "station/FirmwareFiles.h"
#include "station/StationTally.h"
#include "station/UnitDiscovery.h"
#include "station/UnitIdentity.h"
#include "station/UnitSession.h"

namespace kvm::station {

class TEventStream;
class TTraceLog;

struct TStationConfig {
  std::vector<TFirmwareFile> Files;  // checked, in job order (USB Host first)
  int Units = 0;                     // end after this many finished units; 0: no limit
  double IdleExitSeconds = 0;        // end after this long with no unit running or settling; 0: never
  std::vector<std::string> Ports, Serials;
  jobs::TStackOptions Stack;         // tick periods of every unit's session
  // The platform a unit's session works through: the station's own when it
  // can be used from several threads, else a new one per unit.
  std::function<std::shared_ptr<hid::platform::THidPlatform>()> UnitPlatform;
  // Ends what a unit's platform writes itself (its recording) once the
  // unit's session has ended; false with every failure named.
  std::function<bool(hid::platform::THidPlatform& platform, std::string& error)> FinishUnitPlatform;
  // The intermediate file of a unit's container jobs, by its slot among
  // the units running at once (empty: the one file of the window).
  std::function<std::string(int slot)> IntermediateFile;
  // What every traceability record tells of the run's recipe (empty: none).
  QJsonObject RecordRecipe;
};

// What the station shows; every member may be called from any thread.
struct TStationOutput {
  std::function<void(const std::string& line)> PrintLine;
  std::function<void(const std::string& message)> PrintError;
  std::function<void(const std::string& prefix, const TUnitProgress&)> Progress;
  std::function<void(const std::string& prefix)> ProgressDone;
};

class TStation {
 public:
  TStation(std::shared_ptr<hid::platform::THidPlatform> platform, TStationConfig config, TEventStream& events,
           TTraceLog& log, TStationOutput output);
  ~TStation();
  TStation(const TStation&) = delete;
  TStation& operator=(const TStation&) = delete;

  // Runs until the run ends; returns the exit status (0, 1, 3 or 4).
  int Run();
  // Ctrl-C or SIGTERM: running units get Break, units still settling are
  // given up, no new unit starts; the run ends when every unit has finished.
  void Interrupt();
  // A second interrupt: as Interrupt, and the running units stop waiting for
  // their programmers' replies, so that they end (and are recorded) at once.
  void Hurry();

  const TStationTally& Tally() const { return tally_; }
  // An output failed (any thread): it is named, no new unit starts, the
  // running ones finish, and the run ends with status 1.
  void OutputFailed(const std::string& what);

  // Units present or still running.
  int UnitCount() const { return static_cast<int>(units_.size()); }
  // Units whose session has not finished yet.
  int RunningUnitCount() const;

 private:
  struct TUnit {
    int Number = 0;
    std::uint64_t DeviceID = 0;
    int Slot = -1;
    std::unique_ptr<TUnitRecorder> Recorder;
    std::shared_ptr<hid::platform::THidPlatform> Platform;  // the one under its view
    std::unique_ptr<TUnitSession> Session;
    bool Finished = false;
    bool Present = true;
  };

  void Arrived(const TProgrammerSeen& seen);
  void Removed(std::uint64_t deviceId);
  void UnitDone(int number, bool ok, const std::string& recordError);
  void LoseOutput(const std::string& what);
  void Forget(int number);
  void CheckEnd();
  void EndRun();
  bool AnyUnitRunning() const;
  int FreeSlot() const;

  std::shared_ptr<hid::platform::THidPlatform> platform_;
  TStationConfig config_;
  TEventStream& events_;
  TTraceLog& log_;
  TStationOutput output_;
  TUnitFilter filter_;
  TUnitDiscovery discovery_;

  // The units' ends cross to the station's thread in this list, under our
  // own lock; an empty event posted to the anchor says "look at the list", so
  // the order between the threads is one that thread checkers can see.
  struct TUnitEnd {
    int Number;
    bool Ok;
    std::string RecordError;
  };
  std::mutex endsLock_;
  std::vector<TUnitEnd> ends_;
  std::vector<std::string> outputFailures_;
  void TakeUnitEnds();
  class TAnchor : public QObject {
   public:
    explicit TAnchor(TStation& station) : station_(station) {}
    void customEvent(QEvent*) override { station_.TakeUnitEnds(); }

   private:
    TStation& station_;
  };
  TAnchor anchor_{*this};
  QTimer idleTimer_;
  std::map<int, std::unique_ptr<TUnit>> units_;  // present or still running
  std::map<std::uint64_t, int> unitByDevice_;
  int nextNumber_ = 1;
  int started_ = 0;
  bool interrupted_ = false;
  bool ending_ = false;
  bool ended_ = false;
  std::function<void()> quit_;
  TStationTally tally_;
};

}  // namespace kvm::station
