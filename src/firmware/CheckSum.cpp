#include <vector>

#include "firmware/FirmwareImage.h"
#include "firmware/ImageErrors.h"
#include "firmware/ReadOnlyFile.h"

namespace kvm::firmware {

namespace {
constexpr std::int64_t ChunkLength = 64 * 1024;
}

int FileCheckSum(const std::string& path) {
  detail::ClearErrorDetail();
  int fd = -1;
  std::int64_t size = 0;
  if (const int opened = detail::OpenImageFile(path, fd, size); opened != ImageOk) return opened;
  detail::TFileCloser closer(fd);

  std::vector<std::uint8_t> chunk(ChunkLength);
  // Summing modulo 2^16 after every byte equals summing all and cutting once.
  std::uint32_t sum = 0;
  for (;;) {
    const std::int64_t got = detail::ReadUpTo(fd, path, chunk.data(), ChunkLength);
    if (got < 0) return FileUnreadable;
    std::uint32_t chunkSum = 0;
    for (std::int64_t i = 0; i < got; ++i) chunkSum += chunk[i];
    sum = (sum + chunkSum) & 0xFFFFu;
    if (got < ChunkLength) break;
  }
  return static_cast<int>(sum);
}

bool FileLengthBytes(const std::string& path, std::array<std::uint8_t, 4>& lengthBytes) {
  detail::ClearErrorDetail();
  int fd = -1;
  std::int64_t size = 0;
  if (detail::OpenImageFile(path, fd, size) != ImageOk) return false;
  detail::CloseFile(fd);
  if (size > 0xFFFFFFFFll) {
    detail::FailWithText(ImageTooLarge, path + " is longer than 4 GiB");
    return false;
  }
  const auto length = static_cast<std::uint32_t>(size);
  lengthBytes = {static_cast<std::uint8_t>(length >> 24), static_cast<std::uint8_t>(length >> 16),
                 static_cast<std::uint8_t>(length >> 8), static_cast<std::uint8_t>(length)};
  return true;
}

}  // namespace kvm::firmware
