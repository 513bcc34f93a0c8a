#include "app/station/StationBoard.h"

#include <QJsonArray>
#include <algorithm>
#include <cctype>

#include "station/FirmwareFiles.h"
#include "station/UnitIdentity.h"

namespace kvm::stationwindow {

namespace {

station::TUnitIdentity IdentityOf(const QJsonObject& event) {
  const QJsonObject unit = event["unit"].toObject();
  return {unit["port"].toString().toStdString(), unit["serial"].toString().toStdString(),
          unit["node"].toString().toStdString()};
}

bool TargetOf(const QJsonObject& event, TTarget& target) {
  const QString key = event["target"].toString();
  for (const TTarget candidate : {TTarget::UsbHost, TTarget::Osd})
    if (key == station::TargetKey(candidate)) {
      target = candidate;
      return true;
    }
  return false;
}

// The unit prefix a line starts with ("[1-2 A] "), or empty.
std::string LinePrefix(const std::string& line) {
  if (line.empty() || line[0] != '[') return {};
  const std::size_t end = line.find("] ");
  return end == std::string::npos ? std::string() : line.substr(0, end + 2);
}

}  // namespace

double TTally::UnitsPerHour(std::int64_t nowMs) const {
  const std::int64_t ms = RunMs(nowMs);
  return ms <= 0 ? 0.0 : Finished() * 3600000.0 / static_cast<double>(ms);
}

bool PortBefore(const std::string& left, const std::string& right) {
  std::size_t i = 0, j = 0;
  while (i < left.size() && j < right.size()) {
    if (std::isdigit(static_cast<unsigned char>(left[i])) && std::isdigit(static_cast<unsigned char>(right[j]))) {
      std::size_t ei = i, ej = j;
      while (ei < left.size() && std::isdigit(static_cast<unsigned char>(left[ei]))) ++ei;
      while (ej < right.size() && std::isdigit(static_cast<unsigned char>(right[ej]))) ++ej;
      const std::string a = left.substr(i, ei - i), b = right.substr(j, ej - j);
      if (a.size() != b.size()) return a.size() < b.size();
      if (a != b) return a < b;
      i = ei;
      j = ej;
    } else {
      if (left[i] != right[j]) return left[i] < right[j];
      ++i;
      ++j;
    }
  }
  return left.size() - i < right.size() - j;
}

void TStationBoard::Start(std::vector<TTarget> targets, std::int64_t nowMs) {
  targets_ = std::move(targets);
  tiles_.clear();
  tally_ = TTally{};
  tally_.StartMs = nowMs;
  log_.clear();
  logDropped_ = 0;
  logUnits_.clear();
  running_ = true;
  exitCode_ = 0;
}

TTile* TStationBoard::Find(const std::string& key) {
  const auto found = std::find_if(tiles_.begin(), tiles_.end(), [&](const TTile& tile) { return tile.Key == key; });
  return found == tiles_.end() ? nullptr : &*found;
}

void TStationBoard::Erase(const std::string& key) {
  tiles_.erase(std::remove_if(tiles_.begin(), tiles_.end(), [&](const TTile& tile) { return tile.Key == key; }),
               tiles_.end());
}

void TStationBoard::AddLog(std::string unit, std::string text, bool error) {
  if (!unit.empty() && std::find(logUnits_.begin(), logUnits_.end(), unit) == logUnits_.end())
    logUnits_.push_back(unit);
  log_.push_back({std::move(unit), std::move(text), error});
  if (log_.size() > MaxLogEntries) {
    const std::size_t drop = MaxLogEntries / 10;
    log_.erase(log_.begin(), log_.begin() + static_cast<std::ptrdiff_t>(drop));
    logDropped_ += drop;
  }
}

void TStationBoard::Apply(TFeedBatch batch, std::int64_t nowMs) {
  for (TFeedItem& item : batch.Items) {
    switch (item.Kind) {
      case TFeedItem::TKind::Event:
        ApplyEvent(item.Event, nowMs);
        break;
      case TFeedItem::TKind::Line: {
        std::string unit = LinePrefix(item.Text);
        AddLog(std::move(unit), std::move(item.Text), false);
        break;
      }
      case TFeedItem::TKind::Error:
        AddLog({}, std::move(item.Text), true);
        break;
      case TFeedItem::TKind::RunEnded:
        running_ = false;
        exitCode_ = item.ExitCode;
        tally_.EndMs = nowMs;
        break;
    }
  }
  for (const auto& [key, progress] : batch.Progress) {
    TTile* tile = Find(key);
    if (tile == nullptr || tile->Finished) continue;
    tile->Position = progress.Position;
    tile->Maximum = progress.Maximum;
    if (!progress.Status.empty()) tile->Status = progress.Status;
  }
}

void TStationBoard::ApplyEvent(const QJsonObject& event, std::int64_t nowMs) {
  const QString name = event["event"].toString();
  if (!event.contains("unit")) return;
  const station::TUnitIdentity identity = IdentityOf(event);
  const std::string key = identity.Prefix();
  if (name == "unit-arrived") {
    // A unit that was unplugged while it ran keeps its tile (and its result)
    // until another takes its port.
    tiles_.erase(std::remove_if(tiles_.begin(), tiles_.end(),
                                [&](const TTile& tile) { return tile.Port == identity.Port || tile.Key == key; }),
                 tiles_.end());
    TTile tile;
    tile.Key = key;
    tile.Port = identity.Port;
    tile.Serial = identity.Serial;
    for (const TTarget target : targets_) tile.Lamps[target] = TLamp::Gray;
    tile.StartMs = nowMs;
    const auto place = std::find_if(tiles_.begin(), tiles_.end(),
                                    [&](const TTile& other) { return PortBefore(tile.Port, other.Port); });
    tiles_.insert(place, std::move(tile));
    return;
  }
  TTile* tile = Find(key);
  if (tile == nullptr) return;
  TTarget target{};
  if (name == "log") {
    if (tile->Finished) return;
    const QString text = event["text"].toString();
    if (!text.isEmpty() && !event["colour"].isNull()) tile->Status = text.toStdString();
  } else if (name == "job-started" && TargetOf(event, target)) {
    tile->Lamps[target] = TLamp::Yellow;
    tile->Position = 0;
  } else if (name == "job-finished" && TargetOf(event, target)) {
    tile->Lamps[target] = event["result"].toInt(-1) == 0 ? TLamp::Green : TLamp::Red;
  } else if (name == "unit-finished") {
    tile->Finished = true;
    tile->EndMs = nowMs;
    const bool ok = event["ok"].toBool();
    ++(ok ? tally_.Programmed : tally_.Failed);
    tile->Colour = ok ? Blue : Red;
    tile->Status = ok ? "Program OK" : event["reason"].toString().toStdString();
    if (!ok && tile->Status.empty()) tile->Status = "Program Fail";
    if (!tile->Present && ok) Erase(key);
  } else if (name == "unit-removed") {
    tile->Present = false;
    if (tile->Finished) Erase(key);
  }
}

}  // namespace kvm::stationwindow
