#include "cli/ProgressLine.h"

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

#include <algorithm>

namespace kvm::cli {

namespace {
constexpr int BarWidth = 20;
constexpr int FallbackWidth = 80;
constexpr char EraseLine[] = "\r\033[K";

void WriteAll(int fd, const std::string& text) {
  std::size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n <= 0) return;  // a broken terminal must not stop the programming
    done += static_cast<std::size_t>(n);
  }
}
// A terminal that understands the erase-line sequence. A Windows console does
// once asked to (Windows 10 on); older consoles get no live line.
bool IsLiveTerminal(int fd) {
  if (::isatty(fd) != 1) return false;
#ifdef _WIN32
  const HANDLE console = reinterpret_cast<HANDLE>(::_get_osfhandle(fd));
  DWORD mode = 0;
  if (!GetConsoleMode(console, &mode)) return false;
  return SetConsoleMode(console, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0;
#else
  return true;
#endif
}
}  // namespace

std::string FormatProgressLine(const TProgressState& state, int width) {
  std::string line;
  if (state.Maximum > 0) {
    const int position = std::clamp(state.Position, 0, state.Maximum);
    const int filled = position * BarWidth / state.Maximum;
    line += '[';
    line.append(static_cast<std::size_t>(filled), '#');
    line.append(static_cast<std::size_t>(BarWidth - filled), '.');
    line += "] block " + std::to_string(position) + "/" + std::to_string(state.Maximum);
  }
  const auto append = [&line](const std::string& part) {
    if (part.empty()) return;
    if (!line.empty()) line += "  ";
    line += part;
  };
  append(state.Elapsed);
  append(state.Status);
  // The last column stays free: writing into it makes some terminals wrap.
  const auto limit = static_cast<std::size_t>(std::max(width - 1, 0));
  if (line.size() > limit) line.resize(limit);
  return line;
}

TProgressLine::TProgressLine(int fd) : fd_(fd), active_(IsLiveTerminal(fd)) {}

void TProgressLine::Update(const TProgressState& state) {
  if (!active_ || (shown_ && state == state_)) {
    state_ = state;
    return;
  }
  state_ = state;
  Draw();
}

void TProgressLine::Hide() {
  if (!active_ || !shown_) return;
  WriteAll(fd_, EraseLine);
  shown_ = false;
}

void TProgressLine::Show() {
  if (active_ && !shown_) Draw();
}

void TProgressLine::Draw() {
  const std::string line = FormatProgressLine(state_, Width());
  if (shown_ && line == drawn_) return;
  WriteAll(fd_, EraseLine + line);
  drawn_ = line;
  shown_ = true;
}

int TProgressLine::Width() const {
#ifdef _WIN32
  CONSOLE_SCREEN_BUFFER_INFO info{};
  const HANDLE console = reinterpret_cast<HANDLE>(::_get_osfhandle(fd_));
  if (GetConsoleScreenBufferInfo(console, &info) && info.srWindow.Right >= info.srWindow.Left)
    return info.srWindow.Right - info.srWindow.Left + 1;
#else
  winsize size{};
  if (::ioctl(fd_, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
#endif
  return FallbackWidth;
}

}  // namespace kvm::cli
