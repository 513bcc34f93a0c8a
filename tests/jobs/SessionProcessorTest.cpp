// A session on a thread of its own keeps to one processor, and so do the
// threads it starts (its readers); the next session takes another one.
#include <gtest/gtest.h>

#include <memory>
#include <thread>

#include "hid/platform/sim/SimHidPlatform.h"
#include "jobs/ProgrammingSession.h"

#if defined(__linux__)
#include <sched.h>

namespace kvm::test {
namespace {

// The processors the calling thread may run on: how many, and the lowest.
struct TAllowed {
  int Count = 0;
  int First = -1;
};

TAllowed AllowedProcessors() {
  cpu_set_t set;
  CPU_ZERO(&set);
  if (sched_getaffinity(0, sizeof set, &set) != 0) return {};
  TAllowed allowed{CPU_COUNT(&set), -1};
  for (int processor = 0; processor < CPU_SETSIZE && allowed.First < 0; ++processor)
    if (CPU_ISSET(processor, &set)) allowed.First = processor;
  return allowed;
}

TEST(SessionProcessorTest, EachSessionAndWhatItStartsKeepToOneProcessorInTurn) {
  if (AllowedProcessors().Count < 2) GTEST_SKIP() << "this process may run on one processor only";
  auto platform = std::make_shared<hid::platform::TSimHidPlatform>();
  jobs::TSessionOptions options;
  options.Stack.CountdownTickMs = 10;
  jobs::TProgrammingSession first(platform, options);
  jobs::TProgrammingSession second(platform, options);
  TAllowed onFirst, onSecond, started;
  first.Invoke([&](jobs::TProgrammerStack&) {
    onFirst = AllowedProcessors();
    std::thread([&started] { started = AllowedProcessors(); }).join();
  });
  second.Invoke([&](jobs::TProgrammerStack&) { onSecond = AllowedProcessors(); });
  EXPECT_EQ(onFirst.Count, 1);
  EXPECT_EQ(onSecond.Count, 1);
  EXPECT_NE(onFirst.First, onSecond.First);
  EXPECT_EQ(started.Count, 1);
  EXPECT_EQ(started.First, onFirst.First);
  // The thread that made them is left as it was.
  EXPECT_GE(AllowedProcessors().Count, 2);
}

}  // namespace
}  // namespace kvm::test
#endif
