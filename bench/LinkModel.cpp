#include "LinkModel.h"

#include <algorithm>
#include <thread>

namespace kvm::bench {

namespace {
using TClock = std::chrono::steady_clock;
constexpr std::chrono::milliseconds Frame{1};
}  // namespace

TClock::time_point FrameBoundaryAfter(TClock::time_point now, int extraFrames) {
  const auto frames = now.time_since_epoch() / Frame + 1 + extraFrames;
  return TClock::time_point(std::chrono::duration_cast<TClock::duration>(frames * Frame));
}

emulator::TDeviceResponder ModelledLink(std::shared_ptr<emulator::TProgrammerEmulator> emulator,
                                        TLinkTiming timing, std::shared_ptr<TLinkTrace> trace) {
  return [emulator, timing, trace](const std::uint8_t* report, std::size_t length) {
    const TClock::time_point start = TClock::now();
    if (trace && trace->LastAnswer != TClock::time_point{})
      trace->TurnaroundUs.push_back(std::chrono::duration<double, std::micro>(start - trace->LastAnswer).count());

    emulator::TDeviceResponse response = emulator->HandleReport(report, length);
    TClock::time_point writeEnd = start + std::chrono::milliseconds(timing.OutMs);
    if (timing.Clock == TLinkClock::Frames && timing.OutMs > 0) {
      // The simulated back end counts whole milliseconds from the end of this
      // call, so the waits happen here: for the frame boundary that ends the
      // write, and for the frame that brings the answer, which is then
      // readable when the write returns. A reply that fell due later would
      // wake the reader once to learn when and once more to take it, a
      // wake-up that hidraw, waking its reader when the data comes, does not
      // cost.
      writeEnd = FrameBoundaryAfter(start, timing.OutMs - 1);
      const TClock::time_point answer = writeEnd + std::chrono::milliseconds(timing.InMs);
      std::this_thread::sleep_until(answer);
      if (!response.Replies.empty())
        response.Replies.front().DelayMs = std::max(0, response.Replies.front().DelayMs - timing.InMs);
      if (trace && !response.Replies.empty()) trace->LastAnswer = answer;
      return response;
    }
    response.WriteDelayMs = std::max(response.WriteDelayMs, timing.OutMs);
    // The whole answer travels in one frame: the first reply carries the
    // delay, the rest follow it at once.
    if (!response.Replies.empty()) {
      response.Replies.front().DelayMs = std::max(response.Replies.front().DelayMs, timing.InMs);
      if (trace) trace->LastAnswer = writeEnd + std::chrono::milliseconds(timing.InMs);
    }
    return response;
  };
}

}  // namespace kvm::bench
