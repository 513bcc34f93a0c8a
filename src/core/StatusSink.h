// The narrow sink through which the protocol, the link and the jobs tell a
// front end what happens on one programmer: the status line and its colour,
// history-log lines, the block progress, retries and the start and end of
// each target's job. The window implements it with widgets; a terminal, an
// event stream or a test implement it without any.
#pragma once

#include <cstdint>
#include <string>

#include "core/Target.h"

namespace kvm {

struct TColour {
  std::uint8_t R = 0, G = 0, B = 0;
  friend bool operator==(const TColour&, const TColour&) = default;
};

// Work in progress, success, failure.
inline constexpr TColour Green{0, 128, 0};
inline constexpr TColour Blue{0, 0, 255};
inline constexpr TColour Red{255, 0, 0};

class IStatusSink {
 public:
  virtual ~IStatusSink() = default;

  // Status line only (not logged). Without a colour the colour stays.
  virtual void ShowStatus(const std::string& text) = 0;
  virtual void ShowStatus(const std::string& text, TColour colour) = 0;
  virtual void SetStatusColour(TColour colour) = 0;
  virtual TColour GetStatusColour() const = 0;
  virtual std::string GetStatusText() const = 0;

  // A result or failure: colour, status line and a new log line.
  virtual void ReportStatus(const std::string& text, TColour colour) = 0;
  // A history-log line; it takes the status line's colour of the moment.
  virtual void LogLine(const std::string& text) = 0;
  virtual void LogBlank() = 0;

  // What the programmer is doing right now ("Programming block [7] ..."),
  // beside the status line (the window's status-bar panel 1).
  virtual void ShowActivity(const std::string& text) = 0;

  // Block progress of the running job: position of maximum blocks.
  virtual void SetProgress(int position, int maximum) = 0;
  virtual void StepProgress() = 0;

  // A block resent after a failure: reported like any failure unless the
  // front end wants to tell retries apart.
  virtual void ReportRetry(const std::string& text) { ReportStatus(text, Red); }
  // The first resend of a block goes out without a line; front ends that
  // count every attempt (the event stream) hear of it here, in the words a
  // retry line would have.
  virtual void NoteResend(const std::string& /*text*/) {}

  // One target's job: started with its file, ended with its result (0 for
  // "Program OK") and the status text it ended on.
  virtual void JobStarted(TTarget /*target*/, const std::string& /*file*/) {}
  virtual void JobEnded(TTarget /*target*/, std::int32_t /*result*/, const std::string& /*lastStatus*/) {}
};

}  // namespace kvm
