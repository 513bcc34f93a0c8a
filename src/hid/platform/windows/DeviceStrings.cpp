#include "hid/platform/windows/DeviceStrings.h"

namespace kvm::hid::platform::windows {

std::u16string TextFromStringBuffer(const char16_t (&buffer)[kStringBufferUnits]) {
  std::size_t length = 0;
  while (length < kStringBufferUnits && buffer[length] != 0) ++length;
  return std::u16string(buffer, length);
}

std::size_t LanguageTableLength(const char16_t (&languages)[kStringBufferUnits]) {
  for (std::size_t i = kStringBufferUnits; i-- > 0;) {
    if (languages[i] == 0xFFFF) continue;
    return languages[i] == 0 ? i : i + 1;
  }
  return 0;
}

std::u16string SerialFromBuffers(const char16_t (&serial)[kStringBufferUnits],
                                 const char16_t (&languages)[kStringBufferUnits]) {
  const std::size_t n = LanguageTableLength(languages);
  for (std::size_t i = 0; i < n; ++i) {
    if (serial[i] != languages[i]) return TextFromStringBuffer(serial);
  }
  return {};
}

}  // namespace kvm::hid::platform::windows
