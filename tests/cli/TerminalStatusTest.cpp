#include <gtest/gtest.h>
#include <pty.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "cli/ProgressLine.h"
#include "cli/TerminalStatus.h"

namespace kvm::cli {
namespace {

// Standard output as a memory stream.
class TLogCapture {
 public:
  TLogCapture() : stream_(open_memstream(&buffer_, &size_)) {}
  ~TLogCapture() {
    std::fclose(stream_);
    std::free(buffer_);
  }
  std::FILE* Stream() { return stream_; }
  std::string Text() {
    std::fflush(stream_);
    return std::string(buffer_, size_);
  }

 private:
  char* buffer_ = nullptr;
  std::size_t size_ = 0;
  std::FILE* stream_;
};

TEST(TerminalStatus, LogsWhatTheWindowLogsAndNothingElse) {
  TLogCapture log;
  TTerminalStatus status(log.Stream(), nullptr);
  status.LogBlank();
  status.LogLine("Scanning...");
  status.ShowStatus("Enable KVM Programmer...", Green);  // status line only
  status.SetStatusPanel(1, "Programming block [0] ...");
  status.ReportStatus("Program OK", Blue);
  EXPECT_EQ(log.Text(), "\nScanning...\nProgram OK\n");
  EXPECT_EQ(status.GetStatusText(), "Program OK");
  EXPECT_EQ(status.GetStatusPanel(1), "Program OK");
  EXPECT_EQ(status.GetStatusColour(), Blue);
}

TEST(TerminalStatus, ShowStatusWithoutColourKeepsTheColour) {
  TLogCapture log;
  TTerminalStatus status(log.Stream(), nullptr);
  status.ShowStatus("Get chip ID...", Green);
  status.SetStatusColour(Blue);
  status.ShowStatus("Chip ID is read.");
  EXPECT_EQ(status.GetStatusColour(), Blue);
  EXPECT_EQ(status.GetStatusText(), "Chip ID is read.");
  EXPECT_EQ(status.GetStatusPanel(7), "");  // out of range is harmless
}

TEST(TerminalStatus, OnlySelectedTargetsAreTicked) {
  TLogCapture log;
  TTerminalStatus status(log.Stream(), nullptr);
  status.SelectTarget(TTarget::Osd, "fw.osd");
  EXPECT_FALSE(status.IsTargetChecked(TTarget::UsbHost));
  EXPECT_TRUE(status.IsTargetChecked(TTarget::Osd));
  EXPECT_EQ(status.TargetFileName(TTarget::Osd), "fw.osd");
  EXPECT_EQ(status.TargetFileName(TTarget::UsbHost), "");
  status.SetTargetLamp(TTarget::Osd, TLampPicture::Red);
  EXPECT_EQ(status.Lamp(TTarget::Osd), TLampPicture::Red);
  EXPECT_EQ(status.Lamp(TTarget::UsbHost), TLampPicture::Gray);
}

TEST(ProgressLine, ShowsBlocksElapsedTimeAndStatus) {
  EXPECT_EQ(FormatProgressLine({5, 10, "07", "Programming..."}, 80),
            "[##########..........] block 5/10  07  Programming...");
  EXPECT_EQ(FormatProgressLine({0, 0, "", "Scanning..."}, 80), "Scanning...");
  EXPECT_EQ(FormatProgressLine({3, 3, "1:15", ""}, 80), "[####################] block 3/3  1:15");
}

TEST(ProgressLine, StaysWithinTheTerminalWidth) {
  const std::string line = FormatProgressLine({1, 2, "07", std::string(200, 'x')}, 40);
  EXPECT_EQ(line.size(), 39u);
  EXPECT_EQ(FormatProgressLine({7, 5, "", ""}, 80), "[####################] block 5/5");
}

TEST(ProgressLine, DrawsNothingWhenNotATerminal) {
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  {
    TProgressLine line(fds[1]);
    EXPECT_FALSE(line.Active());
    line.Update({1, 2, "01", "Programming..."});
    line.Hide();
  }
  close(fds[1]);
  char byte;
  EXPECT_EQ(read(fds[0], &byte, 1), 0);
  close(fds[0]);
}

TEST(ProgressLine, OnATerminalTheLogLineReplacesTheBarAndTheBarComesBack) {
  int master = -1, slave = -1;
  ASSERT_EQ(openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
  TLogCapture log;
  {
    TProgressLine line(slave);
    ASSERT_TRUE(line.Active());
    TTerminalStatus status(log.Stream(), &line);
    status.SetProgress(0, 4);
    status.StepProgress();
    status.LogLine("Programming...");
    status.HideProgress();
  }
  close(slave);
  std::string drawn;
  char buffer[512];
  for (ssize_t n; (n = read(master, buffer, sizeof buffer)) > 0;) drawn.append(buffer, static_cast<std::size_t>(n));
  close(master);
  const std::string erase = "\r\033[K";
  const auto first = drawn.find(erase + "[#####...............] block 1/4");
  ASSERT_NE(first, std::string::npos) << drawn;
  // Taken away for the log line, drawn again after it, and gone at the end.
  const auto redrawn = drawn.find(erase + "[#####...............] block 1/4", first + 1);
  EXPECT_NE(redrawn, std::string::npos) << drawn;
  EXPECT_EQ(drawn.substr(drawn.size() - erase.size()), erase);
  EXPECT_EQ(log.Text(), "Programming...\n");
}

}  // namespace
}  // namespace kvm::cli
