#include "link/DeviceIdentity.h"

#include <cstdio>

#include "hid/HidDevice.h"

namespace kvm::link {

std::string DeviceIdText(std::uint16_t vendorId, std::uint16_t productId) {
  char text[40];
  std::snprintf(text, sizeof text, "Device VID=%.4X PID=%.4X", static_cast<unsigned>(vendorId),
                static_cast<unsigned>(productId));
  return text;
}

std::string DescribeDevice(hid::THidDevice& device) {
  std::string line = hid::ToText(device.GetProductName());
  if (line.empty()) line = DeviceIdText(device.Attributes().VendorID, device.Attributes().ProductID);
  const std::string serial = hid::ToText(device.GetSerialNumber());
  if (!serial.empty()) line += " (Serial=" + serial + ")";
  return line;
}

}  // namespace kvm::link
