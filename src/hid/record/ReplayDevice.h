// One recorded device played back. Each output report written is compared
// with the next recorded write; when they match, the write gets the recorded
// result and what the device did until its next recorded write (input
// reports, failed reads, going away) is scheduled with the recorded spacing
// counted from this write, or at once when fast. The first write that differs
// stops the replay: the device goes away and the difference is kept.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "hid/platform/HidPlatform.h"
#include "hid/record/Recording.h"

namespace kvm::hid::record {

// Where a replay left the recording.
struct TReplayStop {
  std::uint32_t Device = 0;
  std::size_t WriteNumber = 0;  // 1 = the first write of the device
  std::vector<std::uint8_t> Expected;  // empty when the recording had no more writes
  std::vector<std::uint8_t> Actual;
};

class TReplayDevice {
 public:
  using TClock = std::chrono::steady_clock;

  TReplayDevice(std::uint32_t index, TRecordedDevice recorded, bool fast);

  std::uint32_t Index() const { return index_; }
  const TRecordedIdentity& Identity() const { return recorded_.Identity; }
  bool IsPresent() const;
  // When the device goes away, if that is scheduled (or has happened).
  std::optional<TClock::time_point> GoneAt() const;

  // `written`/`error` as recorded; false with ENODEV once the replay stopped.
  bool Write(const std::uint8_t* buffer, std::size_t count, std::size_t& written, std::uint32_t& error);
  platform::TReadStatus Read(std::uint8_t* buffer, std::size_t capacity, std::size_t& got, int timeoutMs,
                             std::uint32_t& error, const bool& cancelled);
  // Wakes the reads, whose handle's `cancelled` flag is guarded by Mutex().
  void WakeReaders();
  std::mutex& Mutex() { return mutex_; }

  std::optional<TReplayStop> Stop() const;
  // Recorded writes not made (0 when the session made them all).
  std::size_t WritesLeft() const;
  std::size_t RecordedWrites() const { return recordedWrites_; }

 private:
  struct TScheduled {
    TClock::time_point ReadyAt;
    platform::TReadStatus Status = platform::TReadStatus::Data;
    std::vector<std::uint8_t> Bytes;
    std::uint32_t Error = 0;
  };
  // Schedules the events from `next_` up to the next write, timed from `base`.
  void ScheduleUntilWriteLocked(TClock::time_point now, std::int64_t baseUs);
  void GoAwayLocked(TClock::time_point at, std::uint32_t error);

  const std::uint32_t index_;
  const TRecordedDevice recorded_;
  const bool fast_;
  std::size_t recordedWrites_ = 0;

  mutable std::mutex mutex_;
  std::condition_variable readable_;
  std::size_t next_ = 0;  // the next recorded event not yet played
  std::size_t writesMade_ = 0;
  std::deque<TScheduled> queue_;
  std::optional<TClock::time_point> goneAt_;
  std::uint32_t goneError_;  // ENODEV, unless the recording says otherwise
  std::optional<TReplayStop> stop_;
};

}  // namespace kvm::hid::record
