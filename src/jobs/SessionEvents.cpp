#include "jobs/SessionEvents.h"

namespace kvm::jobs {

void TEventSink::EmitStatus() const {
  TSessionEvent event;
  event.Kind = TSessionEventKind::Status;
  event.Text = text_;
  event.Colour = colour_;
  Emit(std::move(event));
}

void TEventSink::ShowStatus(const std::string& text) {
  text_ = text;
  EmitStatus();
}

void TEventSink::ShowStatus(const std::string& text, TColour colour) {
  text_ = text;
  colour_ = colour;
  EmitStatus();
}

void TEventSink::SetStatusColour(TColour colour) {
  if (colour == colour_) return;
  colour_ = colour;
  EmitStatus();
}

void TEventSink::ReportStatus(const std::string& text, TColour colour) {
  ShowStatus(text, colour);
  LogLine(text);
}

void TEventSink::LogLine(const std::string& text) {
  TSessionEvent event;
  event.Kind = TSessionEventKind::LogLine;
  event.Text = text;
  event.Colour = colour_;
  Emit(std::move(event));
}

void TEventSink::LogBlank() { LogLine(""); }

void TEventSink::ShowActivity(const std::string& text) {
  TSessionEvent event;
  event.Kind = TSessionEventKind::Activity;
  event.Text = text;
  Emit(std::move(event));
}

void TEventSink::SetProgress(int position, int maximum) {
  position_ = position;
  maximum_ = maximum;
  TSessionEvent event;
  event.Kind = TSessionEventKind::Progress;
  event.Position = position_;
  event.Maximum = maximum_;
  Emit(std::move(event));
}

void TEventSink::StepProgress() { SetProgress(position_ + 1, maximum_); }

void TEventSink::ReportRetry(const std::string& text) {
  TSessionEvent event;
  event.Kind = TSessionEventKind::Retry;
  event.Text = text;
  Emit(std::move(event));
  ReportStatus(text, Red);
}

void TEventSink::NoteResend(const std::string& text) {
  TSessionEvent event;
  event.Kind = TSessionEventKind::Retry;
  event.Text = text;
  Emit(std::move(event));
}

void TEventSink::JobStarted(TTarget target, const std::string& file) {
  TSessionEvent event;
  event.Kind = TSessionEventKind::JobStarted;
  event.Target = target;
  event.Text = file;
  Emit(std::move(event));
}

void TEventSink::JobEnded(TTarget target, std::int32_t result, const std::string& lastStatus) {
  TSessionEvent event;
  event.Kind = TSessionEventKind::JobEnded;
  event.Target = target;
  event.Result = result;
  event.Text = lastStatus;
  Emit(std::move(event));
}

}  // namespace kvm::jobs
