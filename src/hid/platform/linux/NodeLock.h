// Whoever connects a programmer owns it until it gives it back: every handle
// with access to a node holds this process's exclusive advisory lock on it
// (flock), so that a second process is refused instead of sending its
// commands into a running job.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace kvm::hid::platform::linux_hid {

// The error Open reports for a node that another process holds.
inline constexpr std::uint32_t NodeInUseError = 16;  // EBUSY

// Takes this process's hold on the node `fd` was opened on, or shares the
// hold it already has there; the hold ends with the last holder. Null with
// `error` set (NodeInUseError when another process holds the node).
std::shared_ptr<void> HoldNode(const std::string& devicePath, int fd, std::uint32_t& error);

// "in use by PID 4242 (kvmflash-cli)" for the process that holds the lock on
// `devicePath`, as /proc/locks tells; "in use by another program" when it
// does not say.
std::string NodeHolderText(const std::string& devicePath);

}  // namespace kvm::hid::platform::linux_hid
