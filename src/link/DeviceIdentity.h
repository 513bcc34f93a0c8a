// How the KVM programmer is recognised among the HID devices, and the line
// that describes a device in the device list.
#pragma once

#include <cstdint>
#include <string>

#include "wire/ProgrammerWire.h"

namespace kvm::hid {
class THidDevice;
}

namespace kvm::link {

using wire::ProgrammerVendorID;
using wire::ProgrammerProductID;
using wire::ProgrammerInputReportLength;

// The product string, or "Device VID=0B39 PID=FF03" when there is none;
// then " (Serial=...)" when the device has a serial number.
std::string DescribeDevice(hid::THidDevice& device);

// Serial numbers as people type them: the same letters in any case
// ("sn0002" is SN0002).
bool SameSerial(const std::string& a, const std::string& b);

// "Device VID=%.4X PID=%.4X": upper-case hex, at least four digits.
std::string DeviceIdText(std::uint16_t vendorId, std::uint16_t productId);

}  // namespace kvm::link
