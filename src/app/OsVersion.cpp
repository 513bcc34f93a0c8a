#include "app/OsVersion.h"

namespace kvm::app {

std::optional<int> PlatformMajorVersion() { return 0; }

}  // namespace kvm::app
