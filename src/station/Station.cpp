#include "station/Station.h"

#include <QCoreApplication>

#include <QEventLoop>
#include <QJsonArray>
#include <QMetaObject>
#include <cmath>

#include "station/EventStream.h"
#include "station/ProcessMemory.h"
#include "station/TraceLog.h"

namespace kvm::station {

namespace {
constexpr const char* GoneBeforeProgramming = "unplugged before it was programmed";
constexpr const char* InterruptedBeforeProgramming = "the run was interrupted before it was programmed";
}  // namespace

TStation::TStation(std::shared_ptr<hid::platform::THidPlatform> platform, TStationConfig config,
                   TEventStream& events, TTraceLog& log, TStationOutput output)
    : platform_(std::move(platform)),
      config_(std::move(config)),
      events_(events),
      log_(log),
      output_(std::move(output)),
      filter_(config_.Ports, config_.Serials),
      discovery_(platform_) {
  LimitAllocatorArenas();
  events_.OnError = [this](const std::string& error) { OutputFailed("events lost: " + error); };
  discovery_.OnArrival = [this](const TProgrammerSeen& seen) { Arrived(seen); };
  discovery_.OnRemoval = [this](std::uint64_t deviceId) { Removed(deviceId); };
  idleTimer_.setSingleShot(true);
  QObject::connect(&idleTimer_, &QTimer::timeout, [this] {
    ending_ = true;
    CheckEnd();
  });
}

TStation::~TStation() {
  // Sessions end before the platform and the discovery they work through.
  units_.clear();
}

int TStation::Run() {
  events_.Emit("station-started", {{"files", FilesJson(config_.Files)}});
  std::string error;
  if (!discovery_.Start(error)) {
    if (output_.PrintError) output_.PrintError(error);
    ending_ = true;
  } else {
    discovery_.Rescan();
  }
  QEventLoop loop;
  quit_ = [&loop] { loop.quit(); };
  CheckEnd();
  if (!ended_) loop.exec();
  quit_ = nullptr;
  units_.clear();
  unitByDevice_.clear();
  TakeUnitEnds();
  const int exitCode = tally_.ExitCode();
  const std::size_t lost = tally_.LostOutputs.size();
  if (output_.PrintLine)
    output_.PrintLine("Station: " + std::to_string(tally_.UnitsOk) + " succeeded, " +
                      std::to_string(tally_.UnitsFailed) + " failed" +
                      (lost == 0 ? std::string() : ", " + std::to_string(lost) + " output(s) lost"));
  QJsonArray lostJson;
  for (const std::string& what : tally_.LostOutputs) lostJson.append(QString::fromStdString(what));
  events_.Emit("station-finished", {{"units_ok", tally_.UnitsOk},
                                    {"units_failed", tally_.UnitsFailed},
                                    {"lost", lostJson},
                                    {"exit_code", exitCode}});
  return exitCode;
}

void TStation::Interrupt() {
  if (interrupted_) return;
  interrupted_ = true;
  ending_ = true;
  if (AnyUnitRunning()) tally_.InterruptedWhileRunning = true;
  for (auto& [number, unit] : units_)
    if (!unit->Finished && unit->Session) unit->Session->Break(InterruptedBeforeProgramming);
  CheckEnd();
}

void TStation::Hurry() {
  Interrupt();
  for (auto& [number, unit] : units_)
    if (!unit->Finished && unit->Session) unit->Session->Hurry();
}

void TStation::Arrived(const TProgrammerSeen& seen) {
  const TUnitIdentity& identity = seen.Identity;
  const std::string who = identity.Port + " " + identity.Serial + " (" + identity.Node + ")";
  if (!filter_.Serves(identity)) {
    if (output_.PrintError) output_.PrintError(who + ": left alone (not among --port/--serial)");
    return;
  }
  if (ending_) {
    if (output_.PrintError) output_.PrintError(who + ": left alone (the run is ending)");
    return;
  }
  if (config_.Units > 0 && started_ >= config_.Units) {
    if (output_.PrintError)
      output_.PrintError(who + ": left alone (--units " + std::to_string(config_.Units) + " already served)");
    return;
  }
  ++started_;
  idleTimer_.stop();
  auto unit = std::make_unique<TUnit>();
  unit->Number = nextNumber_++;
  unit->DeviceID = seen.DeviceID;
  unit->Slot = FreeSlot();
  unit->Recorder = std::make_unique<TUnitRecorder>(identity, config_.Files, events_, log_, output_.PrintLine);
  unit->Recorder->SetArrival(unit->Number);
  if (!config_.RecordRecipe.isEmpty()) unit->Recorder->SetRecipe(config_.RecordRecipe);
  unit->Recorder->Arrived();

  jobs::TStackOptions stack = config_.Stack;
  if (config_.IntermediateFile) stack.IntermediateFile = config_.IntermediateFile(unit->Slot);
  jobs::TJobRequest request;
  for (const TFirmwareFile& file : config_.Files) request.Targets.push_back({file.Target, file.Path});
  unit->Platform = config_.UnitPlatform ? config_.UnitPlatform() : platform_;
  auto unitPlatform = std::make_shared<TUnitPlatform>(unit->Platform, identity.Node);
  const int number = unit->Number;
  TUnitCallbacks callbacks;
  callbacks.Progress = output_.Progress;
  callbacks.Done = [this, number](bool ok, const std::string& recordError) {
    {
      std::lock_guard<std::mutex> lock(endsLock_);
      ends_.push_back({number, ok, recordError});
    }
    QCoreApplication::postEvent(&anchor_, new QEvent(QEvent::User));
  };
  unit->Session = std::make_unique<TUnitSession>(std::move(unitPlatform), std::move(stack), std::move(request),
                                                 *unit->Recorder, std::move(callbacks));
  unitByDevice_[seen.DeviceID] = number;
  units_[number] = std::move(unit);
}

void TStation::TakeUnitEnds() {
  std::vector<TUnitEnd> ends;
  std::vector<std::string> failures;
  {
    std::lock_guard<std::mutex> lock(endsLock_);
    ends.swap(ends_);
    failures.swap(outputFailures_);
  }
  for (const std::string& what : failures) LoseOutput(what);
  for (const TUnitEnd& end : ends) UnitDone(end.Number, end.Ok, end.RecordError);
}

void TStation::OutputFailed(const std::string& what) {
  {
    std::lock_guard<std::mutex> lock(endsLock_);
    outputFailures_.push_back(what);
  }
  QCoreApplication::postEvent(&anchor_, new QEvent(QEvent::User));
}

void TStation::LoseOutput(const std::string& what) {
  tally_.LostOutputs.push_back(what);
  if (output_.PrintError) output_.PrintError(what);
  ending_ = true;
  CheckEnd();
}

void TStation::Removed(std::uint64_t deviceId) {
  const auto found = unitByDevice_.find(deviceId);
  if (found == unitByDevice_.end()) return;
  const int number = found->second;
  unitByDevice_.erase(found);
  TUnit& unit = *units_.at(number);
  unit.Present = false;
  unit.Recorder->Removed();
  if (unit.Finished) {
    Forget(number);
  } else {
    unit.Session->DeviceGone(GoneBeforeProgramming);
  }
  CheckEnd();
}

void TStation::UnitDone(int number, bool ok, const std::string& recordError) {
  const auto found = units_.find(number);
  if (found == units_.end()) return;
  TUnit& unit = *found->second;
  unit.Finished = true;
  ++(ok ? tally_.UnitsOk : tally_.UnitsFailed);
  const std::string prefix = unit.Recorder->Identity().Prefix();
  if (output_.ProgressDone) output_.ProgressDone(prefix);
  // The jobs have ended: the session gives its programmer back now; the unit
  // stays (idle) until it is unplugged, so that it is not served again.
  unit.Session.reset();
  // Its recording is finished now, not at the end of the run.
  std::string recordingError;
  if (unit.Platform && config_.FinishUnitPlatform && !config_.FinishUnitPlatform(*unit.Platform, recordingError))
    LoseOutput("recording of " + prefix + "lost: " + recordingError);
  unit.Platform.reset();
  if (!recordError.empty()) {
    tally_.RecordLost = true;
    LoseOutput("traceability record of " + prefix + "lost: " + recordError);
  }
  if (!unit.Present) Forget(number);
  if (!AnyUnitRunning()) ReleaseFreeMemory();
  if (config_.Units > 0 && tally_.UnitsOk + tally_.UnitsFailed >= config_.Units) ending_ = true;
  CheckEnd();
}

void TStation::Forget(int number) { units_.erase(number); }

int TStation::RunningUnitCount() const {
  int running = 0;
  for (const auto& [number, unit] : units_)
    if (!unit->Finished) ++running;
  return running;
}

bool TStation::AnyUnitRunning() const {
  for (const auto& [number, unit] : units_)
    if (!unit->Finished) return true;
  return false;
}

int TStation::FreeSlot() const {
  std::set<int> used;
  for (const auto& [number, unit] : units_)
    if (!unit->Finished) used.insert(unit->Slot);
  int slot = 0;
  while (used.count(slot) != 0) ++slot;
  return slot;
}

void TStation::CheckEnd() {
  if (ended_) return;
  if (ending_ && !AnyUnitRunning()) {
    EndRun();
    return;
  }
  // Idle: no unit running or settling; a finished unit left plugged in is idle.
  if (config_.IdleExitSeconds > 0 && !AnyUnitRunning() && !ending_ && !idleTimer_.isActive())
    idleTimer_.start(static_cast<int>(std::lround(config_.IdleExitSeconds * 1000)));
}

void TStation::EndRun() {
  ended_ = true;
  idleTimer_.stop();
  if (quit_) quit_();
}

}  // namespace kvm::station
