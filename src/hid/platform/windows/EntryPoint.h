// Turns a looked-up address into a typed function pointer.
#pragma once

#include <windows.h>

namespace kvm::hid::platform::windows {

// Through void(*)(void), the one function type that converts to any other
// without a cast-function-type warning.
template <typename Function>
Function EntryPoint(FARPROC address) {
  return reinterpret_cast<Function>(reinterpret_cast<void (*)(void)>(address));
}

}  // namespace kvm::hid::platform::windows
