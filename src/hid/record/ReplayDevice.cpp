#include "hid/record/ReplayDevice.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

namespace kvm::hid::record {

using platform::TReadStatus;

TReplayDevice::TReplayDevice(std::uint32_t index, TRecordedDevice recorded, bool fast)
    : index_(index), recorded_(std::move(recorded)), fast_(fast), goneError_(ENODEV) {
  for (const TRecordedEvent& event : recorded_.Events)
    if (event.Kind == TEventKind::Write) ++recordedWrites_;
  // What the device did before the first write plays from the start, timed
  // from its first event.
  std::lock_guard lock(mutex_);
  const std::int64_t firstUs = recorded_.Events.empty() ? 0 : recorded_.Events.front().TimeUs;
  ScheduleUntilWriteLocked(TClock::now(), firstUs);
}

bool TReplayDevice::IsPresent() const {
  std::lock_guard lock(mutex_);
  return !goneAt_ || TClock::now() < *goneAt_;
}

std::optional<TReplayDevice::TClock::time_point> TReplayDevice::GoneAt() const {
  std::lock_guard lock(mutex_);
  return goneAt_;
}

void TReplayDevice::GoAwayLocked(TClock::time_point at, std::uint32_t error) {
  if (goneAt_ && *goneAt_ <= at) return;
  goneAt_ = at;
  goneError_ = error;
}

void TReplayDevice::ScheduleUntilWriteLocked(TClock::time_point now, std::int64_t baseUs) {
  for (; next_ < recorded_.Events.size(); ++next_) {
    const TRecordedEvent& event = recorded_.Events[next_];
    if (event.Kind == TEventKind::Write) break;
    const auto delay = std::chrono::microseconds(fast_ ? 0 : std::max<std::int64_t>(0, event.TimeUs - baseUs));
    TClock::time_point at = now + delay;
    switch (event.Kind) {
      case TEventKind::Read:
        if (event.Status == TReadStatus::Gone) {
          // After the utility's own cancel, an ended read is not the device's doing.
          if (next_ > 0 && recorded_.Events[next_ - 1].Kind == TEventKind::Cancel) break;
          GoAwayLocked(at, event.Error);
        } else {
          // Reports leave in the order they came.
          if (!queue_.empty()) at = std::max(at, queue_.back().ReadyAt);
          queue_.push_back({at, event.Status, event.Bytes, event.Error});
        }
        break;
      case TEventKind::Unplug: GoAwayLocked(at, ENODEV); break;
      case TEventKind::Cancel:  // the utility's own doing, not the device's
      case TEventKind::Write: break;
    }
  }
  readable_.notify_all();
}

bool TReplayDevice::Write(const std::uint8_t* buffer, std::size_t count, std::size_t& written,
                          std::uint32_t& error) {
  written = 0;
  std::lock_guard lock(mutex_);
  const TClock::time_point now = TClock::now();
  if (!stop_) {
    ++writesMade_;
    const std::vector<std::uint8_t> actual(buffer, buffer + count);
    const TRecordedEvent* expected = next_ < recorded_.Events.size() ? &recorded_.Events[next_] : nullptr;
    if (expected != nullptr && expected->Bytes == actual) {
      ++next_;
      ScheduleUntilWriteLocked(now, expected->TimeUs);
      if (!expected->Ok) {
        error = expected->Error;
        return false;
      }
      written = expected->Written;
      return true;
    }
    stop_ = TReplayStop{index_, writesMade_, expected != nullptr ? expected->Bytes : std::vector<std::uint8_t>{},
                        actual};
    // The session ends as if the device had been pulled out.
    queue_.clear();
    GoAwayLocked(now, ENODEV);
    readable_.notify_all();
  }
  error = ENODEV;
  return false;
}

TReadStatus TReplayDevice::Read(std::uint8_t* buffer, std::size_t capacity, std::size_t& got, int timeoutMs,
                                std::uint32_t& error, const bool& cancelled) {
  got = 0;
  std::unique_lock lock(mutex_);
  const bool waitsForever = timeoutMs < 0;
  const TClock::time_point deadline = TClock::now() + std::chrono::milliseconds(std::max(0, timeoutMs));
  for (;;) {
    if (cancelled) {
      error = ENODEV;
      return TReadStatus::Gone;
    }
    const TClock::time_point now = TClock::now();
    // A report due after the device went away never comes.
    if (!queue_.empty() && queue_.front().ReadyAt <= now && (!goneAt_ || queue_.front().ReadyAt <= *goneAt_)) {
      TScheduled item = std::move(queue_.front());
      queue_.pop_front();
      if (item.Status == TReadStatus::Error) {
        error = item.Error;
        return TReadStatus::Error;
      }
      got = std::min(capacity, item.Bytes.size());
      if (got > 0) std::memcpy(buffer, item.Bytes.data(), got);
      return TReadStatus::Data;
    }
    if (goneAt_ && *goneAt_ <= now) {
      error = goneError_;
      return TReadStatus::Gone;
    }
    if (!waitsForever && now >= deadline) return TReadStatus::Timeout;
    // Wake for whatever falls due first.
    std::optional<TClock::time_point> wakeAt;
    if (!waitsForever) wakeAt = deadline;
    if (!queue_.empty() && (!wakeAt || queue_.front().ReadyAt < *wakeAt)) wakeAt = queue_.front().ReadyAt;
    if (goneAt_ && (!wakeAt || *goneAt_ < *wakeAt)) wakeAt = goneAt_;
    if (wakeAt)
      readable_.wait_until(lock, *wakeAt);
    else
      readable_.wait(lock);
  }
}

void TReplayDevice::WakeReaders() { readable_.notify_all(); }

std::optional<TReplayStop> TReplayDevice::Stop() const {
  std::lock_guard lock(mutex_);
  return stop_;
}

std::size_t TReplayDevice::WritesLeft() const {
  std::lock_guard lock(mutex_);
  std::size_t left = 0;
  for (std::size_t i = next_; i < recorded_.Events.size(); ++i)
    if (recorded_.Events[i].Kind == TEventKind::Write) ++left;
  return left;
}

}  // namespace kvm::hid::record
