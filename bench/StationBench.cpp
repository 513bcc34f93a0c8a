// The production station over 8, 32 and 64 programmers at once, each behind
// a modelled full-speed link: its wall time over one unit's alone, the share
// of a core the utility's own threads use meanwhile (the emulators and link
// models apart), and the resident size.
#include <benchmark/benchmark.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "BenchRig.h"
#include "CpuClock.h"
#include "Figures.h"
#include "LinkModel.h"
#include "ThreadCpu.h"
#include "emulator/ProgrammerEmulator.h"
#include "firmware/FirmwareImage.h"
#include "hid/platform/sim/SimHidPlatform.h"
#include "station/EventStream.h"
#include "station/ProcessMemory.h"
#include "station/Station.h"
#include "station/TraceLog.h"

namespace kvm::bench {

namespace {

constexpr std::size_t StationImageBytes = 64 * 1024;

struct TStationRun {
  double Seconds = 0;
  double CpuFraction = 0;  // the whole process
  TThreadCpu Threads;
  long ResidentBefore = 0;  // bytes, with the free pages of earlier runs given back
  long Switches = 0;        // times a thread of the process gave up a processor
};

// Runs a station over `units` programmers until all of them are programmed;
// none after SkipWithError.
std::optional<TStationRun> RunStation(benchmark::State& state, int units, const std::string& image) {
  auto platform = std::make_shared<hid::platform::TSimHidPlatform>();
  auto meter = std::make_shared<TModelMeter>();
  for (int i = 0; i < units; ++i) {
    hid::platform::TSimDeviceInfo info = hid::platform::SimProgrammer();
    const std::string serial = "BENCH-" + std::to_string(i + 1);
    info.SerialNumber = std::u16string(serial.begin(), serial.end());
    platform->Plug(info, Metered(ModelledLink(std::make_shared<emulator::TProgrammerEmulator>(),
                                              {1, 1, TLinkClock::Frames}),
                                 meter));
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
  // The settle countdown is the same for one unit and for many; shortened,
  // it does not dilute the figure.
  config.Stack.CountdownTickMs = 10;
  station::TEventStream events;
  station::TTraceLog log;
  // What earlier runs left free would hide what this one needs.
  station::ReleaseFreeMemory();
  const long residentBefore = ResidentBytes();
  station::TStation station(platform, std::move(config), events, log, {});
  TThreadCpuSampler sampler(meter);
  const TCpuShare share;
  const long switchesBefore = ProcessContextSwitches();
  const int exitCode = station.Run();
  const long switches = ProcessContextSwitches() - switchesBefore;
  TStationRun run{share.Elapsed(), share.Fraction(), sampler.Stop(), residentBefore, switches};
  if (exitCode != 0) {
    state.SkipWithError(("the station ended with exit status " + std::to_string(exitCode)).c_str());
    return std::nullopt;
  }
  return run;
}

void StationRatio(benchmark::State& state) {
  const int units = static_cast<int>(state.range(0));
  TScratchFolder folder;
  std::string error;
  const std::string path = folder.Write("station.bin", PatternBytes(StationImageBytes), error);
  if (path.empty()) {
    state.SkipWithError(error.c_str());
    return;
  }
  for (auto _ : state) {
    // The unit alone, twice: other work only ever lengthens a run, and one
    // unlucky reference would flatter the ratio.
    auto one = RunStation(state, 1, path);
    if (!one) break;
    const auto again = RunStation(state, 1, path);
    if (!again) break;
    if (again->Seconds < one->Seconds) one = again;
    const auto many = RunStation(state, units, path);
    if (!many) break;
    const TThreadCpu& cpu = many->Threads;
    const double wall = many->Seconds;
    state.SetIterationTime(wall);
    state.counters[fig::StationRatio] = wall / one->Seconds;
    state.counters[fig::StationOwnCpu] = cpu.Own / wall;
    state.counters[fig::StationCpuFraction] = many->CpuFraction;
    state.counters[fig::StationModelCpu] = cpu.Models / wall;
    state.counters[fig::StationMainCpu] = cpu.Main / wall;
    state.counters[fig::StationSessionsCpu] = cpu.Sessions / wall;
    state.counters[fig::StationReadersCpu] = cpu.Readers / wall;
    state.counters[fig::StationOtherCpu] = cpu.Other / wall;
    state.counters[fig::StationThreads] = cpu.SessionThreads + cpu.ReaderThreads + cpu.OtherThreads + 1;
    // The sampler's own wake-ups (one per 5 ms) are a few of these.
    const double blocks =
        static_cast<double>(units) * static_cast<double>(firmware::BlockSequenceOf(StationImageBytes).BlockCount());
    state.counters[fig::StationSwitchesPerBlock] = static_cast<double>(many->Switches) / blocks;
    state.counters[fig::StationOwnCpuUsPerBlock] = cpu.Own * 1e6 / blocks;
    state.counters[fig::StationOneSeconds] = one->Seconds;
    state.counters[fig::StationManySeconds] = wall;
    state.counters[fig::StationResidentMb] = static_cast<double>(cpu.PeakResidentBytes) / 1e6;
    // Everything the run added, the station's own share included, per unit.
    state.counters[fig::StationUnitKb] =
        static_cast<double>(cpu.PeakResidentBytes - many->ResidentBefore) / units / 1e3;
  }
}

}  // namespace

BENCHMARK(StationRatio)->Name(fig::StationRatio8)->Arg(8)->Iterations(1)->Repetitions(3)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(StationRatio)->Name(fig::StationRatio32)->Arg(32)->Iterations(1)->Repetitions(5)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(StationRatio)->Name(fig::StationRatio64)->Arg(64)->Iterations(1)->Repetitions(7)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace kvm::bench
