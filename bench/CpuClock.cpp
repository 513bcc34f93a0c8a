#include "CpuClock.h"

#include <sys/resource.h>
#include <time.h>

namespace kvm::bench {

namespace {
double Seconds(clockid_t clock) {
  timespec now{};
  clock_gettime(clock, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}
}  // namespace

double WallSeconds() { return Seconds(CLOCK_MONOTONIC); }
double ProcessCpuSeconds() { return Seconds(CLOCK_PROCESS_CPUTIME_ID); }

long ProcessContextSwitches() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_nvcsw + usage.ru_nivcsw;
}

TCpuShare::TCpuShare() : wall0_(WallSeconds()), cpu0_(ProcessCpuSeconds()) {}

double TCpuShare::Elapsed() const { return WallSeconds() - wall0_; }

double TCpuShare::Fraction() const {
  const double wall = Elapsed();
  return wall > 0 ? (ProcessCpuSeconds() - cpu0_) / wall : 0.0;
}

}  // namespace kvm::bench
