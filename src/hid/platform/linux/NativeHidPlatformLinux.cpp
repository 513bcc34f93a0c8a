#include "hid/platform/NativeHidPlatform.h"
#include "hid/platform/linux/LinuxHidPlatform.h"

namespace kvm::hid::platform {

std::shared_ptr<THidPlatform> MakeNativeHidPlatform() { return MakeLinuxHidPlatform(); }

}  // namespace kvm::hid::platform
