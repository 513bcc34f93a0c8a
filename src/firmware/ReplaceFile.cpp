#include "firmware/ReplaceFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>

#include "firmware/FirmwareImage.h"
#include "firmware/ImageErrors.h"
#include "firmware/PathParts.h"

namespace kvm::firmware::detail {

namespace {

// O_EXCL makes a clash harmless; the varying suffix only keeps clashes rare.
std::string TemporaryName(const std::string& name) {
  static std::atomic<unsigned> counter{0};
  const auto ticks = std::chrono::steady_clock::now().time_since_epoch().count();
  char suffix[48];
  std::snprintf(suffix, sizeof suffix, ".%d.%u.%llx", static_cast<int>(::getpid()), counter++,
                static_cast<unsigned long long>(ticks) & 0xFFFFFFull);
  return "." + name + suffix;
}

class TFolder {
 public:
  explicit TFolder(const std::string& path)
      : fd_(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {}
  ~TFolder() {
    if (fd_ >= 0) ::close(fd_);
  }
  TFolder(const TFolder&) = delete;
  TFolder& operator=(const TFolder&) = delete;
  int Fd() const { return fd_; }

 private:
  int fd_;
};

bool WriteAll(int fd, const std::uint8_t* data, std::size_t size) {
  std::size_t done = 0;
  while (done < size) {
    const ssize_t written = ::write(fd, data + done, size - done);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) {
      if (written == 0) errno = EIO;
      return false;
    }
    done += static_cast<std::size_t>(written);
  }
  return true;
}

}  // namespace

int ReplaceFileContent(const std::string& path, const std::uint8_t* data, std::size_t size) {
  const std::string folderPath = FolderOf(path);
  const std::string name = NameOf(path);
  if (name.empty() || name == "." || name == "..")
    return FailWithText(FileUnwritable, path + " does not name a file");
  TFolder folder(folderPath);
  if (folder.Fd() < 0) return FailWithErrno(FileUnwritable, "open folder", folderPath, errno);

  std::string temporary;
  int fd = -1;
  for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
    temporary = TemporaryName(name);
    fd = ::openat(folder.Fd(), temporary.c_str(),
                  O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0 && errno != EEXIST) break;
  }
  if (fd < 0) return FailWithErrno(FileUnwritable, "create", folderPath + "/" + temporary, errno);

  const std::string temporaryPath = folderPath + "/" + temporary;
  std::string failedAction;
  int err = 0;
  // The creation mode is cut by the umask; the file must be 0600 exactly.
  if (::fchmod(fd, 0600) != 0) {
    failedAction = "set the mode of " + temporaryPath;
    err = errno;
  } else if (!WriteAll(fd, data, size)) {
    failedAction = "write " + temporaryPath;
    err = errno;
  }
  if (::close(fd) != 0 && failedAction.empty()) {
    failedAction = "write " + temporaryPath;
    err = errno;
  }
  if (failedAction.empty() &&
      ::renameat(folder.Fd(), temporary.c_str(), folder.Fd(), name.c_str()) != 0) {
    failedAction = "replace " + path;
    err = errno;
  }
  if (!failedAction.empty()) {
    ::unlinkat(folder.Fd(), temporary.c_str(), 0);
    return FailWithText(FileUnwritable, failedAction + ": " + std::strerror(err));
  }
  return ImageOk;
}

}  // namespace kvm::firmware::detail
