#include "cli/CommandSupport.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>

namespace kvm::cli {

namespace {
// Binary on Windows, where the C runtime would otherwise translate line ends.
#ifdef _WIN32
constexpr int OpenFlags = O_BINARY | O_NOINHERIT;
#else
constexpr int OpenFlags = O_CLOEXEC;
#endif

std::string SystemError(const char* action, const std::string& path, int error) {
  return std::string(action) + " " + path + ": " + std::strerror(error);
}
}  // namespace

void PrintError(const std::string& message) {
  std::fflush(stdout);
  std::fprintf(stderr, "kvmflash-cli: %s\n", message.c_str());
}

CLI::Option* AddTargetOption(CLI::App& command, TTarget& target) {
  static const std::map<std::string, TTarget> names{{"usb-host", TTarget::UsbHost}, {"osd", TTarget::Osd}};
  return command.add_option("--target", target, "Target the file is meant for: usb-host (default) or osd")
      ->transform(CLI::CheckedTransformer(names))
      ->option_text("usb-host|osd");
}

std::string HexText(unsigned value, int digits) {
  char text[16];
  std::snprintf(text, sizeof text, "%0*X", digits, value);
  return text;
}

std::string TargetName(TTarget target) { return target == TTarget::UsbHost ? "USB Host" : "OSD"; }

bool ReadFileHead(const std::string& path, std::vector<std::uint8_t>& data, std::int64_t& fileLength,
                  std::string& error, std::size_t limit) {
  const int fd = ::open(path.c_str(), O_RDONLY | OpenFlags);
  if (fd < 0) {
    error = SystemError("open", path, errno);
    return false;
  }
  struct stat info {};
  if (::fstat(fd, &info) != 0) {
    error = SystemError("stat", path, errno);
    ::close(fd);
    return false;
  }
  if (!S_ISREG(info.st_mode)) {
    ::close(fd);
    error = "read " + path + ": not a regular file";
    return false;
  }
  fileLength = info.st_size;
  data.clear();
  std::uint8_t chunk[64 * 1024];
  while (data.size() < limit) {
    const ssize_t n = ::read(fd, chunk, std::min(sizeof chunk, limit - data.size()));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      error = SystemError("read", path, errno);
      ::close(fd);
      return false;
    }
    if (n == 0) break;
    data.insert(data.end(), chunk, chunk + n);
  }
  ::close(fd);
  return true;
}

bool ReadWholeFile(const std::string& path, std::vector<std::uint8_t>& data, std::string& error) {
  std::int64_t length = 0;
  return ReadFileHead(path, data, length, error);
}

bool WriteWholeFile(const std::string& path, const std::vector<std::uint8_t>& data, std::string& error) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | OpenFlags, 0644);
  if (fd < 0) {
    error = SystemError("open", path, errno);
    return false;
  }
  std::size_t done = 0;
  while (done < data.size()) {
    const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      error = SystemError("write", path, errno);
      ::close(fd);
      return false;
    }
    done += static_cast<std::size_t>(n);
  }
  if (::close(fd) != 0) {
    error = SystemError("close", path, errno);
    return false;
  }
  return true;
}

}  // namespace kvm::cli
