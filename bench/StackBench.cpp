// The whole stack programming an image into the simulated programmer: the
// utility's own cost per block with instant answers, and a 64 KiB image over
// the modelled USB link against the link's own time.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <optional>
#include <string>
#include <vector>

#include "BenchRig.h"
#include "CpuClock.h"
#include "Figures.h"
#include "HandOverFloor.h"
#include "Median.h"
#include "firmware/FirmwareImage.h"
#include "hid/platform/sim/SimDeviceInfo.h"
#include "wire/ProgrammerWire.h"

namespace kvm::bench {
namespace {

constexpr std::size_t CostBlocks = 5000;
// Single hand-overs timed after each block run, for the floor.
constexpr int HandOverRounds = 2000;
constexpr std::size_t LinkImageBytes = 64 * 1024;
// Blocks sent over the bare link model, for its own precision.
constexpr int ModelBlocks = 200;

// Connects a rig and writes the image; false after SkipWithError.
bool Prepare(benchmark::State& state, TBenchRig& rig, TScratchFolder& folder, std::size_t imageBytes,
             std::string& path) {
  if (!rig.Connect()) {
    state.SkipWithError(rig.Failure().c_str());
    return false;
  }
  std::string error;
  path = folder.Write("image.bin", PatternBytes(imageBytes), error);
  if (path.empty()) {
    state.SkipWithError(error.c_str());
    return false;
  }
  return true;
}

void BlockCost(benchmark::State& state) {
  for (auto _ : state) {
    TBenchRig rig;
    TScratchFolder folder;
    std::string path;
    if (!Prepare(state, rig, folder, ImageLengthOfBlocks(CostBlocks), path)) break;

    std::vector<double> confirmed;
    confirmed.reserve(CostBlocks);
    rig.window.OnStep = [&confirmed] { confirmed.push_back(WallSeconds()); };
    const double start = WallSeconds();
    const double cpuStart = ProcessCpuSeconds();
    const long switchesStart = ProcessContextSwitches();
    const std::int32_t result = rig.Program(path);
    const double cpu = ProcessCpuSeconds() - cpuStart;
    const long switches = ProcessContextSwitches() - switchesStart;
    state.SetIterationTime(WallSeconds() - start);
    if (result != 0 || confirmed.size() != CostBlocks) {
      state.SkipWithError(rig.Failure().c_str());
      break;
    }
    // One block: from the confirmation of the one before to its own, which
    // covers reading it from the file, the report, the wait and the progress.
    std::vector<double> perBlock;
    perBlock.reserve(confirmed.size());
    for (std::size_t i = 1; i < confirmed.size(); ++i) perBlock.push_back((confirmed[i] - confirmed[i - 1]) * 1e6);
    std::sort(perBlock.begin(), perBlock.end());
    const double mean = (confirmed.back() - confirmed.front()) * 1e6 / static_cast<double>(perBlock.size());
    state.counters[fig::MeanUsPerBlock] = mean;
    state.counters[fig::UsPerBlock] = mean;
    state.counters[fig::BlocksPerSecond] = mean > 0 ? 1e6 / mean : 0;
    state.counters[fig::P50UsPerBlock] = Quantile(perBlock, 0.50);
    state.counters[fig::P99UsPerBlock] = Quantile(perBlock, 0.99);
    state.counters[fig::MaxUsPerBlock] = perBlock.back();
    // Both threads, over the whole job (its few commands around the blocks
    // included).
    state.counters[fig::CpuUsPerBlock] = cpu * 1e6 / CostBlocks;
    state.counters[fig::SwitchesPerBlock] = static_cast<double>(switches) / CostBlocks;
    const double handOver = HandOverMicroseconds(rig, HandOverRounds);
    if (handOver < 0) {
      state.SkipWithError("a report injected into the simulated programmer was not handed over within 1 s");
      break;
    }
    state.counters[fig::HandOverUs] = handOver;
  }
}

// Blocks written and answered straight through the simulated back end, on
// one thread: the link model's own time per block. None, with `failure` set,
// when the bare link does not answer.
std::optional<double> ModelMillisecondsPerBlock(TLinkTiming timing, int blocks, std::string& failure) {
  auto emulator = std::make_shared<emulator::TProgrammerEmulator>();
  hid::platform::TSimHidPlatform platform;
  platform.LoadEnumeration();
  platform.LoadHidAccess();
  const std::uint64_t id = platform.Plug(hid::platform::SimProgrammer(), ModelledLink(emulator, timing));
  std::uint32_t error = 0;
  auto handle = platform.Open(platform.PathOf(id), hid::platform::TOpenMode::ReadWrite, error);
  if (!handle) {
    failure = "open " + platform.PathOf(id) + ": " + platform.ErrorText(error);
    return std::nullopt;
  }
  std::uint8_t report[64] = {wire::OutputReportID, wire::TargetUsbHost, wire::CommandBlockWrite};
  std::uint8_t reply[8];
  const double start = WallSeconds();
  for (int block = 0; block < blocks; ++block) {
    report[wire::BlockNumberOffset] = static_cast<std::uint8_t>(block >> 8);
    report[wire::BlockNumberOffset + 1] = static_cast<std::uint8_t>(block);
    std::size_t done = 0;
    if (!handle->Write(report, sizeof report, done, error)) {
      failure = "write to the bare link: " + platform.ErrorText(error);
      return std::nullopt;
    }
    // Until the completion: a status reply other than the acknowledge.
    for (;;) {
      std::size_t got = 0;
      if (handle->Read(reply, sizeof reply, got, 1000, error) != hid::platform::TReadStatus::Data) {
        failure = "the bare link gave no answer to block " + std::to_string(block) + " within 1 s";
        return std::nullopt;
      }
      if (got >= 3 && reply[1] == wire::ReplyKindStatus && reply[2] != wire::StatusAck) break;
    }
  }
  return (WallSeconds() - start) * 1e3 / blocks;
}

// Programs the 64 KiB image over a link with that timing; the job's wall
// time in seconds, or a negative value after SkipWithError.
double ProgramOverLink(benchmark::State& state, TLinkTiming timing, const std::shared_ptr<TLinkTrace>& trace) {
  TRigOptions options;
  options.Link = timing;
  options.Trace = trace;
  TBenchRig rig(options);
  TScratchFolder folder;
  std::string path;
  if (!Prepare(state, rig, folder, LinkImageBytes, path)) return -1;
  const double start = WallSeconds();
  const std::int32_t result = rig.Program(path);
  const double job = WallSeconds() - start;
  if (result != 0) {
    state.SkipWithError(rig.Failure().c_str());
    return -1;
  }
  return job;
}

void LinkRatio64k(benchmark::State& state) {
  const TLinkTiming frames{1, 1, TLinkClock::Frames};
  const TLinkTiming perEvent{1, 1, TLinkClock::PerEvent};
  const auto blocks = static_cast<double>(firmware::BlockSequenceOf(LinkImageBytes).BlockCount());
  const double link = blocks * frames.BlockMs() / 1e3;
  for (auto _ : state) {
    auto trace = std::make_shared<TLinkTrace>();
    const double job = ProgramOverLink(state, frames, trace);
    if (job < 0) break;
    const double perEventJob = ProgramOverLink(state, perEvent, nullptr);
    if (perEventJob < 0) break;
    state.SetIterationTime(job);
    state.counters[fig::LinkRatio64k] = job / link;
    state.counters[fig::LinkBlocks] = blocks;
    state.counters[fig::JobSeconds] = job;
    state.counters[fig::LinkSeconds] = link;
    state.counters[fig::TurnaroundUs] = Median(trace->TurnaroundUs);
    // A write that starts whole frames after its answer was due has lost
    // those frames of the link.
    double late = 0, lostFrames = 0;
    for (const double us : trace->TurnaroundUs) {
      late += us >= 1000;
      lostFrames += std::floor(us / 1000);
    }
    state.counters[fig::MissedFrameShare] = trace->TurnaroundUs.empty() ? 0 : late / trace->TurnaroundUs.size();
    state.counters[fig::LostFrameMs] = lostFrames;
    state.counters[fig::PerEventRatio] = perEventJob / link;
    std::string failure;
    const auto model = ModelMillisecondsPerBlock(perEvent, ModelBlocks, failure);
    if (!model) {
      state.SkipWithError(failure.c_str());
      break;
    }
    state.counters[fig::ModelRatio] = *model / perEvent.BlockMs();
  }
}

}  // namespace

BENCHMARK(BlockCost)->Name(fig::BlockCost)->Iterations(1)->Repetitions(5)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(LinkRatio64k)->Name(fig::LinkRatio)->Iterations(1)->Repetitions(3)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace kvm::bench
