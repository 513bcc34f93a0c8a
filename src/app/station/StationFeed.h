// What a station run tells its window, collected from whichever thread says
// it (the station's, the units' sessions) and taken in batches by the
// window's thread, which only draws. A unit's live line is kept as its
// latest state, so a busy unit costs the window one update per batch.
#pragma once

#include <QJsonObject>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "station/UnitEventFeed.h"

namespace kvm::stationwindow {

struct TFeedItem {
  enum class TKind { Event, Line, Error, RunEnded };
  TKind Kind = TKind::Event;
  QJsonObject Event;    // Event
  std::string Text;     // Line ("[PORT SERIAL] text"), Error
  int ExitCode = 0;     // RunEnded
};

struct TFeedBatch {
  std::vector<TFeedItem> Items;                          // in the order they were told
  std::map<std::string, station::TUnitProgress> Progress;  // latest live line per unit prefix
};

class TStationFeed {
 public:
  void Event(const QJsonObject& event) { Push({TFeedItem::TKind::Event, event, {}, 0}); }
  void Line(const std::string& line) { Push({TFeedItem::TKind::Line, {}, line, 0}); }
  void Error(const std::string& message) { Push({TFeedItem::TKind::Error, {}, message, 0}); }
  void RunEnded(int exitCode) { Push({TFeedItem::TKind::RunEnded, {}, {}, exitCode}); }
  void Progress(const std::string& prefix, const station::TUnitProgress& progress);

  // Everything told since the last Take.
  TFeedBatch Take();

 private:
  void Push(TFeedItem item);

  std::mutex mutex_;
  TFeedBatch batch_;
};

}  // namespace kvm::stationwindow
