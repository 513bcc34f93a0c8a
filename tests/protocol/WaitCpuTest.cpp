// A wait on a silent programmer must leave the processor idle.
#include <gtest/gtest.h>

#include <time.h>

#include <iostream>

#include "ProtocolRig.h"

namespace kvm::protocol {
namespace {

double Seconds(clockid_t clock) {
  timespec now{};
  clock_gettime(clock, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

TEST(WaitCpuTest, SixTickWaitOnSilentProgrammerUsesLittleCpu) {
  test::TProtocolRig rig(50);
  rig.emulator->AddRule(test::CommandRule(emulator::CmdEnable, emulator::TFaultKind::Silence));

  const double cpuStart = Seconds(CLOCK_PROCESS_CPUTIME_ID);
  const double wallStart = Seconds(CLOCK_MONOTONIC);
  EXPECT_EQ(rig.protocol.EnableProgrammer(), -2);
  const double cpu = Seconds(CLOCK_PROCESS_CPUTIME_ID) - cpuStart;
  const double wall = Seconds(CLOCK_MONOTONIC) - wallStart;

  EXPECT_EQ(rig.protocol.WaitTimer().Tag, 6);
  EXPECT_GE(wall, 0.25);
  const double share = cpu / wall;
  RecordProperty("cpu_share_percent", static_cast<int>(share * 100));
  std::cout << "wait: " << wall * 1000 << " ms wall, " << cpu * 1000 << " ms CPU (" << share * 100 << "% of a core)\n";
  EXPECT_LT(share, 0.20);
}

}  // namespace
}  // namespace kvm::protocol
