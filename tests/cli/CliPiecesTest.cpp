// The pieces of the command line that its process tests cannot reach well:
// scrambling with every kind of key, the live progress line.
#include <gtest/gtest.h>
#include <pty.h>
#include <unistd.h>

#include <QTemporaryDir>
#include <cstdio>

#include "cli/CommandSupport.h"
#include "firmware/ContainerHeader.h"
#include "cli/ProgressLine.h"
#include "cli/TerminalStatus.h"
#include "firmware/FirmwareImage.h"

namespace kvm::cli {
namespace {

// Text from outside (file names, device strings) cannot forge a line or steer
// the terminal; printable text, UTF-8 included, stays as it is.
TEST(CliPieces, ControlCharactersAreWrittenAsEscapes) {
  const std::pair<std::string, std::string> cases[] = {
      {"a\nProgram OK", "a\\nProgram OK"}, {"tab\there\r", "tab\\there\\r"},
      {"\x1b[2J", "\\x1B[2J"},             {"\x7f", "\\x7F"},
      {"\xc2\x9b" "31m", "\\u009B31m"},   {"gr\xc3\xbc\xc3\x9f" "e C:\\fw", "gr\xc3\xbc\xc3\x9f" "e C:\\fw"},
  };
  for (const auto& [text, shown] : cases) EXPECT_EQ(PrintableText(text), shown);
}

// The job's own unscrambler must give the image back, whatever the key.
TEST(CliPieces, BuiltContainersUnscrambleToTheImageForEveryKindOfKey) {
  QTemporaryDir folder;
  ASSERT_TRUE(folder.isValid());
  const std::string containerPath = folder.filePath("image.usb").toStdString();
  const std::string outputPath = folder.filePath("out.bin").toStdString();
  std::vector<std::uint8_t> image(300);
  for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<std::uint8_t>(i * 31 + 7);

  for (const firmware::TScrambleKey key : {firmware::TScrambleKey{300, 0, 1, 0}, firmware::TScrambleKey{300, 11, 15, 0xFF},
                                           firmware::TScrambleKey{300, 5, 7, 0x3C}}) {
    for (const std::size_t length : {std::size_t{1}, std::size_t{15}, std::size_t{16}, std::size_t{300}}) {
      const std::vector<std::uint8_t> part(image.begin(), image.begin() + static_cast<std::ptrdiff_t>(length));
      std::string error;
      ASSERT_TRUE(WriteWholeFile(containerPath, firmware::BuildContainer(part, key), error)) << error;
      ASSERT_EQ(firmware::UnscrambleContainerTo(4, containerPath, outputPath), firmware::ImageOk);
      std::vector<std::uint8_t> back;
      ASSERT_TRUE(ReadWholeFile(outputPath, back, error)) << error;
      EXPECT_EQ(back, part) << "offset " << key.KeyOffset << " step " << key.StepLength << " length " << length;
    }
  }
  EXPECT_THROW(firmware::BuildContainer({1, 2, 3}, {300, 12, 1, 0}), std::invalid_argument);
}

TEST(CliPieces, ProgressLineShowsBlocksTimeAndStatusWithinTheWidth) {
  EXPECT_EQ(FormatProgressLine({5, 10, "07", "Programming..."}, 80),
            "[##########..........] block 5/10  07  Programming...");
  EXPECT_EQ(FormatProgressLine({0, 0, "", "Scanning..."}, 80), "Scanning...");
  EXPECT_EQ(FormatProgressLine({7, 5, "1:15", ""}, 80), "[####################] block 5/5  1:15");
  EXPECT_EQ(FormatProgressLine({1, 2, "07", std::string(200, 'x')}, 40).size(), 39u);
}

TEST(CliPieces, OnATerminalALogLineTakesTheProgressAwayAndPutsItBack) {
  int master = -1, slave = -1;
  ASSERT_EQ(openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
  char* logText = nullptr;
  std::size_t logSize = 0;
  std::FILE* log = open_memstream(&logText, &logSize);
  {
    TProgressLine line(slave);
    ASSERT_TRUE(line.Active());
    TTerminalStatus status(log, &line);
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
  std::fclose(log);
  EXPECT_EQ(std::string(logText, logSize), "Programming...\n");
  std::free(logText);

  const std::string erase = "\r\033[K", bar = "[#####...............] block 1/4";
  const auto first = drawn.find(erase + bar);
  ASSERT_NE(first, std::string::npos) << drawn;
  EXPECT_NE(drawn.find(erase + erase + bar, first), std::string::npos) << drawn;
  EXPECT_EQ(drawn.substr(drawn.size() - erase.size()), erase);
}

}  // namespace
}  // namespace kvm::cli
