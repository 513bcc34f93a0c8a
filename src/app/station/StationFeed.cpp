#include "app/station/StationFeed.h"

namespace kvm::stationwindow {

void TStationFeed::Push(TFeedItem item) {
  std::lock_guard lock(mutex_);
  batch_.Items.push_back(std::move(item));
}

void TStationFeed::Progress(const std::string& prefix, const station::TUnitProgress& progress) {
  std::lock_guard lock(mutex_);
  batch_.Progress[prefix] = progress;
}

TFeedBatch TStationFeed::Take() {
  std::lock_guard lock(mutex_);
  TFeedBatch taken;
  std::swap(taken, batch_);
  return taken;
}

}  // namespace kvm::stationwindow
