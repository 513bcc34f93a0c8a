#include "hid/platform/linux/SysfsText.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace kvm::hid::platform::linux_hid {

std::optional<std::vector<std::uint8_t>> ReadFileBytes(const std::string& path, std::size_t limit) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  std::vector<std::uint8_t> bytes(limit);
  std::size_t used = 0;
  bool ok = true;
  while (used < limit) {
    const ssize_t n = ::read(fd, bytes.data() + used, limit - used);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) ok = false;
    if (n <= 0) break;
    used += static_cast<std::size_t>(n);
  }
  ::close(fd);
  if (!ok) return std::nullopt;
  bytes.resize(used);
  return bytes;
}

std::optional<std::string> ReadAttribute(const std::string& directory, const char* name) {
  if (directory.empty()) return std::nullopt;
  const auto bytes = ReadFileBytes(directory + "/" + name);
  if (!bytes) return std::nullopt;
  std::string text(bytes->begin(), bytes->end());
  while (!text.empty() && (text.back() == '\n' || text.back() == '\0')) text.pop_back();
  return text;
}

namespace {

// Length of the sequence a lead byte starts and the bits it carries; 0 for a
// byte that cannot start one.
int SequenceLength(unsigned char lead, char32_t& bits) {
  if (lead < 0x80) return bits = lead, 1;
  if (lead >= 0xC2 && lead < 0xE0) return bits = lead & 0x1F, 2;
  if (lead >= 0xE0 && lead < 0xF0) return bits = lead & 0x0F, 3;
  if (lead >= 0xF0 && lead < 0xF5) return bits = lead & 0x07, 4;
  return 0;
}

}  // namespace

std::u16string Utf8ToUtf16(const std::string& text) {
  static constexpr char32_t Smallest[] = {0, 0, 0x80, 0x800, 0x10000};
  std::u16string out;
  std::size_t i = 0;
  while (i < text.size()) {
    char32_t code = 0;
    const int length = SequenceLength(static_cast<unsigned char>(text[i]), code);
    bool ok = length > 0 && text.size() - i >= static_cast<std::size_t>(length);
    for (int k = 1; ok && k < length; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      ok = (next & 0xC0) == 0x80;
      code = (code << 6) | (next & 0x3F);
    }
    ok = ok && code >= Smallest[length] && code <= 0x10FFFF && !(code >= 0xD800 && code <= 0xDFFF);
    if (!ok) {
      out.push_back(u'\uFFFD');
      ++i;
      continue;
    }
    i += static_cast<std::size_t>(length);
    if (code >= 0x10000) {
      code -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (code >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (code & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(code));
    }
  }
  return out;
}

}  // namespace kvm::hid::platform::linux_hid
