#include "station/UnitRecorder.h"

#include <QJsonValue>
#include <chrono>
#include <cmath>

#include "station/EventStream.h"
#include "station/TraceLog.h"

namespace kvm::station {

namespace {
// What the link logs when the programmer's connection changes during a job,
// which breaks it.
constexpr const char* ConnectionChangedText = "Connection is changed !";
}  // namespace

std::int64_t SteadyMilliseconds() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

QJsonValue ColourName(std::optional<TColour> colour) {
  if (colour == Green) return "green";
  if (colour == Blue) return "blue";
  if (colour == Red) return "red";
  return QJsonValue::Null;
}

TUnitRecorder::TUnitRecorder(TUnitIdentity identity, const std::vector<TFirmwareFile>& files, TEventStream& events,
                             TTraceLog& log, TLinePrinter printLine, TMillisecondClock clock)
    : identity_(std::move(identity)),
      files_(files),
      events_(events),
      log_(log),
      printLine_(std::move(printLine)),
      clock_(clock ? std::move(clock) : TMillisecondClock(SteadyMilliseconds)),
      arrivedMs_(clock_()) {}

QJsonObject TUnitRecorder::UnitJson() const {
  QJsonObject unit = identity_.Json();
  unit.insert("arrival", arrival_);
  return unit;
}

QJsonObject TUnitRecorder::Fields(QJsonObject fields) const {
  fields.insert("unit", UnitJson());
  return fields;
}

double TUnitRecorder::SecondsSince(std::int64_t startMs) const {
  return std::round(static_cast<double>(clock_() - startMs)) / 1000.0;
}

void TUnitRecorder::Arrived() { events_.Emit("unit-arrived", UnitFields()); }
void TUnitRecorder::Connected() { events_.Emit("unit-connected", UnitFields()); }
void TUnitRecorder::Removed() {
  removed_ = true;
  events_.Emit("unit-removed", UnitFields());
}

std::string TUnitRecorder::CutShortReason() const {
  const std::string cause = removed_ ? "the programmer was unplugged" : "the run was interrupted";
  if (!lastTarget_) return cause + " before it was programmed";
  return cause + " during the " + TargetKey(*lastTarget_).toStdString() + " job, " + std::to_string(confirmed_) +
         " of " + std::to_string(blocks_) + " blocks confirmed";
}

void TUnitRecorder::LogLine(const std::string& text, std::optional<TColour> colour) {
  if (text == ConnectionChangedText) broken_ = true;
  if (printLine_) printLine_(identity_.Prefix() + text);
  events_.Emit("log", Fields({{"text", QString::fromStdString(text)}, {"colour", ColourName(colour)}}));
}

void TUnitRecorder::JobStarted(TTarget target) {
  currentTarget_ = target;
  lastTarget_ = target;
  jobStartMs_ = clock_();
  lastStatus_.clear();
  const TFirmwareFile* file = FileFor(files_, target);
  const std::int64_t length = file ? file->ImageLength : 0;
  const std::int64_t blocks = file ? file->Blocks : 0;
  progress_.emplace(length, blocks, jobStartMs_);
  confirmed_ = 0;
  blocks_ = blocks;
  events_.Emit("job-started", Fields({{"target", TargetKey(target)},
                                      {"path", file ? QString::fromStdString(file->Path) : QString()},
                                      {"sha256", file ? file->Sha256 : QString()},
                                      {"blocks", static_cast<qint64>(blocks)}}));
}

void TUnitRecorder::Progress(std::int64_t block, std::int64_t blocks) {
  if (!currentTarget_) return;
  const std::int64_t now = clock_();
  confirmed_ = block;
  blocks_ = blocks;
  if (!progress_ || progress_->Blocks() != blocks) {
    // The job knows the blocks of the file it really opened; follow it.
    const TFirmwareFile* file = FileFor(files_, *currentTarget_);
    progress_.emplace(file ? file->ImageLength : 0, blocks, jobStartMs_);
  }
  if (!progress_->Admit(block, now)) return;
  QJsonObject fields = progress_->Figures(block, now);
  fields.insert("target", TargetKey(*currentTarget_));
  events_.Emit("progress", Fields(fields));
}

void TUnitRecorder::Retry(std::int64_t block, int attempt, const std::string& reason) {
  // After a break (the programmer's removal, an interrupt) no report is
  // written any more: the job's remaining attempts are no resends.
  if (removed_ || interrupted_ || broken_) return;
  events_.Emit("retry", Fields({{"target", currentTarget_ ? TargetKey(*currentTarget_) : QString()},
                                {"block", static_cast<qint64>(block)},
                                {"attempt", attempt},
                                {"reason", QString::fromStdString(reason)}}));
}

void TUnitRecorder::JobFinished(TTarget target, std::int32_t result, const std::string& message) {
  // A job cut short tells the blocks it had confirmed, however soon after the
  // last progress event it ended.
  if (progress_ && currentTarget_ && confirmed_ > progress_->LastAdmitted()) {
    QJsonObject fields = progress_->Figures(confirmed_, clock_());
    fields.insert("target", TargetKey(*currentTarget_));
    events_.Emit("progress", Fields(fields));
  }
  const std::string text = message.empty() ? lastStatus_ : message;
  results_[target] = result;
  messages_[target] = text;
  events_.Emit("job-finished", Fields({{"target", TargetKey(target)},
                                       {"result", result},
                                       {"message", QString::fromStdString(text)},
                                       {"duration_s", SecondsSince(jobStartMs_)}}));
  currentTarget_.reset();
  progress_.reset();
}

bool TUnitRecorder::Finish(const std::string& reason, std::string& recordError) {
  if (finished_) return ok_;
  finished_ = true;
  // Every file given must have been programmed: a target skipped after a
  // break, or never reached because the unit left, is a failure.
  ok_ = reason.empty();
  for (const TFirmwareFile& file : files_) {
    const auto result = results_.find(file.Target);
    if (result == results_.end() || result->second != 0) ok_ = false;
  }
  QJsonObject results, messages;
  for (const auto& [target, result] : results_) results.insert(TargetKey(target), result);
  for (const auto& [target, message] : messages_) messages.insert(TargetKey(target), QString::fromStdString(message));
  std::string why = reason;
  // A unit that was being programmed when it left or the run was interrupted
  // failed for that reason, whatever its job said last.
  if (!ok_ && why.empty() && (removed_ || interrupted_) && lastTarget_) {
    const auto result = results_.find(*lastTarget_);
    if (result == results_.end() || result->second != 0) why = CutShortReason();
  }
  if (!ok_ && why.empty()) {
    for (const TFirmwareFile& file : files_) {
      const auto result = results_.find(file.Target);
      if (result == results_.end()) {
        why = TargetKey(file.Target).toStdString() + " did not run";
      } else if (result->second != 0) {
        why = messages_[file.Target];
      } else {
        continue;
      }
      break;
    }
  }
  const QJsonObject finished{{"ok", ok_}, {"results", results}, {"duration_s", SecondsSince(arrivedMs_)}};

  QJsonObject record = Fields(finished);
  record.insert("messages", messages);
  record.insert("reason", ok_ ? QJsonValue(QJsonValue::Null) : QJsonValue(QString::fromStdString(why)));
  record.insert("files", FilesJson(files_));
  if (!recipe_.isEmpty()) record.insert("recipe", recipe_);
  // A record that cannot be written is the caller's to report; the unit's
  // own result stands.
  log_.Append(record, recordError);
  QJsonObject event = Fields(finished);
  event.insert("reason", record["reason"]);
  if (!recordError.empty()) event.insert("record_lost", QString::fromStdString(recordError));
  events_.Emit("unit-finished", event);
  return ok_;
}

}  // namespace kvm::station
