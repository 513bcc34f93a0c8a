// The firmware file steps of a job on the largest image the utility accepts
// (65,536 blocks: 3,670,008 bytes; a 4 MiB image cannot be numbered in 16
// bits and is refused): unscrambling its container, the file checksum and
// the block sequence; the checksum also on a 4 MiB file, which it accepts.
#include <benchmark/benchmark.h>

#include <array>

#include "BenchRig.h"
#include "CpuClock.h"
#include "Figures.h"
#include "firmware/FirmwareImage.h"
#include "wire/ProgrammerWire.h"

namespace kvm::bench {
namespace {

// A chip-type-300 container: key offset 3, steps of 7 bytes.
std::vector<std::uint8_t> ContainerOf(std::size_t payloadBytes) {
  std::vector<std::uint8_t> container = PatternBytes(16 + payloadBytes);
  container[0] = 0x01;
  container[1] = 0x2C;
  container[2] = 0x03;
  container[3] = 0x07;
  return container;
}

double MegabytesPerSecond(double bytes, double seconds) { return seconds > 0 ? bytes / seconds / 1e6 : 0; }

// Reads every block of the image the way a job does; false on a failure.
bool ReadAllBlocks(const std::string& path) {
  firmware::TBlockReader reader;
  if (reader.Open(path) != firmware::ImageOk) return false;
  std::array<std::uint8_t, 64> block{};
  const std::int64_t blocks = reader.Sequence().BlockCount();
  for (std::int64_t i = 0; i < blocks; ++i) {
    int count = 0;
    if (reader.ReadNextBlock(block, count) != firmware::ImageOk) return false;
    benchmark::DoNotOptimize(block);
  }
  return true;
}

void FirmwareFiles(benchmark::State& state) {
  constexpr auto ImageBytes = static_cast<std::size_t>(firmware::MaxImageLength);
  TScratchFolder folder;
  std::string error;
  const std::string container = folder.Write("largest.usb", ContainerOf(ImageBytes), error);
  const std::string large = container.empty() ? std::string() : folder.Write("4mib.bin", PatternBytes(4u << 20), error);
  if (large.empty()) {
    state.SkipWithError(error.c_str());
    return;
  }
  const std::string image = container + ".plain";

  for (auto _ : state) {
    double start = WallSeconds();
    const int unscrambled = firmware::UnscrambleContainerTo(wire::TargetUsbHost, container, image);
    const double unscramble = WallSeconds() - start;

    start = WallSeconds();
    const int sum = firmware::FileCheckSum(image);
    const double checkSum = WallSeconds() - start;

    start = WallSeconds();
    const bool blocksRead = ReadAllBlocks(image);
    const double blocks = WallSeconds() - start;

    start = WallSeconds();
    const int largeSum = firmware::FileCheckSum(large);
    const double checkSumLarge = WallSeconds() - start;

    if (unscrambled != firmware::ImageOk || sum < 0 || !blocksRead || largeSum < 0) {
      const std::string what = "firmware file step failed: " + firmware::LastImageErrorDetail();
      state.SkipWithError(what.c_str());
      break;
    }
    state.SetIterationTime(unscramble + checkSum + blocks);
    state.counters[fig::FirmwareMbPerS] = MegabytesPerSecond(ImageBytes, unscramble + checkSum + blocks);
    state.counters[fig::UnscrambleMbPerS] = MegabytesPerSecond(ImageBytes, unscramble);
    state.counters[fig::CheckSumMbPerS] = MegabytesPerSecond(ImageBytes, checkSum);
    state.counters[fig::BlocksMbPerS] = MegabytesPerSecond(ImageBytes, blocks);
    state.counters[fig::CheckSum4MiBMbPerS] = MegabytesPerSecond(4u << 20, checkSumLarge);
  }
}

}  // namespace

BENCHMARK(FirmwareFiles)->Name(fig::Firmware)->Iterations(1)->Repetitions(5)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace kvm::bench
