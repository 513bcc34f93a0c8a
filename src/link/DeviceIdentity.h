// How the KVM programmer is recognised among the HID devices, and the line
// that describes a device in the device list.
#pragma once

#include <cstdint>
#include <string>

namespace kvm::hid {
class THidDevice;
}

namespace kvm::link {

inline constexpr std::uint16_t ProgrammerVendorID = 0x0B39;
inline constexpr std::uint16_t ProgrammerProductID = 0xFF03;
inline constexpr std::uint16_t ProgrammerInputReportLength = 8;  // report ID byte included

// The product string, or "Device VID=0B39 PID=FF03" when there is none;
// then " (Serial=...)" when the device has a serial number.
std::string DescribeDevice(hid::THidDevice& device);

// Serial numbers as people type them: the same letters in any case
// ("sn0002" is SN0002).
bool SameSerial(const std::string& a, const std::string& b);

// "Device VID=%.4X PID=%.4X": upper-case hex, at least four digits.
std::string DeviceIdText(std::uint16_t vendorId, std::uint16_t productId);

}  // namespace kvm::link
