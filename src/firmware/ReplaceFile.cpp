#include "firmware/ReplaceFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>

#include "firmware/PathParts.h"

namespace kvm::firmware {

namespace {

// A short name: the file's own name may already be as long as the file
// system allows. O_EXCL makes a clash harmless; the varying part only keeps
// clashes rare, also between threads.
std::string TemporaryName() {
  static std::atomic<unsigned> counter{0};
  const auto ticks = std::chrono::steady_clock::now().time_since_epoch().count();
  char name[48];
  std::snprintf(name, sizeof name, ".kvmflash-%x-%x", static_cast<unsigned>(::getpid()),
                counter++ ^ (static_cast<unsigned>(ticks) & 0xFFF000u));
  return name;
}

class TFd {
 public:
  explicit TFd(int fd) : fd_(fd) {}
  ~TFd() {
    if (fd_ >= 0) ::close(fd_);
  }
  TFd(const TFd&) = delete;
  TFd& operator=(const TFd&) = delete;
  int Get() const { return fd_; }

 private:
  int fd_;
};

bool Fail(std::string& error, const std::string& action, int err) {
  error = action + ": " + std::strerror(err);
  return false;
}

}  // namespace

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

bool ReplaceFileContent(const std::string& path, const std::uint8_t* data, std::size_t size, TNewFileMode mode,
                 std::string& error) {
  const std::string name = NameOf(path);
  if (name.empty() || name == "." || name == "..") {
    error = "not a file name (it names a folder)";
    return false;
  }
  mode_t fileMode = 0600;
  bool setMode = mode == TNewFileMode::Private;
  if (mode == TNewFileMode::LikeTheOld) {
    fileMode = 0666;  // cut by the umask when created
    struct stat old {};
    if (::lstat(path.c_str(), &old) == 0 && S_ISREG(old.st_mode)) {
      fileMode = old.st_mode & 07777;
      setMode = true;
    }
  }

  const std::string folderPath = FolderOf(path);
  TFd folder(::open(folderPath.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (folder.Get() < 0) return Fail(error, "open the folder " + folderPath, errno);
  std::string temporary;
  int fd = -1;
  for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
    temporary = TemporaryName();
    fd = ::openat(folder.Get(), temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, fileMode);
    if (fd < 0 && errno != EEXIST) break;
  }
  if (fd < 0) return Fail(error, "create a new file in " + folderPath, errno);

  const std::string temporaryPath = folderPath + "/" + temporary;
  std::string failed;
  int err = 0;
  // The creation mode is cut by the umask; these modes must hold exactly.
  if (setMode && ::fchmod(fd, fileMode) != 0) {
    failed = "set the mode of " + temporaryPath;
    err = errno;
  } else if (!WriteAll(fd, data, size)) {
    failed = "write into " + temporaryPath;
    err = errno;
  }
  if (::close(fd) != 0 && failed.empty()) {
    failed = "write into " + temporaryPath;
    err = errno;
  }
  if (failed.empty() && ::renameat(folder.Get(), temporary.c_str(), folder.Get(), name.c_str()) != 0) {
    failed = "replace " + path;
    err = errno;
  }
  if (!failed.empty()) {
    ::unlinkat(folder.Get(), temporary.c_str(), 0);
    return Fail(error, failed, err);
  }
  return true;
}

}  // namespace kvm::firmware
