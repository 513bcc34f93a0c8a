// The HID library's string buffers and how their text is taken out of them.
#pragma once

#include <cstddef>
#include <string>

namespace kvm::hid::platform::windows {

// Every string query uses a 508-byte buffer: 254 UTF-16 units.
inline constexpr std::size_t kStringBufferBytes = 508;
inline constexpr std::size_t kStringBufferUnits = kStringBufferBytes / 2;

// The text up to the first zero unit, all 254 units when there is none.
std::u16string TextFromStringBuffer(const char16_t (&buffer)[kStringBufferUnits]);

// Length of a language-ID table written over a buffer pre-filled with 0xFFFF:
// walking back from the last unit, the first unit that is not 0xFFFF ends the
// table (a zero there is its terminator, not part of it); 0 when untouched.
std::size_t LanguageTableLength(const char16_t (&languages)[kStringBufferUnits]);

// A device without a serial string answers the serial query with its
// language-ID table: the serial is empty when its first n units equal the
// table (n = LanguageTableLength, and also when n is 0), its text otherwise.
std::u16string SerialFromBuffers(const char16_t (&serial)[kStringBufferUnits],
                                 const char16_t (&languages)[kStringBufferUnits]);

}  // namespace kvm::hid::platform::windows
