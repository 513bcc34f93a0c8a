// Small readers for sysfs attributes and device texts.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kvm::hid::platform::linux_hid {

// The whole content of a file, at most `limit` bytes; nothing when it
// cannot be read.
std::optional<std::vector<std::uint8_t>> ReadFileBytes(const std::string& path, std::size_t limit = 4096);

// A sysfs attribute as text without its trailing newline; nothing when the
// directory is unknown or the attribute is missing.
std::optional<std::string> ReadAttribute(const std::string& directory, const char* name);

// UTF-8 to UTF-16; malformed sequences become U+FFFD.
std::u16string Utf8ToUtf16(const std::string& text);

}  // namespace kvm::hid::platform::linux_hid
