// Any byte string as a HID report descriptor: the reader must never read past
// it, and what it returns must be consistent.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "hid/platform/ReportDescriptor.h"

using kvm::hid::THidCaps;

namespace {

bool AllZero(const THidCaps& caps) {
  return caps.Usage == 0 && caps.UsagePage == 0 && caps.InputReportByteLength == 0 &&
         caps.OutputReportByteLength == 0 && caps.FeatureReportByteLength == 0 &&
         caps.NumberLinkCollectionNodes == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // An exact-size copy, so that AddressSanitizer sees every byte past the end.
  std::vector<std::uint8_t> descriptor(data, data + size);
  THidCaps caps;
  caps.InputReportByteLength = 0xAAAA;  // must be overwritten either way
  const bool ok = kvm::hid::platform::ComputeCaps(descriptor.data(), descriptor.size(), caps);
  if (!ok && !AllZero(caps)) std::abort();

  const kvm::hid::platform::TDescriptorData parsed(descriptor);
  if (parsed.Valid() != ok) std::abort();
  if (std::memcmp(&parsed.Caps(), &caps, sizeof caps) != 0) std::abort();
  if (parsed.Descriptor() != descriptor) std::abort();
  return 0;
}
