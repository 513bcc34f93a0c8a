// What the operator is told when the programmer is present but its device
// node cannot be opened for reading and writing: on Linux a normal user gets
// no access to /dev/hidraw* until a udev rule grants it.
#pragma once

#include <string>

namespace kvm::hid {
class THidDevice;
}

namespace kvm::link {

// The rule shipped in packaging/ and installed into lib/udev/rules.d. It sorts
// before 73-seat-late.rules, which applies the "uaccess" tag it sets.
inline constexpr const char* UdevRuleName = "70-kvmflash.rules";

// "Cannot open /dev/hidraw3 for reading and writing: install the udev rule
// 70-kvmflash.rules, then plug the programmer in again (kvmflash-cli doctor
// tells what is missing)"; without the rule's advice elsewhere.
std::string NoAccessText(const std::string& devicePath);

// Why no command can reach a programmer that is present: "KVM programmer at
// /dev/hidraw3 is in use by PID 4242 (kvmflash-cli)" when another program
// holds it, else NoAccessText with the system's reason.
std::string UnusableText(const hid::THidDevice& device);

}  // namespace kvm::link
