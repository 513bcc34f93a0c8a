#include "protocol/ReportNames.h"

#include <cstdio>

#include "wire/ProgrammerWire.h"

namespace kvm::protocol {

using namespace wire;

std::string ReportStepName(const std::vector<std::uint8_t>& report) {
  // Report ID, target, command, then the command's arguments.
  if (report.size() <= CommandOffset) return {};
  switch (report[CommandOffset]) {
    case CommandDisable: return "the disable command";
    case CommandEnable: return "the enable command";
    case CommandInit: return "the initialise command";
    case CommandChipID: return "the chip ID command";
    case CommandBlockWrite:
      if (report.size() > BlockNumberOffset + 1)
        return "block " + std::to_string(report[BlockNumberOffset] * 256 + report[BlockNumberOffset + 1]);
      return "a block write";
    case CommandCheckSum: return "the checksum command";
    default: break;
  }
  char text[32];
  std::snprintf(text, sizeof text, "command 0x%02X", report[CommandOffset]);
  return text;
}

}  // namespace kvm::protocol
