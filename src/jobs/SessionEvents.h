// What one programming session tells its front end, as events: every
// history-log line with its colour, the status text with its colour, the
// programmer's activity, the block progress, each retry and the start and
// end of each target's job. TEventSink turns the status sink into them.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "core/StatusSink.h"

namespace kvm::jobs {

enum class TSessionEventKind {
  Status,      // Text, Colour: the status line changed
  LogLine,     // Text, Colour: a history-log line (empty for a blank line)
  Activity,    // Text: what the programmer is doing ("Programming block [7] ...")
  Progress,    // Position of Maximum blocks
  Retry,       // Text: a block is being resent
  JobStarted,  // Target, Text: the file
  JobEnded,    // Target, Result (0 for "Program OK"), Text: the last status text
};

struct TSessionEvent {
  TSessionEventKind Kind = TSessionEventKind::Status;
  std::string Text;
  TColour Colour;
  int Position = 0;
  int Maximum = 0;
  TTarget Target = TTarget::UsbHost;
  std::int32_t Result = 0;
};

using TSessionEventHandler = std::function<void(const TSessionEvent&)>;

// A status sink without widgets: it keeps the status text and colour that
// the protocol reads back and passes everything on as events. Called on the
// session's thread, and so is the handler.
class TEventSink final : public IStatusSink {
 public:
  explicit TEventSink(TSessionEventHandler handler) : handler_(std::move(handler)) {}

  void ShowStatus(const std::string& text) override;
  void ShowStatus(const std::string& text, TColour colour) override;
  void SetStatusColour(TColour colour) override;
  TColour GetStatusColour() const override { return colour_; }
  std::string GetStatusText() const override { return text_; }
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
  void Emit(TSessionEvent event) const {
    if (handler_) handler_(event);
  }
  void EmitStatus() const;

  TSessionEventHandler handler_;
  std::string text_;
  TColour colour_ = Blue;
  int position_ = 0;
  int maximum_ = 0;
};

}  // namespace kvm::jobs
