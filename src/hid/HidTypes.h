// Records that the HID layer hands to its users.
#pragma once

#include <cstdint>

namespace kvm::hid {

// Identity of a device, read once when the device object is created.
struct THidAttributes {
  std::uint32_t Size = 12;
  std::uint16_t VendorID = 0;
  std::uint16_t ProductID = 0;
  std::uint16_t VersionNumber = 0;
};

// Capabilities of a top-level collection. Report lengths count the report-ID
// byte, the way the Windows HID library reports them; all zero when unknown.
struct THidCaps {
  std::uint16_t Usage = 0;
  std::uint16_t UsagePage = 0;
  std::uint16_t InputReportByteLength = 0;
  std::uint16_t OutputReportByteLength = 0;
  std::uint16_t FeatureReportByteLength = 0;
  std::uint16_t NumberLinkCollectionNodes = 0;
};

}  // namespace kvm::hid
