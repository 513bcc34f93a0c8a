// The process figures the soak runs watch: resident memory (all of it, and the
// anonymous part that a leak or the allocator grows), the heap in use (which
// tells a leak from fragmentation), open descriptors and threads.
// With KVM_SOAK_MAPS=FOLDER, Figures(name) also copies /proc/self/smaps to
// FOLDER/name, so that two points of a run can be compared mapping by mapping.
#pragma once

#include <dirent.h>
#include <malloc.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <string>

namespace kvm::test {

struct TProcessFigures {
  long RssKb = 0;
  long RssAnonKb = 0;
  long HeapKb = 0;  // allocated and not yet freed
  int Fds = 0;
  int Threads = 0;
};

inline long StatusField(const std::string& name) {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);)
    if (line.rfind(name + ":", 0) == 0) return std::strtol(line.c_str() + name.size() + 1, nullptr, 10);
  return -1;
}

inline int OpenFds() {
  int count = 0;
  if (DIR* dir = ::opendir("/proc/self/fd")) {
    while (const dirent* entry = ::readdir(dir)) count += entry->d_name[0] != '.';
    ::closedir(dir);
    --count;  // the listing's own descriptor
  }
  return count;
}

inline TProcessFigures Figures(const char* name) {
  TProcessFigures figures{StatusField("VmRSS"), StatusField("RssAnon"), static_cast<long>(mallinfo2().uordblks / 1024),
                          OpenFds(), static_cast<int>(StatusField("Threads"))};
  if (const char* folder = std::getenv("KVM_SOAK_MAPS")) {
    std::ifstream maps("/proc/self/smaps");
    std::ofstream(std::string(folder) + "/" + name) << maps.rdbuf();
  }
  return figures;
}

// A process reads in about 165 kB of unwinder code the first time it throws;
// the soaks' sessions catch one now and then (a device that goes away while
// its session ends). Thrown once during the warm-up, so that this one-off is
// not taken for growth.
inline void ThrowOneException() {
  try {
    throw std::runtime_error("warm-up");
  } catch (const std::runtime_error&) {
  }
}

inline void PrintFigures(const char* when, const std::string& after, const TProcessFigures& f) {
  std::printf("%-6s after %s: VmRSS %6ld kB (anonymous %6ld kB, heap in use %6ld kB), %3d open fds, %2d threads\n",
              when, after.c_str(), f.RssKb, f.RssAnonKb, f.HeapKb, f.Fds, f.Threads);
  std::fflush(stdout);
}

// A process that runs all day may grow by less than this after its warm-up.
inline constexpr long AllowedGrowthKb = 256;

// True when memory grew by less than AllowedGrowthKb and descriptors and
// threads are as they were; otherwise says on stderr what grew.
inline bool StayedFlat(const char* program, const TProcessFigures& start, const TProcessFigures& end) {
  bool flat = true;
  if (end.RssKb - start.RssKb >= AllowedGrowthKb) {
    std::fprintf(stderr, "%s: resident memory grew by %ld kB (allowed < %ld kB)\n", program, end.RssKb - start.RssKb,
                 AllowedGrowthKb);
    flat = false;
  }
  if (end.Fds != start.Fds || end.Threads != start.Threads) {
    std::fprintf(stderr, "%s: descriptors %d -> %d, threads %d -> %d\n", program, start.Fds, end.Fds, start.Threads,
                 end.Threads);
    flat = false;
  }
  return flat;
}

}  // namespace kvm::test
