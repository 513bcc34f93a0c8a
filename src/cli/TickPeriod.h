// The test aid KVMFLASH_TICK_MS: the period in milliseconds of the
// one-second timers (connection countdown, reply time-out, elapsed time).
#pragma once

namespace kvm::cli {

// 1000, or the variable's value (1..1000); an unusable value is reported and ignored.
int TickPeriodMs();

}  // namespace kvm::cli
