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
std::string errorPath;
}  // namespace

void PrintError(const std::string& message) {
  if (firstError.empty()) firstError = message;
  std::fflush(stdout);
  std::fprintf(stderr, "kvmflash-cli: %s\n", PrintableText(message).c_str());
}

std::string FirstError() { return firstError; }

void SetErrorPath(const std::string& path) {
  if (errorPath.empty()) errorPath = path;
}

std::string ErrorPath() { return errorPath; }

std::string PrintableText(const std::string& text) {
  std::string printable;
  printable.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    const auto byte = static_cast<unsigned char>(c);
    // U+0080..U+009F in UTF-8: the C1 controls, which some terminals obey too.
    if (byte == 0xC2 && i + 1 < text.size() && (static_cast<unsigned char>(text[i + 1]) & 0xE0) == 0x80) {
      printable += "\\u00" + HexText(static_cast<unsigned char>(text[++i]), 2);
      continue;
    }
    if (byte >= 0x20 && byte != 0x7F) {
      printable += c;
      continue;
    }
    switch (c) {
      case '\n': printable += "\\n"; break;
      case '\r': printable += "\\r"; break;
      case '\t': printable += "\\t"; break;
      default: printable += "\\x" + HexText(byte, 2);
    }
  }
  return printable;
}

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

CLI::Validator SecondsIn(double minimum, double maximum) {
  const auto number = [](double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", value);
    return std::string(text);
  };
  return CLI::Validator(
      [minimum, maximum, number](const std::string& text) -> std::string {
        char* end = nullptr;
        const double value = std::strtod(text.c_str(), &end);
        if (text.empty() || *end != '\0' || !(value >= minimum && value <= maximum))
          return "a number of seconds from " + number(minimum) + " to " + number(maximum) + " is needed, not '" +
                 text + "'";
        return {};
      },
      number(minimum) + ".." + number(maximum));
}

std::string AppendFileProblem(const std::string& option, const std::string& path, bool stdoutAllowed) {
  if (path.empty()) return option + ": the file name is empty";
  if (path == "-")
    return stdoutAllowed ? std::string()
                         : option + " -: this output goes to a file, not to standard output; give a file name";
  struct stat info {};
  if (::stat(path.c_str(), &info) == 0) return S_ISDIR(info.st_mode) ? option + " " + path + ": is a folder" : "";
  if (errno != ENOENT) return option + " " + path + ": " + std::strerror(errno);
  const auto slash = path.find_last_of("/\\");
  if (slash == std::string::npos) return {};
  const std::string folder = slash == 0 ? path.substr(0, 1) : path.substr(0, slash);
  if (::stat(folder.c_str(), &info) != 0) return option + " " + path + ": the folder " + folder + " does not exist";
  if (!S_ISDIR(info.st_mode)) return option + " " + path + ": " + folder + " is not a folder";
  return {};
}

std::string EventsAndLogProblem(const std::string& eventsPath, const std::string& logPath) {
  if (!eventsPath.empty())
    if (std::string problem = AppendFileProblem("--events", eventsPath, true); !problem.empty()) return problem;
  if (!logPath.empty()) return AppendFileProblem("--log", logPath, false);
  return {};
}

std::string HexText(unsigned value, int digits) {
  char text[16];
  std::snprintf(text, sizeof text, "%0*X", digits, value);
  return text;
}


bool ReadWholeFile(const std::string& path, std::vector<std::uint8_t>& data, std::string& error) {
  std::int64_t length = 0;
  return firmware::ReadFileHead(path, data, length, error);
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
