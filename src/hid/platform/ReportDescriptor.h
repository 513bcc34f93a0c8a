// Capabilities from a HID report descriptor, computed the way the Windows HID
// library's HidP_GetCaps does: for each report kind, the largest report in
// bytes plus one byte for the report ID. Bounds-checked: a malformed
// descriptor gives zero capabilities, never an over-read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "hid/HidTypes.h"
#include "hid/platform/HidPlatform.h"

namespace kvm::hid::platform {

// False (and caps all zero) when the descriptor is malformed or cut short.
bool ComputeCaps(const std::uint8_t* descriptor, std::size_t length, THidCaps& caps);

// Preparsed data of the POSIX back ends: the descriptor and what it gives.
class TDescriptorData final : public TPreparsedData {
 public:
  explicit TDescriptorData(std::vector<std::uint8_t> descriptor);
  const std::vector<std::uint8_t>& Descriptor() const { return descriptor_; }
  const THidCaps& Caps() const { return caps_; }
  bool Valid() const { return valid_; }
  // Whether the reports carry a report-ID byte of their own. Without IDs,
  // the kernel's nodes give and take reports without that byte.
  bool UsesReportIds() const { return usesReportIds_; }

 private:
  std::vector<std::uint8_t> descriptor_;
  THidCaps caps_;
  bool valid_ = false;
  bool usesReportIds_ = false;
};

}  // namespace kvm::hid::platform
