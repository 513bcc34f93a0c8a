#include "hid/platform/linux/HidrawBinding.h"

#include "hid/platform/linux/UdevBinding.h"

namespace kvm::hid::platform::linux_hid {

namespace {
bool hidrawLoaded = false;
}

bool LoadHidraw() {
  if (!hidrawLoaded) hidrawLoaded = IsUdevLoaded();
  return hidrawLoaded;
}

void UnloadHidraw() { hidrawLoaded = false; }

bool IsHidrawLoaded() { return hidrawLoaded; }

}  // namespace kvm::hid::platform::linux_hid
