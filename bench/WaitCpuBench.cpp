// The processor a command costs while it waits out its six ticks on a
// programmer that never answers, beside a wait that polls the event loop.
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QEventLoop>

#include "BenchRig.h"
#include "CpuClock.h"
#include "Figures.h"

namespace kvm::bench {
namespace {

// Six ticks of this make a wait of about 0.3 s instead of 6 s.
constexpr int WaitTickMs = 50;

void WaitCpu(benchmark::State& state) {
  for (auto _ : state) {
    TRigOptions options;
    options.WaitTickMs = WaitTickMs;
    TBenchRig rig(options);
    if (!rig.Connect()) {
      state.SkipWithError(rig.Failure().c_str());
      break;
    }
    emulator::TFaultRule silence;
    silence.Match.Command = emulator::CmdEnable;
    silence.Action = emulator::TFaultAction(emulator::TFaultKind::Silence);
    rig.emulator->AddRule(silence);

    const TCpuShare waiting;
    const std::int32_t result = rig.protocol->EnableProgrammer();
    const double waitCpu = waiting.Fraction();
    const double waitSeconds = waiting.Elapsed();
    state.SetIterationTime(waitSeconds);
    if (result != -2 || rig.protocol->WaitTimer().Tag != 6) {
      const std::string what = "the silent wait ended with " + std::to_string(result) + " after " +
                               std::to_string(rig.protocol->WaitTimer().Tag) + " ticks";
      state.SkipWithError(what.c_str());
      break;
    }

    // The naive wait: every pending event handled, then straight back.
    const TCpuShare polling;
    while (polling.Elapsed() < waitSeconds) QCoreApplication::processEvents(QEventLoop::AllEvents);
    state.counters[fig::WaitCpuFraction] = waitCpu;
    state.counters[fig::PollingCpuFraction] = polling.Fraction();
    state.counters[fig::WaitMs] = waitSeconds * 1e3;
  }
}

}  // namespace

BENCHMARK(WaitCpu)->Name(fig::WaitCpu)->Iterations(1)->Repetitions(5)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace kvm::bench
