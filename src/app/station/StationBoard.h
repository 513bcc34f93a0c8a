// What the station window shows, kept apart from the widgets that draw it:
// a tile per unit in port order, the tally and the log, brought up to date
// from the run's feed. The window's thread only.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "core/JobView.h"
#include "core/StatusSink.h"
#include "app/station/StationFeed.h"

namespace kvm::stationwindow {

// The main window's lamp pictures: not run, running (the yellow ball), succeeded, failed.
enum class TLamp { Gray, Yellow, Green, Red };

struct TTile {
  std::string Key;  // the unit's prefix "[PORT SERIAL] "
  std::string Port, Serial;
  std::map<TTarget, TLamp> Lamps;
  int Position = 0, Maximum = 0;
  std::string Status;
  TColour Colour = Green;  // green while it runs, blue "Program OK", red with the reason
  bool Finished = false;
  bool Present = true;
  std::int64_t StartMs = 0, EndMs = 0;

  std::int64_t ElapsedMs(std::int64_t nowMs) const { return (Finished ? EndMs : nowMs) - StartMs; }
};

struct TTally {
  int Programmed = 0, Failed = 0;
  std::int64_t StartMs = 0, EndMs = 0;  // of the run; EndMs 0 while it runs

  int Finished() const { return Programmed + Failed; }
  // Percent of finished units programmed; 0 with none finished.
  double Yield() const { return Finished() == 0 ? 0.0 : 100.0 * Programmed / Finished(); }
  std::int64_t RunMs(std::int64_t nowMs) const { return (EndMs != 0 ? EndMs : nowMs) - StartMs; }
  // Finished units per hour of the run so far.
  double UnitsPerHour(std::int64_t nowMs) const;
};

struct TLogEntry {
  std::string Unit;  // a unit's prefix, or empty for the station's own messages
  std::string Text;  // as shown: the unit's lines keep their prefix
  bool Error = false;
};

// "1-2" before "1-10", "1-2" before "1-2.1".
bool PortBefore(const std::string& left, const std::string& right);

class TStationBoard {
 public:
  // A new run over these targets: tiles, tally and log start empty.
  void Start(std::vector<TTarget> targets, std::int64_t nowMs);
  void Apply(TFeedBatch batch, std::int64_t nowMs);

  // In port order.
  const std::vector<TTile>& Tiles() const { return tiles_; }
  const TTally& Tally() const { return tally_; }
  // The newest log entries; the oldest go once there are MaxLogEntries, so a
  // station left running for days keeps its memory.
  static constexpr std::size_t MaxLogEntries = 100000;
  const std::vector<TLogEntry>& Log() const { return log_; }
  // How many entries went before Log().front() since Start.
  std::size_t LogDropped() const { return logDropped_; }
  // Every unit the log has lines of, in the order they first spoke.
  const std::vector<std::string>& LogUnits() const { return logUnits_; }
  bool Running() const { return running_; }
  int ExitCode() const { return exitCode_; }

 private:
  void ApplyEvent(const QJsonObject& event, std::int64_t nowMs);
  void AddLog(std::string unit, std::string text, bool error);
  TTile* Find(const std::string& key);
  void Erase(const std::string& key);

  std::vector<TTarget> targets_;
  std::vector<TTile> tiles_;
  TTally tally_;
  std::vector<TLogEntry> log_;
  std::size_t logDropped_ = 0;
  std::vector<std::string> logUnits_;
  bool running_ = false;
  int exitCode_ = 0;
};

}  // namespace kvm::stationwindow
