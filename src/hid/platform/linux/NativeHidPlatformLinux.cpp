#include "hid/platform/NativeHidPlatform.h"
#include "hid/platform/linux/LinuxHidPlatform.h"

namespace kvm::hid::platform {

std::shared_ptr<THidPlatform> MakeNativeHidPlatform() { return MakeLinuxHidPlatform(); }

const char* NativeHidUnreachableText() {
  return "cannot reach the HID devices of this system (udev and hidraw access failed)";
}

}  // namespace kvm::hid::platform
