// The HID platform of the system the program is built for: hidraw and libudev
// on Linux, HID.dll and SetupAPI on Windows. The choice is made when building
// (kvm_hid_native in src/hid/platform/CMakeLists.txt).
#pragma once

#include <memory>

#include "hid/platform/HidPlatform.h"

namespace kvm::hid::platform {

std::shared_ptr<THidPlatform> MakeNativeHidPlatform();
// What to say when its devices cannot be reached (the binding failed).
const char* NativeHidUnreachableText();

}  // namespace kvm::hid::platform
