// kvmflash-bench-umockdev: the rescan of 16 hidraw nodes emulated with
// umockdev (the programmer and 15 mice) on the real Linux back end.
//
//   umockdev-wrapper kvmflash-bench-umockdev --json=FILE
//
// It must start under the umockdev preload, which has to be in place before
// anything touches /dev or /sys; the figures go to FILE for kvmflash-bench.
#include <QCoreApplication>
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

#include "RescanMeasure.h"
#include "UmockdevFigures.h"
#include "UmockdevHid.h"
#include "hid/platform/linux/LinuxHidPlatform.h"

namespace {

constexpr int Nodes = 16;
constexpr int Runs = 9;
const char* const JsonOption = "--json=";

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  std::string jsonPath;
  for (int i = 1; i < argc; ++i)
    if (std::strncmp(argv[i], JsonOption, std::strlen(JsonOption)) == 0) jsonPath = argv[i] + std::strlen(JsonOption);
  if (jsonPath.empty()) {
    std::fprintf(stderr, "usage: umockdev-wrapper %s --json=FILE\n", argv[0]);
    return 2;
  }

  std::vector<double> allNew, unchanged;
  std::string failure;
  if (!kvm::test::TUmockdevHid::Available()) {
    failure = "the umockdev helper ran without the umockdev preload (start it with umockdev-wrapper)";
  } else {
    try {
      kvm::test::TUmockdevHid bed;
      bed.Plug(kvm::test::TUmockdevHid::Programmer());
      for (int i = 1; i < Nodes; ++i) bed.Plug(kvm::test::TUmockdevHid::Mouse());
      // Every run binds a fresh back end, so every interface is new to it.
      for (int run = 0; run < Runs && failure.empty(); ++run) {
        kvm::bench::TRescanTimes times;
        if (!kvm::bench::MeasureRescan(kvm::hid::platform::MakeLinuxHidPlatform(), Nodes, times, failure)) break;
        allNew.push_back(times.AllNewMs);
        unchanged.push_back(times.UnchangedMs);
      }
    } catch (const std::exception& error) {
      failure = std::string("umockdev testbed: ") + error.what();
    }
  }
  if (!kvm::bench::WriteUmockdevFigures(jsonPath, allNew, unchanged, failure)) {
    std::fprintf(stderr, "%s: cannot write %s: %s\n", argv[0], jsonPath.c_str(), std::strerror(errno));
    return 1;
  }
  if (!failure.empty()) std::fprintf(stderr, "%s: %s\n", argv[0], failure.c_str());
  return failure.empty() ? 0 : 1;
}
