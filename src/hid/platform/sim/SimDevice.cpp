#include "hid/platform/sim/SimDevice.h"

#include <algorithm>
#include <cstring>
#include <utility>

#ifdef __linux__
#include <sys/eventfd.h>
#include <unistd.h>
#endif

namespace kvm::hid::platform {

TSimDevice::TSimDevice(std::uint64_t id, TSimDeviceInfo info, TDeviceResponder responder)
    : id_(id), info_(std::move(info)), responder_(std::move(responder)) {}

TSimDevice::~TSimDevice() {
#ifdef __linux__
  if (readyFd_ >= 0) ::close(readyFd_);
#endif
}

int TSimDevice::ReadyFd() {
  std::lock_guard lock(mutex_);
#ifdef __linux__
  if (readyFd_ < 0) {
    readyFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    readySignalled_ = false;
    UpdateReadyLocked();
  }
#endif
  return readyFd_;
}

void TSimDevice::UpdateReadyLocked() {
#ifdef __linux__
  if (readyFd_ < 0) return;
  const bool ready = !queue_.empty() || !pluggedIn_;
  if (ready == readySignalled_) return;
  std::uint64_t value = 1;
  const ssize_t done = ready ? ::write(readyFd_, &value, sizeof value) : ::read(readyFd_, &value, sizeof value);
  if (done == static_cast<ssize_t>(sizeof value)) readySignalled_ = ready;
#endif
}

std::string TSimDevice::Path() const { return "sim://hid/" + std::to_string(id_); }

std::string TSimDevice::PortPath() const {
  return info_.PortPath.empty() ? "sim-" + std::to_string(id_) : info_.PortPath;
}

bool TSimDevice::IsPluggedIn() const {
  std::lock_guard lock(mutex_);
  return pluggedIn_;
}

bool TSimDevice::Unplug() {
  {
    std::lock_guard lock(mutex_);
    if (!pluggedIn_) return false;
    pluggedIn_ = false;
    queue_.clear();
    UpdateReadyLocked();
  }
  readable_.notify_all();
  return true;
}

bool TSimDevice::EnqueueLocked(std::vector<std::uint8_t> report, TClock::time_point readyAt) {
  if (!pluggedIn_) return false;
  if (queue_.size() >= MaxQueuedReports) {
    ++dropped_;
    return false;
  }
  // Reports leave in the order they were queued.
  if (!queue_.empty()) readyAt = std::max(readyAt, queue_.back().ReadyAt);
  queue_.push_back({std::move(report), readyAt});
  UpdateReadyLocked();
  return true;
}

bool TSimDevice::Enqueue(std::vector<std::uint8_t> report, TClock::time_point readyAt) {
  bool queued;
  {
    std::lock_guard lock(mutex_);
    queued = EnqueueLocked(std::move(report), readyAt);
  }
  if (queued) readable_.notify_all();
  return queued;
}

void TSimDevice::EnqueueReplies(const std::vector<TInputReport>& replies) {
  {
    std::lock_guard lock(mutex_);
    TClock::time_point at = TClock::now();
    for (const TInputReport& reply : replies) {
      at += std::chrono::milliseconds(std::max(0, reply.DelayMs));
      EnqueueLocked(reply.Bytes, at);
    }
  }
  readable_.notify_all();
}

TReadStatus TSimDevice::Read(std::uint8_t* buffer, std::size_t capacity, std::size_t& got, int timeoutMs,
                             const bool& cancelled) {
  got = 0;
  std::unique_lock lock(mutex_);
  const bool waitsForever = timeoutMs < 0;
  const TClock::time_point deadline = TClock::now() + std::chrono::milliseconds(std::max(0, timeoutMs));
  for (;;) {
    if (cancelled || !pluggedIn_) return TReadStatus::Gone;
    const TClock::time_point now = TClock::now();
    if (!queue_.empty() && queue_.front().ReadyAt <= now) {
      // One report per read; a short buffer gets the report's start, like hidraw.
      const std::vector<std::uint8_t>& report = queue_.front().Bytes;
      got = std::min(capacity, report.size());
      if (got > 0) std::memcpy(buffer, report.data(), got);
      queue_.pop_front();
      UpdateReadyLocked();
      return TReadStatus::Data;
    }
    if (!waitsForever && now >= deadline) return TReadStatus::Timeout;
    // Wake for the next report that falls due, else at the deadline.
    TClock::time_point wakeAt = deadline;
    if (!queue_.empty() && (waitsForever || queue_.front().ReadyAt < deadline)) wakeAt = queue_.front().ReadyAt;
    if (waitsForever && queue_.empty())
      readable_.wait(lock);
    else
      readable_.wait_until(lock, wakeAt);
  }
}

void TSimDevice::WakeReaders() { readable_.notify_all(); }

void TSimDevice::CountWrite() {
  std::lock_guard lock(mutex_);
  ++written_;
}

std::size_t TSimDevice::WrittenReports() const {
  std::lock_guard lock(mutex_);
  return written_;
}

std::size_t TSimDevice::DroppedReports() const {
  std::lock_guard lock(mutex_);
  return dropped_;
}

std::size_t TSimDevice::QueuedReports() const {
  std::lock_guard lock(mutex_);
  return queue_.size();
}

}  // namespace kvm::hid::platform
