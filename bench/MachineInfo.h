// What the figures were measured on, for the head of the table.
#pragma once

#include <string>

namespace kvm::bench {

struct TMachineInfo {
  std::string CpuModel;  // "model name" of /proc/cpuinfo
  unsigned Cores = 0;    // processors this process may run on
  std::string Date;      // UTC, "2026-12-08 18:40 UTC"
};

TMachineInfo ReadMachineInfo();
// The one-minute load average (other work on the machine), or -1.
double LoadAverage();

}  // namespace kvm::bench
