#include "cli/OutputFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <random>
#include <utility>

#include "firmware/PathParts.h"

namespace kvm::cli {

namespace {

using firmware::FolderOf;
using firmware::NameOf;

const char* KindOf(mode_t mode) {
  if (S_ISDIR(mode)) return "a folder";
  if (S_ISCHR(mode)) return "a character device";
  if (S_ISBLK(mode)) return "a block device";
  if (S_ISFIFO(mode)) return "a FIFO";
  if (S_ISSOCK(mode)) return "a socket";
  return "not a regular file";
}

bool SameFile(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

// A fixed, short name: the output's own name may already be as long as the
// file system allows.
std::string TemporaryName() {
  static std::mt19937 random{std::random_device{}()};
  char name[32];
  std::snprintf(name, sizeof name, ".kvmflash-%08x", static_cast<unsigned>(random()));
  return name;
}

bool WriteAll(int fd, const std::vector<std::uint8_t>& data) {
  std::size_t done = 0;
  while (done < data.size()) {
    const ssize_t written = ::write(fd, data.data() + done, data.size() - done);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) {
      if (written == 0) errno = EIO;
      return false;
    }
    done += static_cast<std::size_t>(written);
  }
  return true;
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
  int Release() { return std::exchange(fd_, -1); }

 private:
  int fd_;
};

}  // namespace

bool WriteOutputFile(const std::string& output, const std::string& input, const std::vector<std::uint8_t>& data,
                     std::string& error) {
  const auto fail = [&](const std::string& what) {
    error = "write " + output + ": " + what + "; nothing was written";
    return false;
  };
  const auto failErrno = [&](const std::string& what, int err) { return fail(what + ": " + std::strerror(err)); };
  if (output.empty()) {
    error = "the output file name is empty";
    return false;
  }
  const std::string name = NameOf(output);
  if (name.empty() || name == "." || name == "..") return fail("not a file name (it names a folder)");

  struct stat in {};
  const bool inputKnown = !input.empty() && ::stat(input.c_str(), &in) == 0;
  struct stat out {};
  bool replacing = false;
  mode_t mode = 0666;  // cut by the umask when created
  if (::lstat(output.c_str(), &out) == 0) {
    if (S_ISLNK(out.st_mode)) {
      struct stat target {};
      if (inputKnown && ::stat(output.c_str(), &target) == 0 && SameFile(target, in))
        return fail("it is a link to the input " + input);
    } else if (!S_ISREG(out.st_mode)) {
      return fail(std::string("it exists and is ") + KindOf(out.st_mode));
    } else if (inputKnown && SameFile(out, in)) {
      return fail("it is the input file " + input);
    } else {
      replacing = true;
      mode = out.st_mode & 07777;
    }
  } else if (errno != ENOENT) {
    return failErrno("stat", errno);
  }

  const std::string folderPath = FolderOf(output);
  TFd folder(::open(folderPath.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (folder.Get() < 0) return failErrno("open the folder " + folderPath, errno);
  std::string temporary;
  int fd = -1;
  for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
    temporary = TemporaryName();
    fd = ::openat(folder.Get(), temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
    if (fd < 0 && errno != EEXIST) break;
  }
  if (fd < 0) return failErrno("create a new file in " + folderPath, errno);
  TFd file(fd);
  std::string failed;
  int err = 0;
  if (replacing && ::fchmod(file.Get(), mode) != 0) {
    failed = "keep the mode of the old file";
    err = errno;
  } else if (!WriteAll(file.Get(), data)) {
    failed = "write into " + folderPath + "/" + temporary;
    err = errno;
  }
  if (::close(file.Release()) != 0 && failed.empty()) {
    failed = "write into " + folderPath + "/" + temporary;
    err = errno;
  }
  if (failed.empty() && ::renameat(folder.Get(), temporary.c_str(), folder.Get(), name.c_str()) != 0) {
    failed = "replace it";
    err = errno;
  }
  if (!failed.empty()) {
    ::unlinkat(folder.Get(), temporary.c_str(), 0);
    return failErrno(failed, err);
  }
  return true;
}

}  // namespace kvm::cli
