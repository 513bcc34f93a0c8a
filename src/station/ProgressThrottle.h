// The figures of a "progress" event and how often one goes out: at most one
// per interval per job, and always the one that confirms the last block.
#pragma once

#include <QJsonObject>
#include <cstdint>

namespace kvm::station {

class TProgressThrottle {
 public:
  static constexpr std::int64_t DefaultIntervalMs = 250;

  // A job of `blocks` blocks over an image of `imageLength` bytes, started at
  // `startMs` (any steady millisecond clock).
  TProgressThrottle(std::int64_t imageLength, std::int64_t blocks, std::int64_t startMs,
                  std::int64_t intervalMs = DefaultIntervalMs);

  // Whether `block` confirmed blocks at `nowMs` deserve an event; the last
  // block always does, once.
  bool Admit(std::int64_t block, std::int64_t nowMs);
  // {"block", "blocks", "bytes_per_s", "eta_s"} (eta_s null while no rate is known).
  QJsonObject Figures(std::int64_t block, std::int64_t nowMs) const;

  // Image bytes carried by the first `block` blocks (block 0 carries 48).
  std::int64_t Blocks() const { return blocks_; }
  // The confirmed blocks the last admitted event told (-1: none yet).
  std::int64_t LastAdmitted() const { return lastAdmitted_; }

  static std::int64_t ImageBytesThrough(std::int64_t block, std::int64_t imageLength);

 private:
  std::int64_t imageLength_;
  std::int64_t blocks_;
  std::int64_t startMs_;
  std::int64_t intervalMs_;
  std::int64_t lastMs_;
  bool finalSent_ = false;
  std::int64_t lastAdmitted_ = -1;
};

}  // namespace kvm::station
