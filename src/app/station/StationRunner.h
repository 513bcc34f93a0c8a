// Runs a station for the window on a thread of its own, so that the
// window's thread only draws: the set-up (file checks, recipe hashes,
// outputs) and the whole run happen there, and everything they say goes to
// the feed. Stop gives every running unit Break; a second Stop also ends
// their waits for replies, as a second Ctrl-C does on the command line.
#pragma once

#include <QThread>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>

#include "station/StationSetup.h"
#include "app/station/StationFeed.h"

class QObject;

namespace kvm::stationwindow {

class TStationRunner {
 public:
  using TMachineFactory = std::function<station::TStationMachine()>;

  // `machine` is called on the run's thread to give the devices it works on.
  TStationRunner(TStationFeed& feed, TMachineFactory machine);
  // Stops a run that is still going and waits until its records are written.
  ~TStationRunner();
  TStationRunner(const TStationRunner&) = delete;
  TStationRunner& operator=(const TStationRunner&) = delete;

  // False (nothing started) while a run is going. The run's end reaches the
  // feed as RunEnded, after every record is written.
  bool Start(station::TStationPlan plan);
  void Stop();
  // A run was started and its thread has not ended yet.
  bool Running() const;
  // Waits for the run's thread to end, at most `ms` milliseconds.
  bool Wait(int ms);

 private:
  void Run(station::TStationPlan plan);

  TStationFeed& feed_;
  TMachineFactory machine_;
  std::unique_ptr<QThread> thread_;
  mutable std::mutex mutex_;
  QObject* context_ = nullptr;  // lives on the run's thread while the station runs
  station::TStation* station_ = nullptr;
  int stops_ = 0;
};

}  // namespace kvm::stationwindow
