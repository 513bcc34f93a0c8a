// The operator's screen of `station`, drawn on a pseudo-terminal: the files
// and the tally from the start, a live line per unit whose elapsed time moves
// with no news from the unit, a lasting line per finished unit; nothing at
// all where standard error is not a terminal.
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <atomic>
#include <chrono>

#include "cli/StationScreen.h"

namespace kvm::cli {
namespace {

class TPseudoTerminal {
 public:
  TPseudoTerminal() {
    winsize size{};
    size.ws_row = 30;
    size.ws_col = 120;
    ok_ = ::openpty(&master_, &slave_, nullptr, nullptr, &size) == 0;
  }
  ~TPseudoTerminal() {
    if (!ok_) return;
    ::close(master_);
    ::close(slave_);
  }
  bool Ok() const { return ok_; }
  int Slave() const { return slave_; }
  // Reads what the screen wrote until `text` shows (up to two seconds).
  bool WaitFor(const std::string& text) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (seen_.find(text, from_) == std::string::npos) {
      if (std::chrono::steady_clock::now() > end) return false;
      pollfd ready{master_, POLLIN, 0};
      if (::poll(&ready, 1, 50) <= 0) continue;
      char buffer[4096];
      const ssize_t n = ::read(master_, buffer, sizeof buffer);
      if (n > 0) seen_.append(buffer, static_cast<std::size_t>(n));
    }
    from_ = seen_.find(text, from_) + text.size();
    return true;
  }
  const std::string& Seen() const { return seen_; }

 private:
  bool ok_ = false;
  int master_ = -1, slave_ = -1;
  std::string seen_;
  std::size_t from_ = 0;
};

TEST(StationScreen, ShowsTheRunOnATerminal) {
  TPseudoTerminal terminal;
  ASSERT_TRUE(terminal.Ok());
  std::atomic<std::int64_t> now{1000};
  TStationScreen screen(false, terminal.Slave(), [&now] { return now.load(); }, 20);
  ASSERT_TRUE(screen.Active());
  screen.ShowLines({"OSD firmware: osd.bin, 1000 bytes, checksum 0x1234"});
  // In order, each after the one before.
  const std::vector<std::pair<std::function<void()>, std::string>> steps{
      {[] {}, "OSD firmware: osd.bin, 1000 bytes, checksum 0x1234"},
      {[] {}, "Programmed: 0   Failed: 0   waiting for programmers"},
      {[&] { screen.UnitArrived("[1-2 A] "); }, "[1-2 A] elapsed 0:00  connecting"},
      {[] {}, "1 unit running"},
      // No news from the unit: the ticker alone moves its time.
      {[&] { now += 7000; }, "[1-2 A] elapsed 0:07  connecting"},
      {[&] { screen.UpdateProgress("[1-2 A] ", {3, 10, {}, "Programming"}); }, "block 3/10  elapsed 0:07  Programming"},
      {[&] { now += 65000; }, "elapsed 1:12"},
      {[&] { screen.UnitFinished("[1-2 A] ", false, "Chip type does not match the target."); },
       "[1-2 A] FAILED: Chip type does not match the target. (finished, elapsed 1:12)"},
      {[] {}, "Programmed: 0   Failed: 1   waiting for programmers"},
      {[&] {
         screen.UnitArrived("[1-3 B] ");
         screen.UnitFinished("[1-3 B] ", true, "");
       },
       "[1-3 B] OK (finished, elapsed 0:00)"},
      {[] {}, "Programmed: 1   Failed: 1   waiting for programmers"},
      // The tally stays: standard output (the events here) does not show it.
      {[&] { screen.HideProgress(); }, "Programmed: 1   Failed: 1\r\n"},
  };
  for (const auto& [step, expected] : steps) {
    step();
    ASSERT_TRUE(terminal.WaitFor(expected)) << "missing: " << expected << "\nseen:\n" << terminal.Seen();
  }
}

TEST(StationScreen, DrawsNothingWhereThereIsNoTerminal) {
  int pipeEnds[2];
  ASSERT_EQ(::pipe(pipeEnds), 0);
  {
    TStationScreen screen(false, pipeEnds[1], {}, 20);
    EXPECT_FALSE(screen.Active());
    screen.ShowLines({"OSD firmware: osd.bin"});
    screen.UnitArrived("[1-2 A] ");
    screen.UpdateProgress("[1-2 A] ", {3, 10, {}, "Programming"});
    screen.UnitFinished("[1-2 A] ", true, "");
  }
  ::close(pipeEnds[1]);
  char buffer[16];
  EXPECT_EQ(::read(pipeEnds[0], buffer, sizeof buffer), 0);
  ::close(pipeEnds[0]);
}

}  // namespace
}  // namespace kvm::cli
