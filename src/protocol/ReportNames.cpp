#include "protocol/ReportNames.h"

#include <cstdio>

namespace kvm::protocol {

std::string ReportStepName(const std::vector<std::uint8_t>& report) {
  // Report ID, target, command, then the command's arguments.
  if (report.size() < 3) return {};
  switch (report[2]) {
    case 0x01: return "the disable command";
    case 0x02: return "the enable command";
    case 0x03: return "the initialise command";
    case 0x04: return "the chip ID command";
    case 0x06:
      if (report.size() >= 5) return "block " + std::to_string(report[3] * 256 + report[4]);
      return "a block write";
    case 0x09: return "the checksum command";
    default: break;
  }
  char text[32];
  std::snprintf(text, sizeof text, "command 0x%02X", report[2]);
  return text;
}

}  // namespace kvm::protocol
