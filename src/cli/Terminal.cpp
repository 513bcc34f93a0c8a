#include "cli/Terminal.h"

#ifdef _WIN32
#include <windows.h>
#include <io.h>
#ifndef ENABLE_VIRTUAL_TERMINAL_PROCESSING
#define ENABLE_VIRTUAL_TERMINAL_PROCESSING 0x0004
#endif
#else
#include <sys/ioctl.h>
#include <unistd.h>
#endif

namespace kvm::cli {

namespace {
constexpr int FallbackWidth = 80;
}

bool IsTerminal(int fd) { return ::isatty(fd) == 1; }

bool IsLiveTerminal(int fd) {
  if (!IsTerminal(fd)) return false;
#ifdef _WIN32
  const HANDLE console = reinterpret_cast<HANDLE>(::_get_osfhandle(fd));
  DWORD mode = 0;
  if (!GetConsoleMode(console, &mode)) return false;
  return SetConsoleMode(console, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0;
#else
  return true;
#endif
}

int TerminalWidth(int fd) {
#ifdef _WIN32
  CONSOLE_SCREEN_BUFFER_INFO info{};
  const HANDLE console = reinterpret_cast<HANDLE>(::_get_osfhandle(fd));
  if (GetConsoleScreenBufferInfo(console, &info) && info.srWindow.Right >= info.srWindow.Left)
    return info.srWindow.Right - info.srWindow.Left + 1;
#else
  winsize size{};
  if (::ioctl(fd, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
#endif
  return FallbackWidth;
}

void WriteToTerminal(int fd, const std::string& text) {
  std::size_t done = 0;
  while (done < text.size()) {
    const auto n = ::write(fd, text.data() + done, static_cast<unsigned>(text.size() - done));
    if (n <= 0) return;
    done += static_cast<std::size_t>(n);
  }
}

}  // namespace kvm::cli
