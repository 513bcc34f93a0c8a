// The block cost of figure 1 with the session recorded (what `kvmflash-cli
// program --record` adds: a queued copy of every report written and read,
// turned into lines by the recorder's own thread), against the same stack
// without, measured in turns so that both see the same load.
#include <benchmark/benchmark.h>

#include <QTemporaryDir>
#include <string>
#include <vector>

#include "BenchRig.h"
#include "CpuClock.h"
#include "Figures.h"
#include "Median.h"
#include "hid/record/RecordingWriter.h"

namespace kvm::bench {
namespace {

constexpr std::size_t Blocks = 4000;

// Median microseconds from one confirmed block to the next into `us`; false,
// with `failure` set, when the job did not succeed.
bool MedianUsPerBlock(TRigOptions options, TScratchFolder& folder, double& us, std::string& failure) {
  TBenchRig rig(std::move(options));
  if (!rig.Connect()) {
    failure = rig.Failure();
    return false;
  }
  const std::string path = folder.Write("image.bin", PatternBytes(ImageLengthOfBlocks(Blocks)), failure);
  if (path.empty()) return false;
  std::vector<double> confirmed;
  confirmed.reserve(Blocks);
  rig.window.OnStep = [&confirmed] { confirmed.push_back(WallSeconds()); };
  if (rig.Program(path) != 0 || confirmed.size() != Blocks) {
    failure = rig.Failure();
    return false;
  }
  std::vector<double> perBlock;
  for (std::size_t i = 1; i < confirmed.size(); ++i) perBlock.push_back((confirmed[i] - confirmed[i - 1]) * 1e6);
  us = Median(perBlock);
  return true;
}

void BlockCostRecorded(benchmark::State& state) {
  for (auto _ : state) {
    TScratchFolder folder;
    QTemporaryDir recordings;
    std::string failure;
    const double start = WallSeconds();
    double plain = 0;
    double recorded = 0;
    bool measured = MedianUsPerBlock({}, folder, plain, failure);
    TRigOptions options;
    options.Recording = hid::record::TRecordingWriter::ToFile(
        recordings.filePath("session.jsonl").toStdString(), {"image.bin"}, failure);
    measured = measured && options.Recording && MedianUsPerBlock(options, folder, recorded, failure);
    measured = measured && options.Recording->Finish(failure);
    state.SetIterationTime(WallSeconds() - start);
    if (!measured) {
      state.SkipWithError(failure.c_str());
      break;
    }
    state.counters[fig::PlainUsPerBlock] = plain;
    state.counters[fig::RecordedUsPerBlock] = recorded;
    state.counters[fig::RecordingRatio] = plain > 0 ? recorded / plain : 0;
  }
}

}  // namespace

BENCHMARK(BlockCostRecorded)
    ->Name(fig::BlockCostRecorded)
    ->Iterations(1)
    ->Repetitions(5)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace kvm::bench
