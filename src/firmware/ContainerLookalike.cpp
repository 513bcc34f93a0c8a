#include "firmware/ContainerLookalike.h"

#include <algorithm>
#include <cctype>

#include "firmware/Container.h"
#include "firmware/FirmwareImage.h"
#include "firmware/ReadOnlyFile.h"
#include "wire/ProgrammerWire.h"

namespace kvm::firmware {

namespace {
std::string LowerCase(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
  return text;
}
}  // namespace

bool IsContainerLookalike(int targetCode, const std::string& path) {
  if (IsContainerName(path)) return false;
  int fd = -1;
  std::int64_t size = 0;
  if (detail::OpenImageFile(path, fd, size) != ImageOk) return false;
  detail::TFileCloser closer(fd);
  std::uint8_t head[detail::ContainerHeaderLength] = {};
  const std::int64_t got = detail::ReadUpTo(fd, path, head, sizeof head);
  if (got < static_cast<std::int64_t>(sizeof head)) return false;
  detail::TContainerHeader header;
  return detail::ReadContainerHeader(targetCode, head, static_cast<std::size_t>(size), header) == ImageOk;
}

std::string ContainerEndingFor(int targetCode, const std::string& path) {
  const std::string lower = LowerCase(FileExtension(path));
  if (IsContainerName(lower)) return lower;
  return targetCode == wire::TargetOsd ? ".osd" : ".usb";
}

std::string ContainerLookalikeWarning(int targetCode, const std::string& path) {
  return "Warning: the file starts like a scrambled container but its name makes it a plain image; it is "
         "programmed as it is (rename it to end in " +
         ContainerEndingFor(targetCode, path) + " to have it unscrambled).";
}

}  // namespace kvm::firmware
