#include "hid/platform/sim/SimBus.h"

#include <utility>

namespace kvm::hid::platform {

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

}  // namespace kvm::hid::platform
