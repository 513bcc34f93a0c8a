// What a simulated HID interface is: identity, report descriptor, strings and
// the access a process gets to it; plus the devices the tests and the demo use.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "hid/HidTypes.h"

namespace kvm::hid::platform {

enum class TSimAccess {
  ReadWrite,  // every opening succeeds
  QueryOnly,  // only the query-only opening succeeds (a device held by the system)
  None,       // every opening is refused
};

struct TSimDeviceInfo {
  THidAttributes Attributes;
  bool AttributesReadable = true;  // false: the identity query fails
  std::vector<std::uint8_t> ReportDescriptor;
  std::optional<std::u16string> Manufacturer, Product, SerialNumber;  // unset: the query fails
  TSimAccess Access = TSimAccess::ReadWrite;
  // Not empty: another program has connected the device ("PID 77 (other)"),
  // so only the query-only opening succeeds and the others report it busy.
  std::string HeldBy;
  std::string PortPath;  // empty: "sim-<DeviceID>"
};

// The KVM programmer: 0x0B39/0xFF03, input report ID 1 of 7 bytes (8 with the
// ID), output report ID 4 of 63 bytes (64 with the ID).
TSimDeviceInfo SimProgrammer();
// The programmer's IDs with another input report length (report ID included, 2..256).
TSimDeviceInfo SimProgrammerWithInputLength(std::uint16_t inputReportByteLength);
// A sibling product, 0x0B39/0xFF02, with the programmer's reports.
TSimDeviceInfo SimOtherProduct();
// A boot keyboard and a mouse, opened query-only as devices held by the system.
TSimDeviceInfo SimBootKeyboard();
TSimDeviceInfo SimMouse();

// A vendor-page descriptor with one input report `inputId` of `inputBytes`
// bytes and one output report `outputId` of `outputBytes` bytes.
std::vector<std::uint8_t> VendorDescriptor(std::uint8_t inputId, std::uint8_t inputBytes, std::uint8_t outputId,
                                           std::uint8_t outputBytes);

}  // namespace kvm::hid::platform
