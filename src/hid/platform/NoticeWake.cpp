#include "hid/platform/NoticeWake.h"

#ifndef _WIN32
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>
#endif

#include <utility>

namespace kvm::hid::platform {

#ifndef _WIN32
TNoticeWake::TNoticeWake() : fd_(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {
  if (fd_ < 0) throw std::runtime_error(std::string("eventfd for device-node notices: ") + std::strerror(errno));
}

TNoticeWake::~TNoticeWake() { close(fd_); }

void TNoticeWake::Raise() {
  const std::uint64_t one = 1;
  // The counter cannot overflow in practice; a failed write would only merge notices.
  [[maybe_unused]] ssize_t n = write(fd_, &one, sizeof one);
}

int TNoticeWake::Drain() {
  std::uint64_t count = 0;
  if (read(fd_, &count, sizeof count) != sizeof count) return 0;
  return static_cast<int>(count);
}
#else
TNoticeWake::TNoticeWake() = default;

TNoticeWake::~TNoticeWake() = default;

void TNoticeWake::Raise() {
  pending_.fetch_add(1);
  std::lock_guard lock(wakeMutex_);
  if (wake_) wake_();
}

int TNoticeWake::Drain() { return pending_.exchange(0); }
#endif

void TNoticeWake::SetWake(std::function<void()> wake) {
  std::lock_guard lock(wakeMutex_);
  wake_ = std::move(wake);
}

}  // namespace kvm::hid::platform
