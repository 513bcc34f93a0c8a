#include "cli/CommandSupport.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstdio>
#include <cstring>

#include "firmware/FirmwareImage.h"
#include "firmware/ReadOnlyFile.h"

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

namespace {
std::string firstError;
}  // namespace

void PrintError(const std::string& message) {
  if (firstError.empty()) firstError = message;
  std::fflush(stdout);
  std::fprintf(stderr, "kvmflash-cli: %s\n", message.c_str());
}

std::string FirstError() { return firstError; }

CLI::Option* AddTargetOption(CLI::App& command, TTarget& target) {
  // Turns the name into the number CLI11 stores in the enum, or says what is allowed.
  const CLI::Validator names(
      [](std::string& text) -> std::string {
        if (text == "usb-host") text = std::to_string(static_cast<int>(TTarget::UsbHost));
        else if (text == "osd") text = std::to_string(static_cast<int>(TTarget::Osd));
        else return "the target is usb-host or osd, not '" + text + "'";
        return {};
      },
      "usb-host|osd");
  return command.add_option("--target", target, "Target the file is meant for: usb-host (default) or osd")
      ->transform(names)
      ->option_text("usb-host|osd");
}

CLI::Validator NumberIn(long minimum, long maximum) {
  return CLI::Validator(
      [minimum, maximum](const std::string& text) -> std::string {
        errno = 0;
        char* end = nullptr;
        const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
        const long value = std::strtol(text.c_str(), &end, hex ? 16 : 10);
        if (text.empty() || *end != '\0' || errno != 0 || value < minimum || value > maximum)
          return "a number from " + std::to_string(minimum) + " to " + std::to_string(maximum) +
                 " is needed (decimal, or hexadecimal with 0x), not '" + text + "'";
        return {};
      },
      std::to_string(minimum) + ".." + std::to_string(maximum));
}

std::string HexText(unsigned value, int digits) {
  char text[16];
  std::snprintf(text, sizeof text, "%0*X", digits, value);
  return text;
}

std::string TargetName(TTarget target) { return target == TTarget::UsbHost ? "USB Host" : "OSD"; }

bool ReadFileHead(const std::string& path, std::vector<std::uint8_t>& data, std::int64_t& fileLength,
                  std::string& error, std::size_t limit) {
  // The jobs' own reader: a FIFO or device is refused at once instead of
  // blocking in open.
  int fd = -1;
  if (firmware::detail::OpenImageFile(path, fd, fileLength) != firmware::ImageOk) {
    error = firmware::LastImageErrorDetail();
    return false;
  }
  firmware::detail::TFileCloser closer(fd);
  const auto wanted = static_cast<std::int64_t>(std::min<std::uint64_t>(limit, static_cast<std::uint64_t>(fileLength)));
  data.assign(static_cast<std::size_t>(wanted), 0);
  const std::int64_t got = firmware::detail::ReadUpTo(fd, path, data.data(), wanted);
  if (got < 0) {
    error = firmware::LastImageErrorDetail();
    return false;
  }
  data.resize(static_cast<std::size_t>(got));
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
