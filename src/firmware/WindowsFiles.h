// What the Windows file code shares: the program's paths are UTF-8, the
// system's wide; and the system's text for an error code.
#pragma once

#include <windows.h>

#include <string>

namespace kvm::firmware::detail {

std::wstring WidePath(const std::string& path);
std::string Utf8(const std::wstring& text);
// FormatMessage from the system table, without the line end.
std::string WindowsErrorText(DWORD error);
// Records "<action> <path>: <system text for error>" and returns result.
int FailWithWindowsError(int result, const std::string& action, const std::string& path, DWORD error);

}  // namespace kvm::firmware::detail
