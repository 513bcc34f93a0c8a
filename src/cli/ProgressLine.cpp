#include "cli/ProgressLine.h"

#include <algorithm>

#include "cli/Terminal.h"

namespace kvm::cli {

namespace {
constexpr int BarWidth = 20;
constexpr char EraseLine[] = "\r\033[K";
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
  WriteToTerminal(fd_, EraseLine);
  shown_ = false;
}

void TProgressLine::Show() {
  if (active_ && !shown_) Draw();
}

void TProgressLine::Draw() {
  const std::string line = FormatProgressLine(state_, Width());
  if (shown_ && line == drawn_) return;
  WriteToTerminal(fd_, EraseLine + line);
  drawn_ = line;
  shown_ = true;
}

int TProgressLine::Width() const { return TerminalWidth(fd_); }

}  // namespace kvm::cli
