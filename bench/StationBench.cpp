// The production station over eight programmers at once, each behind a
// modelled full-speed link: its wall time over one unit's alone, and the
// process's share of a core meanwhile.
#include <benchmark/benchmark.h>

#include <memory>
#include <optional>
#include <vector>

#include "BenchRig.h"
#include "CpuClock.h"
#include "Figures.h"
#include "LinkModel.h"
#include "emulator/ProgrammerEmulator.h"
#include "hid/platform/sim/SimHidPlatform.h"
#include "station/EventStream.h"
#include "station/Station.h"
#include "station/TraceLog.h"

namespace kvm::bench {

namespace {

constexpr std::size_t StationImageBytes = 64 * 1024;
constexpr int StationUnits = 8;

struct TStationRun {
  double Seconds = 0;
  double CpuFraction = 0;
};

// Runs a station over `units` programmers until all of them are programmed;
// none after SkipWithError.
std::optional<TStationRun> RunStation(benchmark::State& state, int units, const std::string& image) {
  auto platform = std::make_shared<hid::platform::TSimHidPlatform>();
  std::vector<std::shared_ptr<emulator::TProgrammerEmulator>> programmers;
  for (int i = 0; i < units; ++i) {
    programmers.push_back(std::make_shared<emulator::TProgrammerEmulator>());
    hid::platform::TSimDeviceInfo info = hid::platform::SimProgrammer();
    info.SerialNumber = u"BENCH-" + std::u16string(1, static_cast<char16_t>(u'A' + i));
    platform->Plug(info, ModelledLink(programmers.back(), {1, 1, TLinkClock::Frames}));
  }
  station::TStationConfig config;
  station::TFirmwareFile file;
  std::string error;
  if (!station::CheckFirmwareFile(TTarget::UsbHost, image, file, error)) {
    state.SkipWithError(error.c_str());
    return std::nullopt;
  }
  config.Files = {file};
  config.Units = units;
  // The settle countdown is the same for one unit and for eight; shortened,
  // it does not dilute the figure.
  config.Stack.CountdownTickMs = 10;
  station::TEventStream events;
  station::TTraceLog log;
  station::TStation station(platform, std::move(config), events, log, {});
  const TCpuShare share;
  const int exitCode = station.Run();
  TStationRun run{share.Elapsed(), share.Fraction()};
  if (exitCode != 0) {
    state.SkipWithError(("the station ended with exit status " + std::to_string(exitCode)).c_str());
    return std::nullopt;
  }
  return run;
}

void StationRatio8(benchmark::State& state) {
  TScratchFolder folder;
  std::string error;
  const std::string path = folder.Write("station.bin", PatternBytes(StationImageBytes), error);
  if (path.empty()) {
    state.SkipWithError(error.c_str());
    return;
  }
  for (auto _ : state) {
    const auto one = RunStation(state, 1, path);
    if (!one) break;
    const auto eight = RunStation(state, StationUnits, path);
    if (!eight) break;
    state.SetIterationTime(eight->Seconds);
    state.counters[fig::StationRatio8] = eight->Seconds / one->Seconds;
    state.counters[fig::StationCpuFraction] = eight->CpuFraction;
    state.counters[fig::StationOneSeconds] = one->Seconds;
    state.counters[fig::StationEightSeconds] = eight->Seconds;
  }
}

}  // namespace

BENCHMARK(StationRatio8)->Name(fig::StationRatio)->Iterations(1)->Repetitions(3)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace kvm::bench
