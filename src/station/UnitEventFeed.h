// Turns what a programming session reports (its events) into the unit's
// lines, events and live line. Shared by the station's units and by
// `program --events/--log`; used on one thread.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "jobs/SessionEvents.h"
#include "station/UnitRecorder.h"

namespace kvm::station {

// The live line of a running unit.
struct TUnitProgress {
  int Position = 0;
  int Maximum = 0;
  std::int64_t ElapsedMs = 0;
  std::string Status;
};

class TUnitEventFeed {
 public:
  using TProgressCallback = std::function<void(const std::string& prefix, const TUnitProgress&)>;
  TUnitEventFeed(TUnitRecorder& recorder, TProgressCallback progress)
      : recorder_(recorder), progress_(std::move(progress)), prefix_(recorder.Identity().Prefix()) {}

  void Feed(const jobs::TSessionEvent& event);

 private:
  TUnitRecorder& recorder_;
  TProgressCallback progress_;
  // Made once: the live line is told about every status change and block.
  const std::string prefix_;
  TUnitProgress line_;
  std::int64_t jobStartMs_ = 0;
};

// Block number and attempt (3 or 4) of the log's retry text "Retry KVM
// Programmer (k) [block]: #n" (the n-th resend is attempt n + 1); false for
// another text.
bool ParseRetryText(const std::string& text, std::int64_t& block, int& attempt);

// A status sink that passes everything on to `inner` and tells `onEvent`
// about it as session events: a front end of its own (the terminal of
// `program`) that also feeds a unit's events and record.
class TRecordingSink final : public IStatusSink {
 public:
  TRecordingSink(IStatusSink& inner, jobs::TSessionEventHandler onEvent)
      : inner_(inner), events_(std::move(onEvent)) {}

  void ShowStatus(const std::string& text) override;
  void ShowStatus(const std::string& text, TColour colour) override;
  void SetStatusColour(TColour colour) override;
  TColour GetStatusColour() const override { return inner_.GetStatusColour(); }
  std::string GetStatusText() const override { return inner_.GetStatusText(); }
  void ReportStatus(const std::string& text, TColour colour) override;
  void LogLine(const std::string& text) override;
  void LogBlank() override;
  void ShowActivity(const std::string& text) override;
  void SetProgress(int position, int maximum) override;
  void StepProgress() override;
  void ReportRetry(const std::string& text) override;
  void NoteResend(const std::string& text) override;
  void JobStarted(TTarget target, const std::string& file) override;
  void JobEnded(TTarget target, std::int32_t result, const std::string& lastStatus) override;

 private:
  IStatusSink& inner_;
  // Keeps the status text and colour like the window, and makes the events.
  jobs::TEventSink events_;
};

}  // namespace kvm::station
