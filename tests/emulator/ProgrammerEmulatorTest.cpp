// The healthy programmer: replies per command, chip IDs, the block sequence
// and the checksum it computes over what it received.
#include <gtest/gtest.h>

#include <numeric>
#include <random>

#include "ReportBuilder.h"
#include "emulator/ProgrammerEmulator.h"

namespace kvm::emulator {
namespace {

using test::BlockReport;
using test::CommandReport;
using test::ImageBlocks;
using Bytes = std::vector<std::uint8_t>;

std::vector<Bytes> Send(TProgrammerEmulator& emulator, const Bytes& report) {
  return emulator.Replies(report.data(), report.size());
}

using test::StatusReply;
using test::ValueReply;

// Initialises the target and sends the image block by block; true when every block completed.
bool Program(TProgrammerEmulator& emulator, std::uint8_t target, const Bytes& image) {
  if (Send(emulator, CommandReport(target, CmdInitialise)).back() != StatusReply(0x02)) return false;
  const auto blocks = ImageBlocks(image);
  for (std::size_t n = 0; n < blocks.size(); ++n)
    if (Send(emulator, BlockReport(target, static_cast<std::uint16_t>(n), blocks[n])).back() != StatusReply(0x02))
      return false;
  return true;
}

std::uint16_t FileSum(const Bytes& image) {
  return static_cast<std::uint16_t>(std::accumulate(image.begin(), image.end(), 0u));
}

Bytes RandomImage(std::size_t size, unsigned seed) {
  std::mt19937 random(seed);
  Bytes image(size);
  for (auto& b : image) b = static_cast<std::uint8_t>(random());
  return image;
}


TEST(ProgrammerEmulator, CommandsAcknowledgeThenComplete) {
  TProgrammerEmulator emulator;
  EXPECT_EQ(Send(emulator, CommandReport(0, CmdEnable)), (std::vector<Bytes>{StatusReply(0x01), StatusReply(0x02)}));
  EXPECT_TRUE(emulator.IsEnabled());
  EXPECT_EQ(Send(emulator, CommandReport(4, CmdInitialise)), (std::vector<Bytes>{StatusReply(0x01), StatusReply(0x02)}));
  // Disable completes with the other code.
  EXPECT_EQ(Send(emulator, CommandReport(0, CmdDisable)), (std::vector<Bytes>{StatusReply(0x01), StatusReply(0x03)}));
  EXPECT_FALSE(emulator.IsEnabled());
}

TEST(ProgrammerEmulator, ChipIdPerTargetComesBeforeTheCompletion) {
  TProgrammerEmulator emulator;
  EXPECT_EQ(Send(emulator, CommandReport(4, CmdChipID)), (std::vector<Bytes>{ValueReply(0x2052), StatusReply(0x01), StatusReply(0x02)}));
  EXPECT_EQ(Send(emulator, CommandReport(2, CmdChipID)), (std::vector<Bytes>{ValueReply(0x0050), StatusReply(0x01), StatusReply(0x02)}));
  emulator.SetChipID(2, 0x1234);
  EXPECT_EQ(Send(emulator, CommandReport(2, CmdChipID)).front(), ValueReply(0x1234));
}

TEST(ProgrammerEmulator, RefusesWhatItCannotDo) {
  TProgrammerEmulator emulator;
  const std::vector<Bytes> refused = {StatusReply(0x01), StatusReply(0x04)};
  for (std::uint8_t command : {0x00, 0x05, 0x07, 0x08, 0x0A, 0xFF})
    EXPECT_EQ(Send(emulator, CommandReport(4, command)), refused) << int(command);
  // A target without a chip.
  EXPECT_EQ(Send(emulator, CommandReport(3, CmdChipID)), refused);
  emulator.RemoveChip(2);
  EXPECT_EQ(Send(emulator, CommandReport(2, CmdInitialise)), refused);
  // Another report ID, and a report too short to name a command.
  Bytes wrongId = CommandReport(0, CmdEnable);
  wrongId[0] = 0x01;
  EXPECT_EQ(Send(emulator, wrongId), refused);
  EXPECT_EQ(Send(emulator, Bytes{0x04, 0x00}), refused);
  EXPECT_FALSE(emulator.IsEnabled());
}

TEST(ProgrammerEmulator, KeepsTheImageAndToldLengthPerTarget) {
  TProgrammerEmulator emulator;
  const Bytes usb = RandomImage(300, 1), osd = RandomImage(110, 2);
  ASSERT_TRUE(Program(emulator, 4, usb));
  ASSERT_TRUE(Program(emulator, 2, osd));
  EXPECT_EQ(emulator.ToldLength(4), 300u);
  EXPECT_EQ(emulator.Image(4), usb);
  EXPECT_EQ(emulator.Image(2), osd);
  EXPECT_EQ(emulator.BlockCount(2), 3);  // 48 + 56 + 6
}

TEST(ProgrammerEmulator, ChecksumIsTheFileSumOverTheToldLength) {
  for (std::size_t size : {0u, 20u, 47u, 48u, 104u, 110u, 1000u, 4099u}) {
    TProgrammerEmulator emulator;
    const Bytes image = RandomImage(size, static_cast<unsigned>(size));
    ASSERT_TRUE(Program(emulator, 4, image));
    // Block 0 padding beyond a short image is received but not summed.
    EXPECT_EQ(emulator.ReceivedBytes(4).size(), std::max<std::size_t>(size, 48));
    EXPECT_EQ(Send(emulator, CommandReport(4, CmdCheckSum)).front(), ValueReply(FileSum(image))) << size;
  }
}

TEST(ProgrammerEmulator, ChecksumWrapsAtSixteenBits) {
  TProgrammerEmulator emulator;
  ASSERT_TRUE(Program(emulator, 2, Bytes(258, 0xFF)));
  EXPECT_EQ(Send(emulator, CommandReport(2, CmdCheckSum)).front(), ValueReply(0x00FE));
}

TEST(ProgrammerEmulator, BlockGapsAndOldBlocksAreRefused) {
  TProgrammerEmulator emulator;
  const auto blocks = ImageBlocks(RandomImage(300, 3));
  const std::vector<Bytes> ok = {StatusReply(0x01), StatusReply(0x02)}, refused = {StatusReply(0x01), StatusReply(0x04)};
  EXPECT_EQ(Send(emulator, BlockReport(4, 1, blocks[1])), refused);  // no block 0 yet
  EXPECT_EQ(Send(emulator, BlockReport(4, 0, blocks[0])), ok);
  EXPECT_EQ(Send(emulator, BlockReport(4, 2, blocks[2])), refused);  // gap
  EXPECT_EQ(Send(emulator, BlockReport(4, 1, blocks[1])), ok);
  EXPECT_EQ(Send(emulator, BlockReport(4, 2, blocks[2])), ok);
  EXPECT_EQ(Send(emulator, BlockReport(4, 1, blocks[1])), refused);  // older than the last
  EXPECT_EQ(emulator.BlockCount(4), 3);
}

TEST(ProgrammerEmulator, RetryOfTheLastBlockReplacesIt) {
  TProgrammerEmulator emulator;
  const Bytes image = RandomImage(160, 4);
  auto blocks = ImageBlocks(image);
  Send(emulator, BlockReport(4, 0, blocks[0]));
  Send(emulator, BlockReport(4, 1, Bytes(56, 0xEE)));  // garbled first try
  Send(emulator, BlockReport(4, 1, blocks[1]));
  Send(emulator, BlockReport(4, 2, blocks[2]));
  EXPECT_EQ(emulator.Image(4), image);
  // Block 0 again starts over, with its own length.
  Send(emulator, BlockReport(4, 0, ImageBlocks(Bytes(10, 1))[0]));
  EXPECT_EQ(emulator.ToldLength(4), 10u);
  EXPECT_EQ(emulator.BlockCount(4), 1);
}

TEST(ProgrammerEmulator, DataLengthByteDecidesHowManyBytesCount) {
  TProgrammerEmulator emulator;
  Bytes report = BlockReport(4, 0, {0, 0, 0, 5, 1, 2, 3, 4, 5});
  report[20] = 0x77;  // beyond the count: ignored
  EXPECT_EQ(Send(emulator, report).back(), StatusReply(0x02));
  EXPECT_EQ(emulator.ReceivedBytes(4), (Bytes{1, 2, 3, 4, 5}));
  // A count larger than the bytes written, and a block 0 without its length, are refused.
  Bytes cut = BlockReport(4, 1, Bytes(56, 9));
  cut.resize(40);
  EXPECT_EQ(Send(emulator, cut).back(), StatusReply(0x04));
  EXPECT_EQ(Send(emulator, BlockReport(4, 0, {0, 0, 1})).back(), StatusReply(0x04));
}

TEST(ProgrammerEmulator, InitialisingStartsANewImage) {
  TProgrammerEmulator emulator;
  ASSERT_TRUE(Program(emulator, 4, RandomImage(200, 5)));
  Send(emulator, CommandReport(4, CmdInitialise));
  EXPECT_EQ(emulator.BlockCount(4), 0);
  EXPECT_FALSE(emulator.ToldLength(4).has_value());
  EXPECT_EQ(Send(emulator, CommandReport(4, CmdCheckSum)).front(), ValueReply(0));
}

TEST(ProgrammerEmulator, LogsEveryReportAsWritten) {
  TProgrammerEmulator emulator;
  const Bytes enable = CommandReport(0, CmdEnable), block = BlockReport(4, 300, Bytes(5, 7));
  Send(emulator, enable);
  Send(emulator, block);
  const auto log = emulator.Log();
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[0].Bytes, enable);
  EXPECT_EQ(log[1].Bytes, block);
  EXPECT_EQ(log[1].Bytes[3], 0x01);
  EXPECT_EQ(log[1].Bytes[4], 0x2C);
  EXPECT_EQ(log[1].Fate, TReportFate::Answered);
}

TEST(ProgrammerEmulator, ReplyFunctionCarriesTheRepliesOfTheEmulator) {
  auto emulator = std::make_shared<TProgrammerEmulator>();
  TReplyFunction replies = TProgrammerEmulator::ReplyFunction(emulator);
  const Bytes enable = CommandReport(0, CmdEnable);
  EXPECT_EQ(replies(enable.data(), enable.size()), (std::vector<Bytes>{StatusReply(0x01), StatusReply(0x02)}));
  EXPECT_EQ(emulator->ReportCount(), 1u);
}

}  // namespace
}  // namespace kvm::emulator
