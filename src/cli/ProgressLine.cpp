#include "cli/ProgressLine.h"

#include <sys/ioctl.h>
#include <unistd.h>

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

TProgressLine::TProgressLine(int fd) : fd_(fd), active_(::isatty(fd) == 1) {}

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
  winsize size{};
  if (::ioctl(fd_, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
  return FallbackWidth;
}

}  // namespace kvm::cli
