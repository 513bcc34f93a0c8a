#include "link/DeviceIdentity.h"

#include <algorithm>
#include <cstdio>

#include "hid/HidDevice.h"

namespace kvm::link {

std::string DeviceIdText(std::uint16_t vendorId, std::uint16_t productId) {
  char text[40];
  std::snprintf(text, sizeof text, "Device VID=%.4X PID=%.4X", static_cast<unsigned>(vendorId),
                static_cast<unsigned>(productId));
  return text;
}

bool SameSerial(const std::string& a, const std::string& b) {
  const auto lower = [](unsigned char c) { return c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c; };
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [&](char x, char y) { return lower(x) == lower(y); });
}

std::string DescribeDevice(hid::THidDevice& device) {
  std::string line = hid::ToText(device.GetProductName());
  if (line.empty()) line = DeviceIdText(device.Attributes().VendorID, device.Attributes().ProductID);
  const std::string serial = hid::ToText(device.GetSerialNumber());
  if (!serial.empty()) line += " (Serial=" + serial + ")";
  return line;
}

}  // namespace kvm::link
