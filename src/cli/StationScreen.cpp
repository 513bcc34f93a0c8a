#include "cli/StationScreen.h"

#include <algorithm>
#include <chrono>
#include <cstdio>

#include "cli/Terminal.h"

namespace kvm::cli {

namespace {
// Eight units writing blocks would otherwise redraw thousands of times a second.
constexpr std::int64_t RedrawIntervalMs = 100;

std::int64_t NowMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// "elapsed 0:07": labelled, and in minutes from the start, so that it reads
// as a time and not as a count.
std::string ElapsedText(std::int64_t ms) {
  const std::int64_t seconds = std::max<std::int64_t>(ms, 0) / 1000;
  char text[40];
  std::snprintf(text, sizeof text, "elapsed %lld:%02lld", static_cast<long long>(seconds / 60),
                static_cast<long long>(seconds % 60));
  return text;
}

}  // namespace

TStationScreen::TStationScreen(bool printLines, int progressFd, TClock clock, int tickMs)
    : printLines_(printLines),
      fd_(progressFd),
      active_(IsLiveTerminal(progressFd)),
      clock_(clock ? std::move(clock) : TClock(NowMs)),
      tickMs_(tickMs) {
  if (!active_) return;
  {
    std::lock_guard lock(mutex_);
    DrawLocked(true);
  }
  ticker_ = std::thread([this] { Tick(); });
}

TStationScreen::~TStationScreen() {
  HideProgress();
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  if (ticker_.joinable()) ticker_.join();
}

// The elapsed times move while nothing else happens (a silent programmer).
void TStationScreen::Tick() {
  std::unique_lock lock(mutex_);
  while (!wake_.wait_for(lock, std::chrono::milliseconds(tickMs_), [this] { return stopping_; }))
    if (!units_.empty()) DrawLocked(true);
}

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

void TStationScreen::ShowLines(const std::vector<std::string>& lines) {
  if (!active_) return;
  std::lock_guard lock(mutex_);
  EraseLocked();
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  WriteToTerminal(fd_, text);
  DrawLocked(true);
}

void TStationScreen::UnitArrived(const std::string& prefix) {
  if (!active_) return;
  std::lock_guard lock(mutex_);
  TUnitLine& unit = units_[prefix];
  unit = {};
  unit.StartMs = clock_();
  unit.State.Status = "connecting";
  DrawLocked(true);
}

void TStationScreen::UnitFinished(const std::string& prefix, bool ok, const std::string& reason) {
  if (!active_) return;
  std::lock_guard lock(mutex_);
  const auto found = units_.find(prefix);
  const std::string elapsed = found == units_.end() ? std::string() : ", " + ElapsedText(clock_() - found->second.StartMs);
  if (found != units_.end()) units_.erase(found);
  ++(ok ? programmed_ : failed_);
  EraseLocked();
  WriteToTerminal(fd_, prefix + (ok ? std::string("OK") : "FAILED: " + reason) + " (finished" + elapsed + ")\n");
  DrawLocked(true);
}

void TStationScreen::UpdateProgress(const std::string& prefix, const TProgressState& state) {
  if (!active_) return;
  std::lock_guard lock(mutex_);
  const auto found = units_.find(prefix);
  const bool added = found == units_.end();
  TUnitLine& unit = added ? units_[prefix] : found->second;
  if (added) unit.StartMs = clock_();
  unit.State = state;
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
  if (hidden_) return;
  hidden_ = true;
  units_.clear();
  EraseLocked();
  // Standard output's summary says the same where it shows on this terminal.
  if (active_ && (!printLines_ || !IsTerminal(1))) WriteToTerminal(fd_, TallyLocked() + "\n");
}

std::string TStationScreen::TallyLocked() const {
  return "Programmed: " + std::to_string(programmed_) + "   Failed: " + std::to_string(failed_);
}

void TStationScreen::EraseLocked() {
  if (drawnLines_ == 0) return;
  std::string text = "\r\033[K";
  for (int i = 1; i < drawnLines_; ++i) text += "\033[A\033[K";
  WriteToTerminal(fd_, text);
  drawnLines_ = 0;
}

void TStationScreen::DrawLocked(bool force) {
  if (!active_ || hidden_) return;
  const std::int64_t now = clock_();
  if (!force && drawnLines_ > 0 && now - lastDrawMs_ < RedrawIntervalMs) return;
  lastDrawMs_ = now;
  const int width = TerminalWidth(fd_);
  std::string text;
  if (drawnLines_ > 0) {
    text = "\r\033[K";
    for (int i = 1; i < drawnLines_; ++i) text += "\033[A\033[K";
  }
  for (const auto& [prefix, unit] : units_) {
    TProgressState state = unit.State;
    state.Elapsed = ElapsedText(now - unit.StartMs);
    text += prefix + FormatProgressLine(state, width - static_cast<int>(prefix.size())) + '\n';
  }
  std::string tally = TallyLocked() + "   " +
                      (units_.empty() ? std::string("waiting for programmers")
                                      : std::to_string(units_.size()) + (units_.size() == 1 ? " unit" : " units") +
                                            " running");
  if (tally.size() >= static_cast<std::size_t>(width)) tally.resize(static_cast<std::size_t>(std::max(width - 1, 0)));
  text += tally;
  WriteToTerminal(fd_, text);
  drawnLines_ = static_cast<int>(units_.size()) + 1;
}

}  // namespace kvm::cli
