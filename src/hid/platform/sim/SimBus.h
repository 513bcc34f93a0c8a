// The set of plugged-in simulated devices and the notice raised whenever it
// changes. Held by the platform; handles keep a weak reference so that a
// device can unplug itself in the middle of a write.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "hid/platform/sim/SimDevice.h"

namespace kvm::hid::platform {

class TSimBus {
 public:
  TSimBus();
  ~TSimBus();
  TSimBus(const TSimBus&) = delete;
  TSimBus& operator=(const TSimBus&) = delete;

  std::uint64_t Plug(TSimDeviceInfo info, TDeviceResponder responder);
  bool Unplug(std::uint64_t id);
  // Plugged-in devices, in plug order.
  std::vector<std::shared_ptr<TSimDevice>> Present() const;
  std::shared_ptr<TSimDevice> FindPresent(const std::string& path) const;
  // Any device ever plugged in, also after it was unplugged.
  std::shared_ptr<TSimDevice> Find(std::uint64_t id) const;

  // -1 where notices are announced through the wake function (Windows).
  int NoticeFd() const { return noticeFd_; }
  int DrainNotices();
  void RaiseNotice();
  void SetNoticeWake(std::function<void()> wake);

 private:

  mutable std::mutex mutex_;
  std::uint64_t nextId_ = 1;
  std::map<std::uint64_t, std::shared_ptr<TSimDevice>> devices_;  // by id, so in plug order
  int noticeFd_ = -1;
  std::mutex wakeMutex_;
  std::function<void()> wake_;
  std::atomic<int> pendingNotices_{0};  // where there is no descriptor
};

}  // namespace kvm::hid::platform
