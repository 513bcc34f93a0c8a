// Reading image files on Windows: the C runtime's descriptors in binary mode,
// opened by their wide (UTF-16) names.
#include <windows.h>
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <cerrno>

#include "firmware/FirmwareImage.h"
#include "firmware/ImageErrors.h"
#include "firmware/ReadOnlyFile.h"
#include "firmware/WindowsFiles.h"

namespace kvm::firmware::detail {

int OpenImageFile(const std::string& path, int& fd, std::int64_t& size) {
  fd = -1;
  size = 0;
  const std::wstring wide = WidePath(path);
  const int opened = ::_wopen(wide.c_str(), _O_RDONLY | _O_BINARY | _O_NOINHERIT);
  if (opened < 0) {
    const int err = errno;
    // A folder cannot be opened at all here; say what it is, as elsewhere.
    const DWORD attributes = GetFileAttributesW(wide.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
      return FailWithText(FileUnreadable, path + " is not a regular file");
    return FailWithErrno(FileUnreadable, "open", path, err);
  }
  struct _stat64 st {};
  if (::_fstat64(opened, &st) != 0) {
    const int err = errno;
    ::_close(opened);
    return FailWithErrno(FileUnreadable, "stat", path, err);
  }
  if ((st.st_mode & _S_IFMT) != _S_IFREG) {
    ::_close(opened);
    return FailWithText(FileUnreadable, path + " is not a regular file");
  }
  fd = opened;
  size = st.st_size;
  return ImageOk;
}

std::int64_t ReadUpTo(int fd, const std::string& path, std::uint8_t* data, std::int64_t n) {
  std::int64_t done = 0;
  while (done < n) {
    const std::int64_t left = n - done;
    const unsigned chunk = left > (1 << 30) ? (1u << 30) : static_cast<unsigned>(left);
    const int got = ::_read(fd, data + done, chunk);
    if (got < 0) {
      FailWithErrno(FileUnreadable, "read", path, errno);
      return -1;
    }
    if (got == 0) break;
    done += got;
  }
  return done;
}

std::int64_t CurrentSize(int fd, const std::string& path) {
  struct _stat64 st {};
  if (::_fstat64(fd, &st) != 0) {
    FailWithErrno(FileUnreadable, "stat", path, errno);
    return -1;
  }
  return st.st_size;
}

void CloseFile(int& fd) {
  if (fd >= 0) ::_close(fd);
  fd = -1;
}

}  // namespace kvm::firmware::detail
