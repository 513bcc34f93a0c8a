// What a station run shows: the units' lines on standard output, and on a
// terminal one live progress line per running unit on standard error, kept
// below the output. Safe to call from the units' threads.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <string>

#include "cli/ProgressLine.h"

namespace kvm::cli {

class TStationScreen {
 public:
  // `printLines`: false when standard output carries the event stream.
  TStationScreen(bool printLines, int progressFd);
  ~TStationScreen();
  TStationScreen(const TStationScreen&) = delete;
  TStationScreen& operator=(const TStationScreen&) = delete;

  // A line on standard output (flushed at once).
  void PrintLine(const std::string& line);
  // A message on standard error ("kvmflash-cli: " first).
  void PrintError(const std::string& message);
  // The live line of a unit, drawn as "<prefix><progress>".
  void UpdateProgress(const std::string& prefix, const TProgressState& state);
  void RemoveProgress(const std::string& prefix);
  // Takes the live lines off the screen for good (end of the run).
  void HideProgress();

 private:
  void EraseLocked();
  void DrawLocked(bool force);

  std::mutex mutex_;
  const bool printLines_;
  const int fd_;
  const bool active_;
  std::map<std::string, TProgressState> units_;
  int drawnLines_ = 0;
  std::int64_t lastDrawMs_ = 0;
};

}  // namespace kvm::cli
