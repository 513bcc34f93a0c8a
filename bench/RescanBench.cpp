// A rescan of 64 simulated HID interfaces: the programmer among keyboards,
// mice and other devices of its maker.
#include <benchmark/benchmark.h>

#include "Figures.h"
#include "RescanMeasure.h"
#include "hid/platform/sim/SimDeviceInfo.h"
#include "hid/platform/sim/SimHidPlatform.h"

namespace kvm::bench {
namespace {

constexpr int SimInterfaces = 64;

std::shared_ptr<hid::platform::TSimHidPlatform> SimBusOf(int interfaces) {
  auto platform = std::make_shared<hid::platform::TSimHidPlatform>();
  platform->Plug(hid::platform::SimProgrammer());
  for (int i = 1; i < interfaces; ++i) {
    switch (i % 3) {
      case 0: platform->Plug(hid::platform::SimOtherProduct()); break;
      case 1: platform->Plug(hid::platform::SimMouse()); break;
      default: platform->Plug(hid::platform::SimBootKeyboard()); break;
    }
  }
  return platform;
}

void RescanSim64(benchmark::State& state) {
  for (auto _ : state) {
    TRescanTimes times;
    std::string failure;
    if (!MeasureRescan(SimBusOf(SimInterfaces), SimInterfaces, times, failure)) {
      state.SkipWithError(failure.c_str());
      break;
    }
    state.SetIterationTime(times.AllNewMs / 1e3);
    state.counters[fig::RescanMsSim64] = times.AllNewMs;
    state.counters[fig::RescanUnchangedMsSim64] = times.UnchangedMs;
  }
}

}  // namespace

BENCHMARK(RescanSim64)->Name(fig::RescanSim)->Iterations(1)->Repetitions(9)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace kvm::bench
