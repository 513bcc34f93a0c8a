#include "station/UnitEventFeed.h"

#include <cstdio>

namespace kvm::station {

bool ParseRetryText(const std::string& text, std::int64_t& block, int& attempt) {
  int kind = 0, resend = 0, consumed = 0;
  long long number = 0;
  if (std::sscanf(text.c_str(), "Retry KVM Programmer (%d) [%lld]: #%d%n", &kind, &number, &resend, &consumed) != 3 ||
      consumed != static_cast<int>(text.size()))
    return false;
  block = number;
  attempt = resend + 1;
  return true;
}

void TUnitEventFeed::Feed(const jobs::TSessionEvent& event) {
  using Kind = jobs::TSessionEventKind;
  const std::int64_t now = SteadyMilliseconds();
  switch (event.Kind) {
    case Kind::LogLine: recorder_.LogLine(event.Text, event.Colour); return;
    case Kind::Status:
      recorder_.Status(event.Text);
      line_.Status = event.Text;
      break;
    case Kind::Activity: return;
    case Kind::Progress:
      recorder_.Progress(event.Position, event.Maximum);
      line_.Position = event.Position;
      line_.Maximum = event.Maximum;
      break;
    case Kind::Retry: {
      std::int64_t block = 0;
      int attempt = 0;
      if (ParseRetryText(event.Text, block, attempt)) recorder_.Retry(block, attempt, event.Text);
      return;
    }
    case Kind::JobStarted:
      recorder_.JobStarted(event.Target);
      jobStartMs_ = now;
      line_ = {};
      break;
    case Kind::JobEnded: recorder_.JobFinished(event.Target, event.Result, event.Text); return;
  }
  line_.ElapsedMs = jobStartMs_ != 0 ? now - jobStartMs_ : 0;
  if (progress_) progress_(prefix_, line_);
}

// The terminal gets every call as it is; the event sink keeps its own copy of
// the status line, which is the same text and colour.
void TRecordingSink::ShowStatus(const std::string& text) {
  inner_.ShowStatus(text);
  events_.ShowStatus(text);
}

void TRecordingSink::ShowStatus(const std::string& text, TColour colour) {
  inner_.ShowStatus(text, colour);
  events_.ShowStatus(text, colour);
}

void TRecordingSink::SetStatusColour(TColour colour) {
  inner_.SetStatusColour(colour);
  events_.SetStatusColour(colour);
}

void TRecordingSink::ReportStatus(const std::string& text, TColour colour) {
  inner_.ReportStatus(text, colour);
  events_.ReportStatus(text, colour);
}

void TRecordingSink::LogLine(const std::string& text) {
  inner_.LogLine(text);
  events_.LogLine(text);
}

void TRecordingSink::LogBlank() {
  inner_.LogBlank();
  events_.LogBlank();
}

void TRecordingSink::ShowActivity(const std::string& text) {
  inner_.ShowActivity(text);
  events_.ShowActivity(text);
}

void TRecordingSink::SetProgress(int position, int maximum) {
  inner_.SetProgress(position, maximum);
  events_.SetProgress(position, maximum);
}

void TRecordingSink::StepProgress() {
  inner_.StepProgress();
  events_.StepProgress();
}

void TRecordingSink::ReportRetry(const std::string& text) {
  inner_.ReportRetry(text);
  events_.ReportRetry(text);
}

void TRecordingSink::NoteResend(const std::string& text) {
  inner_.NoteResend(text);
  events_.NoteResend(text);
}

void TRecordingSink::JobStarted(TTarget target, const std::string& file) {
  inner_.JobStarted(target, file);
  events_.JobStarted(target, file);
}

void TRecordingSink::JobEnded(TTarget target, std::int32_t result, const std::string& lastStatus) {
  inner_.JobEnded(target, result, lastStatus);
  events_.JobEnded(target, result, lastStatus);
}

}  // namespace kvm::station
