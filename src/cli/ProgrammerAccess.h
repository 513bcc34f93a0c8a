// Whether this user can talk to a programmer through its device node, and
// what to do when not.
#pragma once

#include <string>

namespace kvm::hid {
class THidDevice;
}

namespace kvm::cli {

// The system's reason why `node` cannot be opened for reading and writing
// ("Permission denied"), or empty when it can.
std::string NodeAccessError(const std::string& node);

// What makes the node usable: the udev rule, a new plug-in.
std::string AccessFix();
// The same, pointing at the doctor where there is one.
std::string AccessFixWithDoctor();

// Empty when the connected programmer was opened for reading and writing;
// otherwise one line naming its node, the reason and the fix.
std::string ProgrammerAccessProblem(hid::THidDevice& device);

}  // namespace kvm::cli
