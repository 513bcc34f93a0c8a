#include "LinkModel.h"

#include <algorithm>

namespace kvm::bench {

emulator::TDeviceResponder ModelledLink(std::shared_ptr<emulator::TProgrammerEmulator> emulator,
                                        TLinkTiming timing) {
  return [emulator, timing](const std::uint8_t* report, std::size_t length) {
    emulator::TDeviceResponse response = emulator->HandleReport(report, length);
    response.WriteDelayMs = std::max(response.WriteDelayMs, timing.OutMs);
    // The whole answer travels in the frame after the write: the first reply
    // carries the delay, the rest follow it at once.
    if (!response.Replies.empty())
      response.Replies.front().DelayMs = std::max(response.Replies.front().DelayMs, timing.InMs);
    return response;
  };
}

}  // namespace kvm::bench
