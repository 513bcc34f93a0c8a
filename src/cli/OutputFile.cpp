#include "cli/OutputFile.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "firmware/PathParts.h"
#include "firmware/ReplaceFile.h"

namespace kvm::cli {

namespace {

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
  if (::lstat(output.c_str(), &out) == 0) {
    if (S_ISLNK(out.st_mode)) {
      struct stat target {};
      if (inputKnown && ::stat(output.c_str(), &target) == 0 && SameFile(target, in))
        return fail("it is a link to the input " + input);
    } else if (!S_ISREG(out.st_mode)) {
      return fail(std::string("it exists and is ") + KindOf(out.st_mode));
    } else if (inputKnown && SameFile(out, in)) {
      return fail("it is the input file " + input);
    }
  } else if (errno != ENOENT) {
    return failErrno("stat", errno);
  }

  std::string failed;
  if (!firmware::ReplaceFileContent(output, data.data(), data.size(), firmware::TNewFileMode::LikeTheOld, failed))
    return fail(failed);
  return true;
}

}  // namespace kvm::cli
