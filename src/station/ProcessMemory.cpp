#include "station/ProcessMemory.h"

#include <malloc.h>  // also tells whether this is glibc

namespace kvm::station {

void LimitAllocatorArenas() {
#if defined(__GLIBC__)
  mallopt(M_ARENA_MAX, 2);
#endif
}

void ReleaseFreeMemory() {
#if defined(__GLIBC__)
  malloc_trim(0);
#endif
}

}  // namespace kvm::station
