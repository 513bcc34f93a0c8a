// What the Windows file code of this library shares beyond WindowsText.h:
// recording a failed call with the system's text.
#pragma once

#include <windows.h>

#include <string>

#include "firmware/WindowsText.h"

namespace kvm::firmware::detail {

// Records "<action> <path>: <system text for error>" and returns result.
int FailWithWindowsError(int result, const std::string& action, const std::string& path, DWORD error);

}  // namespace kvm::firmware::detail
