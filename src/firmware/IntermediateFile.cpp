#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "firmware/FirmwareImage.h"
#include "firmware/ImageErrors.h"
#include "firmware/PrivateFolder.h"

namespace kvm::firmware {

namespace {

constexpr const char* IntermediateName = "bootsect.d0s";

std::string Environment(const char* name) {
  const char* value = std::getenv(name);
  return value == nullptr ? std::string() : std::string(value);
}

bool IsPrivateToUs(const struct stat& st) {
  return S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() && (st.st_mode & 077) == 0;
}

// The session's runtime folder is private by definition, but an odd
// environment may point it anywhere; then the temporary folder is used.
bool IsUsableRuntimeFolder(const std::string& path) {
  if (path.empty() || path.front() != '/') return false;
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && IsPrivateToUs(st) &&
         ::access(path.c_str(), W_OK | X_OK) == 0;
}

std::string ModeText(mode_t mode) {
  char text[8];
  std::snprintf(text, sizeof text, "%04o", static_cast<unsigned>(mode & 07777));
  return text;
}

}  // namespace

std::string IntermediateFile() { return detail::IntermediateFolder() + "/" + IntermediateName; }

namespace detail {

std::string IntermediateFolder() {
  const std::string runtime = Environment("XDG_RUNTIME_DIR");
  if (IsUsableRuntimeFolder(runtime)) return runtime + "/kvmflash";
  std::string temporary = Environment("TMPDIR");
  if (temporary.empty() || temporary.front() != '/') temporary = "/tmp";
  while (temporary.size() > 1 && temporary.back() == '/') temporary.pop_back();
  const std::string separator = temporary == "/" ? "" : "/";
  return temporary + separator + "kvmflash-" + std::to_string(::geteuid());
}

int PreparePrivateFolder(const std::string& folder) {
  bool created = false;
  if (::mkdir(folder.c_str(), 0700) == 0) {
    created = true;
  } else if (errno != EEXIST) {
    return FailWithErrno(FileUnwritable, "create folder", folder, errno);
  }
  // Opened without following links, and checked through the open handle, so
  // what is checked is what is there.
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ELOOP || errno == ENOTDIR)
      return FailWithText(FileUnwritable, folder + " is not a folder of its own (a link or a file)");
    return FailWithErrno(FileUnwritable, "open folder", folder, errno);
  }
  struct stat st {};
  int result = ImageOk;
  if (created && ::fchmod(fd, 0700) != 0) {
    // The umask may have cut the mode of a folder just made; put it right.
    result = FailWithErrno(FileUnwritable, "set the mode of", folder, errno);
  } else if (::fstat(fd, &st) != 0) {
    result = FailWithErrno(FileUnwritable, "stat", folder, errno);
  } else if (st.st_uid != ::geteuid()) {
    result = FailWithText(FileUnwritable, folder + " belongs to another user (uid " +
                                              std::to_string(st.st_uid) + ")");
  } else if ((st.st_mode & 07777) != 0700) {
    result = FailWithText(FileUnwritable,
                          folder + " is not private (mode " + ModeText(st.st_mode) + ", not 0700)");
  }
  ::close(fd);
  return result;
}

}  // namespace detail
}  // namespace kvm::firmware
