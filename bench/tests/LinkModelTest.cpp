// The modelled USB link: what it delays, by how much, and what it traces.
#include <gtest/gtest.h>

#include <chrono>

#include "LinkModel.h"

namespace kvm::bench {
namespace {

using TClock = std::chrono::steady_clock;

const std::uint8_t EnableReport[64] = {0x04, 0x00, 0x02};

emulator::TDeviceResponse Answer(TLinkTiming timing, std::shared_ptr<emulator::TProgrammerEmulator> emulator = nullptr,
                                 std::shared_ptr<TLinkTrace> trace = nullptr) {
  if (!emulator) emulator = std::make_shared<emulator::TProgrammerEmulator>();
  return ModelledLink(emulator, timing, trace)(EnableReport, sizeof EnableReport);
}

TEST(LinkModelTest, ZeroTimingAnswersAtOnce) {
  const emulator::TDeviceResponse response = Answer({});
  EXPECT_EQ(response.WriteDelayMs, 0);
  ASSERT_EQ(response.Replies.size(), 2u);  // acknowledge, completion
  for (const auto& reply : response.Replies) EXPECT_EQ(reply.DelayMs, 0);
}

TEST(LinkModelTest, PerEventDelaysTheWriteAndTheWholeAnswerByOneFrameEach) {
  const emulator::TDeviceResponse response = Answer({1, 1, TLinkClock::PerEvent});
  EXPECT_EQ(response.WriteDelayMs, 1);
  ASSERT_EQ(response.Replies.size(), 2u);
  EXPECT_EQ(response.Replies[0].DelayMs, 1);
  EXPECT_EQ(response.Replies[1].DelayMs, 0);  // in the same frame as the first
}

TEST(LinkModelTest, AFaultRulesSlowerWriteOutlastsTheModel) {
  auto emulator = std::make_shared<emulator::TProgrammerEmulator>();
  emulator::TFaultRule slow;
  slow.Action = emulator::TFaultAction::SlowWrite(5);
  emulator->AddRule(slow);
  EXPECT_EQ(Answer({1, 1, TLinkClock::PerEvent}, emulator).WriteDelayMs, 5);
}

TEST(LinkModelTest, FrameBoundariesFallOnWholeMilliseconds) {
  const auto at = [](std::chrono::microseconds sinceEpoch) { return TClock::time_point(sinceEpoch); };
  using std::chrono::microseconds;
  EXPECT_EQ(FrameBoundaryAfter(at(microseconds(5300)), 0), at(microseconds(6000)));
  EXPECT_EQ(FrameBoundaryAfter(at(microseconds(5999)), 0), at(microseconds(6000)));
  // A write that starts on a boundary has the whole frame before it.
  EXPECT_EQ(FrameBoundaryAfter(at(microseconds(5000)), 0), at(microseconds(6000)));
  EXPECT_EQ(FrameBoundaryAfter(at(microseconds(5300)), 2), at(microseconds(8000)));
}

TEST(LinkModelTest, FrameClockWaitsForTheBoundaryAndTheAnswersFrameInTheWrite) {
  const TClock::time_point start = TClock::now();
  auto trace = std::make_shared<TLinkTrace>();
  const emulator::TDeviceResponse response = Answer({1, 1, TLinkClock::Frames}, nullptr, trace);
  const TClock::time_point returned = TClock::now();
  // Two frames from the start of the write: its own and the answer's.
  EXPECT_GE(trace->LastAnswer, FrameBoundaryAfter(start, 1));
  EXPECT_GE(returned, trace->LastAnswer);
  // The answer is readable at once, and the back end adds nothing on top.
  EXPECT_EQ(response.WriteDelayMs, 0);
  ASSERT_EQ(response.Replies.size(), 2u);
  for (const auto& reply : response.Replies) EXPECT_EQ(reply.DelayMs, 0);
}

TEST(LinkModelTest, TraceMeasuresFromTheAnswerToTheNextWrite) {
  auto trace = std::make_shared<TLinkTrace>();
  auto emulator = std::make_shared<emulator::TProgrammerEmulator>();
  const emulator::TDeviceResponder link = ModelledLink(emulator, {0, 0, TLinkClock::PerEvent}, trace);
  link(EnableReport, sizeof EnableReport);
  EXPECT_TRUE(trace->TurnaroundUs.empty());  // nothing answered before the first write
  link(EnableReport, sizeof EnableReport);
  link(EnableReport, sizeof EnableReport);
  ASSERT_EQ(trace->TurnaroundUs.size(), 2u);
  for (const double us : trace->TurnaroundUs) {
    EXPECT_GE(us, 0);
    EXPECT_LT(us, 1e6);
  }
}

}  // namespace
}  // namespace kvm::bench
