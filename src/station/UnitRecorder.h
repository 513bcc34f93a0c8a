// Everything one unit tells the outside world: its history-log lines on
// standard output behind its "[PORT SERIAL] " prefix, its events, and its
// traceability record. Fed by the unit's session, on the session's thread;
// one recorder per arrival.
#pragma once

#include <QJsonObject>
#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "core/JobView.h"
#include "core/StatusSink.h"
#include "station/FirmwareFiles.h"
#include "station/ProgressThrottle.h"
#include "station/UnitIdentity.h"

namespace kvm::station {

class TEventStream;
class TTraceLog;

// Where a unit's lines go; the front end prefixes nothing itself. May be
// called from several threads (the front end serializes).
using TLinePrinter = std::function<void(const std::string& line)>;
// Milliseconds of a steady clock.
using TMillisecondClock = std::function<std::int64_t()>;
std::int64_t SteadyMilliseconds();

// "green", "blue", "red", or null for any other colour or none.
QJsonValue ColourName(std::optional<TColour> colour);

class TUnitRecorder {
 public:
  TUnitRecorder(TUnitIdentity identity, const std::vector<TFirmwareFile>& files, TEventStream& events,
                TTraceLog& log, TLinePrinter printLine, TMillisecondClock clock = SteadyMilliseconds);

  const TUnitIdentity& Identity() const { return identity_; }

  // The recipe the run holds to, told in the record.
  void SetRecipe(QJsonObject recipe) { recipe_ = std::move(recipe); }
  // The station's count of arrivals (1 for the first unit), told in every
  // event and the record, so that two arrivals of one programmer differ.
  void SetArrival(int arrival) { arrival_ = arrival; }
  void Arrived();
  void Connected();
  void Removed();
  // The run was interrupted while the unit was being programmed.
  void Interrupted() { interrupted_ = true; }
  // A history-log line (empty where the window starts a new section).
  void LogLine(const std::string& text, std::optional<TColour> colour);
  // The status line's text, kept as the message of the job that ends.
  void Status(const std::string& text) { lastStatus_ = text; }
  void JobStarted(TTarget target);
  // `block` blocks of `blocks` confirmed.
  void Progress(std::int64_t block, std::int64_t blocks);
  // Attempt 2..4 of a block, with the retry text of the log.
  void Retry(std::int64_t block, int attempt, const std::string& reason);
  // A job's end; an empty message takes the last status text.
  void JobFinished(TTarget target, std::int32_t result, const std::string& message = {});

  // Writes the traceability record (on the disk when this returns) and then
  // emits "unit-finished". `reason` explains a unit whose jobs could not run
  // (unplugged before it was connected, the run interrupted). Returns the
  // unit's success; `recordError` is set when the record could not be
  // written.
  bool Finish(const std::string& reason, std::string& recordError);

  bool Finished() const { return finished_; }
  bool Ok() const { return ok_; }
  // The targets that ran, with their results and last messages.
  const std::map<TTarget, std::int32_t>& Results() const { return results_; }

 private:
  QJsonObject UnitJson() const;
  QJsonObject UnitFields() const { return {{"unit", UnitJson()}}; }
  QJsonObject Fields(QJsonObject fields) const;
  double SecondsSince(std::int64_t startMs) const;

  const TUnitIdentity identity_;
  const std::vector<TFirmwareFile> files_;
  TEventStream& events_;
  TTraceLog& log_;
  TLinePrinter printLine_;
  TMillisecondClock clock_;

  std::int64_t arrivedMs_;
  int arrival_ = 1;
  std::int64_t jobStartMs_ = 0;
  std::optional<TTarget> currentTarget_;
  std::optional<TProgressThrottle> progress_;
  std::string lastStatus_;
  QJsonObject recipe_;
  std::map<TTarget, std::int32_t> results_;
  std::map<TTarget, std::string> messages_;
  bool finished_ = false;
  bool ok_ = false;
  // What the record says of a job cut short: where it was.
  std::atomic<bool> interrupted_{false};
  std::atomic<bool> removed_{false};
  bool broken_ = false;  // the job was broken off: nothing more is written
  std::optional<TTarget> lastTarget_;
  std::int64_t confirmed_ = 0, blocks_ = 0;
  std::string CutShortReason() const;
};

}  // namespace kvm::station
