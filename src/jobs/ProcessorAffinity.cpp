#include "jobs/ProcessorAffinity.h"

#include <atomic>

#if defined(__linux__)
#include <sched.h>
#endif

namespace kvm::jobs {

int KeepOnNextProcessor() {
#if defined(__linux__)
  cpu_set_t allowed;
  CPU_ZERO(&allowed);
  if (sched_getaffinity(0, sizeof allowed, &allowed) != 0) return -1;
  const int count = CPU_COUNT(&allowed);
  if (count < 2) return -1;
  static std::atomic<unsigned> next{0};
  int skip = static_cast<int>(next++ % static_cast<unsigned>(count));
  for (int processor = 0; processor < CPU_SETSIZE; ++processor) {
    if (!CPU_ISSET(processor, &allowed) || skip-- > 0) continue;
    cpu_set_t one;
    CPU_ZERO(&one);
    CPU_SET(processor, &one);
    return sched_setaffinity(0, sizeof one, &one) == 0 ? processor : -1;
  }
#endif
  return -1;
}

}  // namespace kvm::jobs
