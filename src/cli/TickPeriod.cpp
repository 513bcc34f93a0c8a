#include "cli/TickPeriod.h"

#include <cstdlib>
#include <string>

#include "cli/CommandSupport.h"

namespace kvm::cli {

namespace {
constexpr int DefaultTickMs = 1000;
constexpr const char* TickVariable = "KVMFLASH_TICK_MS";
}  // namespace

int TickPeriodMs() {
  const char* text = std::getenv(TickVariable);
  if (text == nullptr || *text == '\0') return DefaultTickMs;
  char* end = nullptr;
  const long value = std::strtol(text, &end, 10);
  if (*end != '\0' || value < 1 || value > DefaultTickMs) {
    PrintError(std::string("ignoring ") + TickVariable + "=" + text + " (must be 1.." +
               std::to_string(DefaultTickMs) + ")");
    return DefaultTickMs;
  }
  return static_cast<int>(value);
}

}  // namespace kvm::cli
