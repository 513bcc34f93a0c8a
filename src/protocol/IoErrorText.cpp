// Log texts of failed reads and writes: "WRITE ERROR: <system text> (<hex>)".
#include <cstdio>
#include <cstring>

#include "hid/HidControllerClass.h"
#include "hid/HidDevice.h"
#include "protocol/ProgrammerProtocol.h"

namespace kvm::protocol {

namespace {

// System texts often end in ".\r\n" (or a blank); the log line carries the
// code after the text, so those endings are cut.
std::string TrimSystemText(std::string text) {
  while (!text.empty()) {
    const unsigned char c = static_cast<unsigned char>(text.back());
    if (c == ' ' || c == '.' || c < 0x20 || c == 0x7F)
      text.pop_back();
    else
      break;
  }
  return text;
}

}  // namespace

std::string FormatIoError(const char* prefix, std::uint32_t error, const std::string& systemText) {
  char code[16];
  std::snprintf(code, sizeof code, "%X", static_cast<unsigned>(error));
  std::string text = TrimSystemText(systemText);
  if (text.empty()) text = "Unknown error";
  return std::string(prefix) + ": " + text + " (" + code + ")";
}

std::string FormatIoError(const char* prefix, std::uint32_t error) {
  return FormatIoError(prefix, error, SystemErrorText(nullptr, error));
}

std::string SystemErrorText(const hid::THidDevice* device, std::uint32_t error) {
  if (device != nullptr && device->Controller() != nullptr)
    return device->Controller()->Platform().ErrorText(error);
  return std::strerror(static_cast<int>(error));
}

}  // namespace kvm::protocol
