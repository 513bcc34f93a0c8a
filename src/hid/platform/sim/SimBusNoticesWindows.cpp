// Notices of the simulated bus on Windows, which has no eventfd: a counter,
// and the wake function called at every notice.
#include "hid/platform/sim/SimBus.h"

namespace kvm::hid::platform {

TSimBus::TSimBus() = default;

TSimBus::~TSimBus() = default;

void TSimBus::RaiseNotice() {
  pendingNotices_.fetch_add(1);
  std::lock_guard lock(wakeMutex_);
  if (wake_) wake_();
}

int TSimBus::DrainNotices() { return pendingNotices_.exchange(0); }

}  // namespace kvm::hid::platform
