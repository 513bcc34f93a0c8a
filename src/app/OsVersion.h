// The operating-system version that decides whether the window grows at
// start-up.
#pragma once

#include <functional>
#include <optional>

namespace kvm::app {

// The major version, or nothing when the query fails.
using TOsVersionQuery = std::function<std::optional<int>()>;

// The answer on this platform. Windows 6 and later draw thicker frames that
// eat into a window's fixed outer size, which is what the growth of start-up
// makes up for. On Linux the window manager draws its frame outside the
// client area, which already has the size the controls need, so there is no
// such version to report: the answer is 0 and nothing grows (OsVersion.cpp).
// On Windows it is GetVersionExA's major version (OsVersionWindows.cpp).
std::optional<int> PlatformMajorVersion();

}  // namespace kvm::app
