// Figure 1 on the command line's and the station's path: a programming
// session on a thread of its own, the simulated programmer answering at
// once. Its processor time by thread, the emulator's apart.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "BenchRig.h"
#include "CpuClock.h"
#include "Figures.h"
#include "Median.h"
#include "ThreadCpu.h"
#include "emulator/ProgrammerEmulator.h"
#include "hid/platform/sim/SimDeviceInfo.h"
#include "hid/platform/sim/SimHidPlatform.h"
#include "jobs/ProgrammingSession.h"

namespace kvm::bench {
namespace {

constexpr std::size_t SessionBlocks = 5000;

void BlockCostSession(benchmark::State& state) {
  for (auto _ : state) {
    TScratchFolder folder;
    std::string error;
    const std::string path = folder.Write("image.bin", PatternBytes(ImageLengthOfBlocks(SessionBlocks)), error);
    if (path.empty()) {
      state.SkipWithError(error.c_str());
      break;
    }
    auto platform = std::make_shared<hid::platform::TSimHidPlatform>();
    auto meter = std::make_shared<TModelMeter>();
    platform->Plug(hid::platform::SimProgrammer(),
                   Metered(emulator::TProgrammerEmulator::Responder(std::make_shared<emulator::TProgrammerEmulator>()),
                           meter));
    // Written on the session's thread, read after the job's end has been
    // handed over under `lock`.
    std::vector<double> confirmed;
    confirmed.reserve(SessionBlocks + 1);
    jobs::TSessionOptions options;
    options.Stack.CountdownTickMs = 10;
    jobs::TProgrammingSession session(platform, options, [&confirmed](const jobs::TSessionEvent& event) {
      if (event.Kind == jobs::TSessionEventKind::Progress && event.Position > 0) confirmed.push_back(WallSeconds());
    });
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!session.IsConnected()) {
      if (std::chrono::steady_clock::now() > deadline) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (!session.IsConnected()) {
      state.SkipWithError("the simulated programmer was not connected within 5 s");
      break;
    }

    std::mutex lock;
    std::condition_variable ended;
    bool done = false;
    std::int32_t result = -1;
    TThreadCpuSampler threads(meter, 0);
    const double start = WallSeconds();
    const double cpuStart = ProcessCpuSeconds();
    const long switchesStart = ProcessContextSwitches();
    session.Program({{{TTarget::UsbHost, path}}}, [&](const std::vector<jobs::TJobOutcome>& outcomes) {
      std::lock_guard<std::mutex> guard(lock);
      result = outcomes.empty() ? -1 : outcomes[0].Result;
      done = true;
      ended.notify_all();
    });
    {
      std::unique_lock<std::mutex> guard(lock);
      ended.wait(guard, [&done] { return done; });
    }
    const double cpu = ProcessCpuSeconds() - cpuStart;
    const long switches = ProcessContextSwitches() - switchesStart;
    state.SetIterationTime(WallSeconds() - start);
    const TThreadCpu byThread = threads.Stop();
    if (result != 0 || confirmed.size() != SessionBlocks) {
      state.SkipWithError(("the job ended with " + std::to_string(result) + " after " +
                           std::to_string(confirmed.size()) + " blocks")
                              .c_str());
      break;
    }
    std::vector<double> perBlock;
    perBlock.reserve(confirmed.size());
    for (std::size_t i = 1; i < confirmed.size(); ++i) perBlock.push_back((confirmed[i] - confirmed[i - 1]) * 1e6);
    std::sort(perBlock.begin(), perBlock.end());
    const double mean = (confirmed.back() - confirmed.front()) * 1e6 / static_cast<double>(perBlock.size());
    const double blocks = SessionBlocks;
    state.counters[fig::MeanUsPerBlock] = mean;
    state.counters[fig::P50UsPerBlock] = Quantile(perBlock, 0.50);
    state.counters[fig::P99UsPerBlock] = Quantile(perBlock, 0.99);
    state.counters[fig::CpuUsPerBlock] = cpu * 1e6 / blocks;
    state.counters[fig::OwnCpuUsPerBlock] = (cpu - byThread.Models) * 1e6 / blocks;
    state.counters[fig::SessionCpuUsPerBlock] = byThread.Sessions * 1e6 / blocks;
    state.counters[fig::ReaderCpuUsPerBlock] = byThread.Readers * 1e6 / blocks;
    state.counters[fig::ModelCpuUsPerBlock] = byThread.Models * 1e6 / blocks;
    state.counters[fig::SwitchesPerBlock] = static_cast<double>(switches) / blocks;
  }
}

}  // namespace

BENCHMARK(BlockCostSession)->Name(fig::BlockCostSession)->Iterations(1)->Repetitions(5)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace kvm::bench
