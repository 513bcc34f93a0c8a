// What a station run shows: the units' lines on standard output, and on a
// terminal the operator's screen on standard error: the firmware files and a
// lasting line per finished unit, below them one live line per running unit
// (its elapsed time moving every second, also while its programmer is
// silent) and the tally, "waiting for programmers" while no unit runs.
// Safe to call from the units' threads.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "cli/ProgressLine.h"

namespace kvm::cli {

class TStationScreen {
 public:
  using TClock = std::function<std::int64_t()>;  // milliseconds of a steady clock
  // `printLines`: false when standard output carries the event stream.
  // `clock` and `tickMs` (how often the live lines are redrawn without news)
  // are for tests.
  TStationScreen(bool printLines, int progressFd, TClock clock = {}, int tickMs = 1000);
  ~TStationScreen();
  TStationScreen(const TStationScreen&) = delete;
  TStationScreen& operator=(const TStationScreen&) = delete;

  // True when the screen is drawn (the progress descriptor is a terminal).
  bool Active() const { return active_; }

  // A line on standard output (flushed at once).
  void PrintLine(const std::string& line);
  // A message on standard error ("kvmflash-cli: " first).
  void PrintError(const std::string& message);
  // Terminal only: lasting lines above the live ones (the firmware files).
  void ShowLines(const std::vector<std::string>& lines);
  // Terminal only: a unit's live line from its arrival, before any progress.
  void UnitArrived(const std::string& prefix);
  // Terminal only: the live line becomes a lasting one ("OK" or the reason)
  // and the tally counts the unit.
  void UnitFinished(const std::string& prefix, bool ok, const std::string& reason);
  // The live line of a unit, drawn as "<prefix><progress>"; its elapsed time
  // counts from its arrival.
  void UpdateProgress(const std::string& prefix, const TProgressState& state);
  void RemoveProgress(const std::string& prefix);
  // Takes the live lines off the screen for good (end of the run); the tally
  // stays when standard output is not the terminal that shows it.
  void HideProgress();

 private:
  struct TUnitLine {
    TProgressState State;
    std::int64_t StartMs = 0;
  };
  void EraseLocked();
  void DrawLocked(bool force);
  std::string TallyLocked() const;
  void Tick();

  std::mutex mutex_;
  const bool printLines_;
  const int fd_;
  const bool active_;
  const TClock clock_;
  const int tickMs_;
  std::map<std::string, TUnitLine> units_;
  int programmed_ = 0, failed_ = 0;
  bool hidden_ = false;
  int drawnLines_ = 0;
  std::int64_t lastDrawMs_ = 0;
  bool stopping_ = false;
  std::condition_variable wake_;
  std::thread ticker_;
};

}  // namespace kvm::cli
