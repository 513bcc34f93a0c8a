#include "MachineInfo.h"

#include <sched.h>

#include <ctime>
#include <fstream>
#include <thread>

namespace kvm::bench {

namespace {

std::string CpuModel() {
  std::ifstream cpuinfo("/proc/cpuinfo");
  std::string line;
  while (std::getline(cpuinfo, line)) {
    if (line.rfind("model name", 0) != 0) continue;
    const std::size_t colon = line.find(':');
    if (colon == std::string::npos) break;
    const std::size_t start = line.find_first_not_of(" \t", colon + 1);
    return start == std::string::npos ? std::string() : line.substr(start);
  }
  return "unknown processor";
}

unsigned UsableCores() {
  cpu_set_t set;
  if (sched_getaffinity(0, sizeof set, &set) == 0) return static_cast<unsigned>(CPU_COUNT(&set));
  return std::thread::hardware_concurrency();
}

std::string UtcNow() {
  const std::time_t now = std::time(nullptr);
  std::tm utc{};
  gmtime_r(&now, &utc);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M UTC", &utc);
  return text;
}

}  // namespace

TMachineInfo ReadMachineInfo() { return {CpuModel(), UsableCores(), UtcNow()}; }

double LoadAverage() {
  std::ifstream loadavg("/proc/loadavg");
  double oneMinute = -1;
  if (!(loadavg >> oneMinute)) return -1;
  return oneMinute;
}

}  // namespace kvm::bench
