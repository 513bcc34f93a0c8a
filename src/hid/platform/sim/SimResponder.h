// The interface a simulated device answers through: what it does with one
// output report (the input reports it answers with and the effects on the
// transport: a slow write, a failed write, the device going away). The
// simulated HID back end acts on all of it; a transport that only carries
// reports uses the replies alone. Device models (the programmer emulator)
// implement it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

namespace kvm::hid::platform {

struct TInputReport {
  std::vector<std::uint8_t> Bytes;  // report ID first
  int DelayMs = 0;                  // after the write, or after the previous reply of the same write
};

struct TDeviceResponse {
  std::vector<TInputReport> Replies;
  int WriteDelayMs = 0;          // the write itself takes this long
  std::uint32_t WriteError = 0;  // not 0: the write fails with this errno and nothing is answered
  bool Unplug = false;           // the device goes away once the write has completed
};

// A device model behind a transport: one written output report in, one response out.
using TDeviceResponder = std::function<TDeviceResponse(const std::uint8_t* report, std::size_t length)>;
// The reply-only form used by transports that cannot model timing or failures.
using TReplyFunction = std::function<std::vector<std::vector<std::uint8_t>>(const std::uint8_t* report, std::size_t length)>;

}  // namespace kvm::hid::platform
