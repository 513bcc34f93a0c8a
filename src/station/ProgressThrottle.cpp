#include "station/ProgressThrottle.h"

#include <QJsonValue>
#include <algorithm>
#include <cmath>

namespace kvm::station {

namespace {
constexpr std::int64_t FirstBlockImageBytes = 48;
constexpr std::int64_t BlockImageBytes = 56;
}  // namespace

TProgressThrottle::TProgressThrottle(std::int64_t imageLength, std::int64_t blocks, std::int64_t startMs,
                                 std::int64_t intervalMs)
    : imageLength_(imageLength), blocks_(blocks), startMs_(startMs), intervalMs_(intervalMs), lastMs_(startMs) {}

bool TProgressThrottle::Admit(std::int64_t block, std::int64_t nowMs) {
  if (block >= blocks_) {
    if (finalSent_) return false;
    finalSent_ = true;
    lastMs_ = nowMs;
    lastAdmitted_ = block;
    return true;
  }
  if (nowMs - lastMs_ < intervalMs_) return false;
  lastMs_ = nowMs;
  lastAdmitted_ = block;
  return true;
}

std::int64_t TProgressThrottle::ImageBytesThrough(std::int64_t block, std::int64_t imageLength) {
  if (block <= 0) return 0;
  return std::min(imageLength, FirstBlockImageBytes + BlockImageBytes * (block - 1));
}

QJsonObject TProgressThrottle::Figures(std::int64_t block, std::int64_t nowMs) const {
  const std::int64_t done = ImageBytesThrough(block, imageLength_);
  const double seconds = static_cast<double>(std::max<std::int64_t>(nowMs - startMs_, 0)) / 1000.0;
  const double rate = seconds > 0 ? static_cast<double>(done) / seconds : 0.0;
  QJsonObject figures{{"block", static_cast<qint64>(block)},
                      {"blocks", static_cast<qint64>(blocks_)},
                      {"bytes_per_s", static_cast<qint64>(std::llround(rate))}};
  if (rate > 0)
    figures.insert("eta_s", std::round(static_cast<double>(imageLength_ - done) / rate * 10.0) / 10.0);
  else
    figures.insert("eta_s", QJsonValue::Null);
  return figures;
}

}  // namespace kvm::station
