// Windows paths and error texts: the program's paths are UTF-8, the system's
// wide; and the system's text for an error code. For every Windows caller
// that names files or reports a system error.
#pragma once

#include <windows.h>

#include <string>

namespace kvm::firmware {

std::wstring WidePath(const std::string& path);
std::string Utf8(const std::wstring& text);
// FormatMessage from the system table, without the line end.
std::string WindowsErrorText(DWORD error);

}  // namespace kvm::firmware
