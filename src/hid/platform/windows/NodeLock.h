// Whoever connects a programmer owns it until it gives it back. HID handles
// must share the device with the system (a keyboard's, a mouse's), so the
// hold is a lock file of its own per device path, opened without sharing:
// a second process is refused, and the system frees it when this process
// closes it or ends.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace kvm::hid::platform::windows {

// The error Open reports for a device that another process holds.
inline constexpr std::uint32_t DeviceInUseError = 32;  // ERROR_SHARING_VIOLATION

// Takes this process's hold on `devicePath`, or shares the one it already
// has; the hold ends with the last holder. Null with `error` set.
std::shared_ptr<void> HoldDevice(const std::string& devicePath, std::uint32_t& error);

}  // namespace kvm::hid::platform::windows
