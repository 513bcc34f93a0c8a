// Words for an output report of the programmer protocol, for messages about
// a report rather than the report's own effect (e.g. where a replay stopped).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kvm::protocol {

// "block 12", "the enable command", "command 0x07"; empty when the report is
// too short to carry a command.
std::string ReportStepName(const std::vector<std::uint8_t>& report);

}  // namespace kvm::protocol
