// The set of plugged-in simulated devices and the notice raised whenever it
// changes. Held by the platform; handles keep a weak reference so that a
// device can unplug itself in the middle of a write.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "hid/platform/NoticeWake.h"
#include "hid/platform/sim/SimDevice.h"

namespace kvm::hid::platform {

class TSimBus {
 public:
  TSimBus() = default;
  TSimBus(const TSimBus&) = delete;
  TSimBus& operator=(const TSimBus&) = delete;

  std::uint64_t Plug(TSimDeviceInfo info, TDeviceResponder responder);
  bool Unplug(std::uint64_t id);
  // Plugged-in devices, in plug order.
  std::vector<std::shared_ptr<TSimDevice>> Present() const;
  std::shared_ptr<TSimDevice> FindPresent(const std::string& path) const;
  // A plugged-in device, or one of the last KeptUnplugged unplugged ones.
  std::shared_ptr<TSimDevice> Find(std::uint64_t id) const;
  // Unplugged devices stay findable for a while (tests ask them about the
  // handles left open); older ones are let go, so that a long run of plugs
  // does not grow. Handles keep their own device alive.
  static constexpr std::size_t KeptUnplugged = 16;

  // -1 where notices are announced through the wake function (Windows).
  int NoticeFd() const { return notices_.Fd(); }
  int DrainNotices() { return notices_.Drain(); }
  void RaiseNotice() { notices_.Raise(); }
  void SetNoticeWake(std::function<void()> wake) { notices_.SetWake(std::move(wake)); }

 private:
  mutable std::mutex mutex_;
  std::uint64_t nextId_ = 1;
  std::map<std::uint64_t, std::shared_ptr<TSimDevice>> devices_;  // by id, so in plug order
  std::deque<std::uint64_t> unplugged_;                           // oldest first
  TNoticeWake notices_;
};

}  // namespace kvm::hid::platform
