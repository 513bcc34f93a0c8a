#include "hid/platform/NativeHidPlatform.h"
#include "hid/platform/windows/WindowsHidPlatform.h"

namespace kvm::hid::platform {

std::shared_ptr<THidPlatform> MakeNativeHidPlatform() { return std::make_shared<windows::TWindowsHidPlatform>(); }

}  // namespace kvm::hid::platform
