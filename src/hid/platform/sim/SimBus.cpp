#include "hid/platform/sim/SimBus.h"

#ifndef _WIN32
#include <sys/eventfd.h>
#include <unistd.h>
#endif

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <utility>

namespace kvm::hid::platform {

#ifndef _WIN32  // Windows: SimBusNoticesWindows.cpp
TSimBus::TSimBus() : noticeFd_(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {
  if (noticeFd_ < 0) throw std::runtime_error(std::string("eventfd for simulated HID notices: ") + std::strerror(errno));
}

TSimBus::~TSimBus() { close(noticeFd_); }
#endif

std::uint64_t TSimBus::Plug(TSimDeviceInfo info, TDeviceResponder responder) {
  std::uint64_t id;
  {
    std::lock_guard lock(mutex_);
    id = nextId_++;
    devices_.emplace(id, std::make_shared<TSimDevice>(id, std::move(info), std::move(responder)));
  }
  RaiseNotice();
  return id;
}

bool TSimBus::Unplug(std::uint64_t id) {
  std::shared_ptr<TSimDevice> device = Find(id);
  if (!device || !device->Unplug()) return false;
  {
    std::lock_guard lock(mutex_);
    unplugged_.push_back(id);
    while (unplugged_.size() > KeptUnplugged) {
      devices_.erase(unplugged_.front());
      unplugged_.pop_front();
    }
  }
  RaiseNotice();
  return true;
}

std::vector<std::shared_ptr<TSimDevice>> TSimBus::Present() const {
  std::lock_guard lock(mutex_);
  std::vector<std::shared_ptr<TSimDevice>> present;
  for (const auto& [id, device] : devices_)
    if (device->IsPluggedIn()) present.push_back(device);
  return present;
}

std::shared_ptr<TSimDevice> TSimBus::FindPresent(const std::string& path) const {
  for (const auto& device : Present())
    if (device->Path() == path) return device;
  return nullptr;
}

std::shared_ptr<TSimDevice> TSimBus::Find(std::uint64_t id) const {
  std::lock_guard lock(mutex_);
  auto it = devices_.find(id);
  return it == devices_.end() ? nullptr : it->second;
}

void TSimBus::SetNoticeWake(std::function<void()> wake) {
  std::lock_guard lock(wakeMutex_);
  wake_ = std::move(wake);
}

#ifndef _WIN32
void TSimBus::RaiseNotice() {
  const std::uint64_t one = 1;
  // The counter cannot overflow in practice; a failed write would only merge notices.
  [[maybe_unused]] ssize_t n = write(noticeFd_, &one, sizeof one);
}

int TSimBus::DrainNotices() {
  std::uint64_t count = 0;
  if (read(noticeFd_, &count, sizeof count) != sizeof count) return 0;
  return static_cast<int>(count);
}

#endif

}  // namespace kvm::hid::platform
