// kvmflash-bench: measures the utility's own cost on this machine and prints
// the figures as one table (Markdown), optionally also as JSON.
//
//   kvmflash-bench [--json=FILE] [--umockdev=FILE] [--benchmark_filter=...]
//
// --umockdev takes the results of kvmflash-bench-umockdev, which must run
// under the umockdev preload in a process of its own (scripts/bench does both).
#include <sys/prctl.h>

#include <QCoreApplication>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "FigureTable.h"
#include "MachineInfo.h"
#include "UmockdevFigures.h"

namespace {

// Takes "--name=value" out of the arguments; empty when absent.
std::string TakeOption(int& argc, char** argv, const char* name) {
  const std::string prefix = std::string("--") + name + "=";
  std::string value;
  int kept = 1;
  for (int i = 1; i < argc; ++i) {
    if (std::strncmp(argv[i], prefix.c_str(), prefix.size()) == 0)
      value = argv[i] + prefix.size();
    else
      argv[kept++] = argv[i];
  }
  argc = kept;
  argv[argc] = nullptr;
  return value;
}

}  // namespace

int main(int argc, char** argv) {
  // The simulated link models its 1 ms frames with timed waits; the default
  // 50 us timer slack would add itself to every modelled frame and be counted
  // as the utility's time. Set before any thread exists, so all inherit it.
  prctl(PR_SET_TIMERSLACK, 1UL, 0, 0, 0);

  const std::string jsonPath = TakeOption(argc, argv, "json");
  const std::string umockdevPath = TakeOption(argc, argv, "umockdev");
  QCoreApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 2;

  kvm::bench::TRunConditions conditions;
  conditions.Machine = kvm::bench::ReadMachineInfo();
  conditions.LoadBefore = kvm::bench::LoadAverage();
  kvm::bench::TFigureCollector figures;
  benchmark::RunSpecifiedBenchmarks(&figures);
  conditions.LoadAfter = kvm::bench::LoadAverage();
  if (!umockdevPath.empty()) kvm::bench::ReadUmockdevFigures(umockdevPath, figures);

  std::cout << kvm::bench::FigureTable(figures, conditions) << std::flush;
  if (!jsonPath.empty()) {
    std::ofstream json(jsonPath, std::ios::trunc);
    json << kvm::bench::FigureJson(figures, conditions);
    json.close();
    if (!json) {
      std::fprintf(stderr, "kvmflash-bench: cannot write %s: %s\n", jsonPath.c_str(), std::strerror(errno));
      return 1;
    }
  }
  benchmark::Shutdown();
  const std::vector<std::string> missed = kvm::bench::MissedTargets(figures);
  if (!missed.empty()) {
    std::string numbers;
    for (const std::string& number : missed) numbers += (numbers.empty() ? "" : ", ") + number;
    std::fprintf(stderr, "kvmflash-bench: targets missed: %s\n", numbers.c_str());
  }
  return figures.AnyFailure() ? 1 : 0;
}
