// The outputs that are refused on POSIX systems, told by device and inode.
#include "cli/OutputRefusal.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

namespace kvm::cli {

namespace {

const char* KindOf(mode_t mode) {
  if (S_ISDIR(mode)) return "a folder";
  if (S_ISCHR(mode)) return "a character device";
  if (S_ISBLK(mode)) return "a block device";
  if (S_ISFIFO(mode)) return "a FIFO";
  if (S_ISSOCK(mode)) return "a socket";
  return "not a regular file";
}

bool SameFile(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

}  // namespace

std::string OutputRefusal(const std::string& output, const std::string& input) {
  struct stat in {};
  const bool inputKnown = !input.empty() && ::stat(input.c_str(), &in) == 0;
  struct stat out {};
  if (::lstat(output.c_str(), &out) == 0) {
    if (S_ISLNK(out.st_mode)) {
      struct stat target {};
      if (inputKnown && ::stat(output.c_str(), &target) == 0 && SameFile(target, in))
        return "it is a link to the input " + input;
    } else if (!S_ISREG(out.st_mode)) {
      return std::string("it exists and is ") + KindOf(out.st_mode);
    } else if (inputKnown && SameFile(out, in)) {
      return "it is the input file " + input;
    }
  } else if (errno != ENOENT) {
    return std::string("stat: ") + std::strerror(errno);
  }
  return {};
}

}  // namespace kvm::cli
