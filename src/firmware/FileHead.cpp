#include <algorithm>

#include "firmware/FirmwareImage.h"
#include "firmware/ReadOnlyFile.h"

namespace kvm::firmware {

bool ReadFileHead(const std::string& path, std::vector<std::uint8_t>& data, std::int64_t& fileLength,
                  std::string& error, std::size_t limit) {
  // The jobs' own reader: a FIFO or device is refused at once instead of
  // blocking in open.
  int fd = -1;
  if (detail::OpenImageFile(path, fd, fileLength) != ImageOk) {
    error = LastImageErrorDetail();
    return false;
  }
  detail::TFileCloser closer(fd);
  const auto wanted = static_cast<std::int64_t>(std::min<std::uint64_t>(limit, static_cast<std::uint64_t>(fileLength)));
  data.assign(static_cast<std::size_t>(wanted), 0);
  const std::int64_t got = detail::ReadUpTo(fd, path, data.data(), wanted);
  if (got < 0) {
    error = LastImageErrorDetail();
    return false;
  }
  data.resize(static_cast<std::size_t>(got));
  return true;
}

}  // namespace kvm::firmware
