// The Windows version, asked the way the window always has: GetVersionExA
// with the 148-byte version record.
#include <windows.h>

#include "app/OsVersion.h"

namespace kvm::app {

std::optional<int> PlatformMajorVersion() {
  OSVERSIONINFOA info{};
  static_assert(sizeof info == 148, "the version record is 148 bytes");
  info.dwOSVersionInfoSize = sizeof info;
  // Deprecated, and capped by the manifest on newer systems; every answer
  // from Vista (6) on is greater than 5, which is all the window asks.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  const BOOL ok = GetVersionExA(&info);
#pragma GCC diagnostic pop
  if (!ok) return std::nullopt;
  return static_cast<int>(info.dwMajorVersion);
}

}  // namespace kvm::app
