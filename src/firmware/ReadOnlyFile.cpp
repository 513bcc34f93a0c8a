#include "firmware/ReadOnlyFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "firmware/FirmwareImage.h"
#include "firmware/ImageErrors.h"

namespace kvm::firmware::detail {

int OpenImageFile(const std::string& path, int& fd, std::int64_t& size) {
  fd = -1;
  size = 0;
  // O_NONBLOCK so that a FIFO given by mistake cannot hang the window; it is
  // refused below like any other file that is not a regular one.
  const int opened = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (opened < 0) return FailWithErrno(FileUnreadable, "open", path, errno);
  struct stat st {};
  if (::fstat(opened, &st) != 0) {
    const int err = errno;
    ::close(opened);
    return FailWithErrno(FileUnreadable, "stat", path, err);
  }
  if (!S_ISREG(st.st_mode)) {
    ::close(opened);
    return FailWithText(FileUnreadable, path + " is not a regular file");
  }
  fd = opened;
  size = st.st_size;
  return ImageOk;
}

std::int64_t ReadUpTo(int fd, const std::string& path, std::uint8_t* data, std::int64_t n) {
  std::int64_t done = 0;
  while (done < n) {
    const ssize_t got = ::read(fd, data + done, static_cast<size_t>(n - done));
    if (got < 0) {
      if (errno == EINTR) continue;
      FailWithErrno(FileUnreadable, "read", path, errno);
      return -1;
    }
    if (got == 0) break;
    done += got;
  }
  return done;
}

std::int64_t CurrentSize(int fd, const std::string& path) {
  struct stat st {};
  if (::fstat(fd, &st) != 0) {
    FailWithErrno(FileUnreadable, "stat", path, errno);
    return -1;
  }
  return st.st_size;
}

void CloseFile(int& fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

}  // namespace kvm::firmware::detail
