// The status and log operations through which every subsystem tells the
// operator what is happening. The main window implements them with widgets;
// a terminal front end or a test can implement them too.
#pragma once

#include <cstdint>
#include <string>

namespace kvm {

struct TColour {
  std::uint8_t R = 0, G = 0, B = 0;
  friend bool operator==(const TColour&, const TColour&) = default;
};

// Work in progress, success, failure.
inline constexpr TColour Green{0, 128, 0};
inline constexpr TColour Blue{0, 0, 255};
inline constexpr TColour Red{255, 0, 0};

class IStatusOps {
 public:
  virtual ~IStatusOps() = default;

  // Status line only (not logged). Without a colour the colour stays.
  virtual void ShowStatus(const std::string& text) = 0;
  virtual void ShowStatus(const std::string& text, TColour colour) = 0;
  virtual void SetStatusColour(TColour colour) = 0;
  virtual TColour GetStatusColour() const = 0;
  virtual std::string GetStatusText() const = 0;

  // A result or failure: colour, status line, panel 1 and a new selected log line.
  virtual void ReportStatus(const std::string& text, TColour colour) = 0;
  virtual void LogLine(const std::string& text) = 0;
  virtual void LogBlank() = 0;

  // Panels of the status bar: 0 time, 1 status, 2 programmer.
  virtual void SetStatusPanel(int index, const std::string& text) = 0;
  virtual std::string GetStatusPanel(int index) const = 0;

  virtual void SetConnectLamp(bool on) = 0;
  virtual void EnableProgramButtons() = 0;
  virtual void DisableProgramButtons() = 0;
  virtual void UpdateProgramButton() = 0;
  virtual void RestoreLayout() = 0;
};

}  // namespace kvm
