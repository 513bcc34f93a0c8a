#include "EmulatedProgrammer.h"

#include <chrono>
#include <thread>

namespace kvm::test {

TOutputResponder ServeEmulator(std::shared_ptr<emulator::TProgrammerEmulator> emulator) {
  return [emulator](const std::uint8_t* report, std::size_t length) {
    const emulator::TDeviceResponse response = emulator->HandleReport(report, length);
    int delayMs = response.WriteDelayMs;
    std::vector<TReport> replies;
    for (const emulator::TInputReport& reply : response.Replies) {
      delayMs += reply.DelayMs;
      replies.push_back(reply.Bytes);
    }
    if (delayMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
    return replies;
  };
}

}  // namespace kvm::test
