#include "cli/StationScreen.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>

namespace kvm::cli {

namespace {
constexpr int FallbackWidth = 80;
// Eight units writing blocks would otherwise redraw thousands of times a second.
constexpr std::int64_t RedrawIntervalMs = 100;

void WriteAll(int fd, const std::string& text) {
  std::size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n <= 0) return;  // a broken terminal must not stop the programming
    done += static_cast<std::size_t>(n);
  }
}

std::int64_t NowMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

int Width(int fd) {
  winsize size{};
  if (::ioctl(fd, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
  return FallbackWidth;
}
}  // namespace

TStationScreen::TStationScreen(bool printLines, int progressFd)
    : printLines_(printLines), fd_(progressFd), active_(::isatty(progressFd) == 1) {}

TStationScreen::~TStationScreen() { HideProgress(); }

void TStationScreen::PrintLine(const std::string& line) {
  if (!printLines_) return;
  std::lock_guard lock(mutex_);
  EraseLocked();
  std::fputs(line.c_str(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
  DrawLocked(true);
}

void TStationScreen::PrintError(const std::string& message) {
  std::lock_guard lock(mutex_);
  EraseLocked();
  std::fflush(stdout);
  std::fprintf(stderr, "kvmflash-cli: %s\n", message.c_str());
  DrawLocked(true);
}

void TStationScreen::UpdateProgress(const std::string& prefix, const TProgressState& state) {
  if (!active_) return;
  std::lock_guard lock(mutex_);
  const bool added = units_.count(prefix) == 0;
  units_[prefix] = state;
  DrawLocked(added);
}

void TStationScreen::RemoveProgress(const std::string& prefix) {
  if (!active_) return;
  std::lock_guard lock(mutex_);
  if (units_.erase(prefix) == 0) return;
  EraseLocked();
  DrawLocked(true);
}

void TStationScreen::HideProgress() {
  std::lock_guard lock(mutex_);
  units_.clear();
  EraseLocked();
}

void TStationScreen::EraseLocked() {
  if (drawnLines_ == 0) return;
  std::string text = "\r\033[K";
  for (int i = 1; i < drawnLines_; ++i) text += "\033[A\033[K";
  WriteAll(fd_, text);
  drawnLines_ = 0;
}

void TStationScreen::DrawLocked(bool force) {
  if (!active_ || units_.empty()) return;
  const std::int64_t now = NowMs();
  if (!force && drawnLines_ > 0 && now - lastDrawMs_ < RedrawIntervalMs) return;
  lastDrawMs_ = now;
  const int width = Width(fd_);
  std::string text;
  if (drawnLines_ > 0) {
    text = "\r\033[K";
    for (int i = 1; i < drawnLines_; ++i) text += "\033[A\033[K";
  }
  bool first = true;
  for (const auto& [prefix, state] : units_) {
    if (!first) text += '\n';
    first = false;
    text += prefix + FormatProgressLine(state, width - static_cast<int>(prefix.size()));
  }
  WriteAll(fd_, text);
  drawnLines_ = static_cast<int>(units_.size());
}

}  // namespace kvm::cli
