#include "hid/platform/NativeHidPlatform.h"
#include "hid/platform/windows/WindowsHidPlatform.h"

namespace kvm::hid::platform {

std::shared_ptr<THidPlatform> MakeNativeHidPlatform() { return std::make_shared<windows::TWindowsHidPlatform>(); }

const char* NativeHidUnreachableText() {
  return "cannot reach the HID devices of this system (SetupAPI and HID.dll could not be bound)";
}

}  // namespace kvm::hid::platform
