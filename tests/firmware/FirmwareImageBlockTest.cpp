// The block sequence of an image and reading it block by block.
#include <gtest/gtest.h>

#include <map>

#include "FirmwareImageTestFiles.h"
#include "firmware/FirmwareImage.h"

namespace kvm::firmware::test {
namespace {

using Buffer = std::array<std::uint8_t, 64>;

Bytes Counting(std::size_t length) {
  Bytes bytes(length);
  for (std::size_t i = 0; i < length; ++i) bytes[i] = static_cast<std::uint8_t>(i + 1);
  return bytes;
}

TEST(BlockSequence, CountsAndRemainders) {
  struct Case {
    std::int64_t S, F, R, blocks;
  };
  const Case cases[] = {
      {0, 1, -48, 1},   {1, 1, -47, 1},    {20, 1, -28, 1},   {47, 1, -1, 1},
      {48, 1, 0, 1},    {49, 1, 1, 2},     {103, 1, 55, 2},   {104, 2, 0, 2},
      {110, 2, 6, 3},   {MaxImageLength - 1, 65535, 55, 65536},
      {MaxImageLength, 65536, 0, 65536},  {MaxImageLength + 1, 65536, 1, 65537},
  };
  for (const Case& c : cases) {
    const TBlockSequence sequence = BlockSequenceOf(c.S);
    EXPECT_EQ(sequence.F, c.F) << "S = " << c.S;
    EXPECT_EQ(sequence.R, c.R) << "S = " << c.S;
    EXPECT_EQ(sequence.BlockCount(), c.blocks) << "S = " << c.S;
  }
}

TEST(BlockSequence, LengthLimits) {
  EXPECT_EQ(MaxImageLength, 3670008);
  EXPECT_EQ(CheckImageLength(0), ImageEmpty);
  EXPECT_EQ(CheckImageLength(1), ImageOk);
  EXPECT_EQ(CheckImageLength(MaxImageLength), ImageOk);
  // One byte more needs block number 65536, which 16 bits cannot carry.
  EXPECT_EQ(CheckImageLength(MaxImageLength + 1), ImageTooLarge);
  EXPECT_EQ(CheckImageLength(0x100000000ll), ImageTooLarge);
}

class BlockReading : public ::testing::Test {
 protected:
  TTempFolder folder_;
};

TEST_F(BlockReading, BlocksCarryLengthThenImageInOrderWithZeroPadding) {
  const std::map<std::size_t, std::vector<int>> countsByLength = {
      {1, {52}}, {20, {52}}, {47, {52}}, {48, {52}}, {49, {52, 1}}, {104, {52, 56}}, {110, {52, 56, 6}}};
  for (const auto& [length, counts] : countsByLength) {
    SCOPED_TRACE("S = " + std::to_string(length));
    const Bytes image = Counting(length);
    WriteBytes(folder_ / "image.bin", image);
    TBlockReader reader;
    ASSERT_EQ(reader.Open(folder_ / "image.bin"), ImageOk) << LastImageErrorDetail();
    Buffer buffer;
    buffer.fill(0xAA);  // stands for the leftovers of an earlier block or job
    Bytes sent;
    for (std::size_t block = 0; block < counts.size(); ++block) {
      int count = -1;
      ASSERT_EQ(reader.ReadNextBlock(buffer, count), ImageOk) << "block " << block;
      ASSERT_EQ(count, counts[block]) << "block " << block;
      sent.insert(sent.end(), buffer.begin(), buffer.begin() + count);
      if (block == 0) {
        EXPECT_EQ(buffer[52], 0xAA) << "past the count the buffer is left alone";
      }
    }
    int count = -1;
    EXPECT_EQ(reader.ReadNextBlock(buffer, count), FileUnreadable) << "read past the last block";
    // Length bytes, the image, and zeros up to 52 bytes for a short image.
    Bytes expected(4 + std::max<std::size_t>(length, 48), 0);
    expected[3] = static_cast<std::uint8_t>(length);
    std::copy(image.begin(), image.end(), expected.begin() + 4);
    EXPECT_EQ(sent, expected);
  }
}

TEST_F(BlockReading, LargestImageIsExactly65536BlocksOfTheWholeFile) {
  WriteSparse(folder_ / "largest.bin", Counting(100), MaxImageLength);
  TBlockReader reader;
  ASSERT_EQ(reader.Open(folder_ / "largest.bin"), ImageOk);
  EXPECT_EQ(reader.LengthBytes(), (std::array<std::uint8_t, 4>{0x00, 0x37, 0xFF, 0xF8}));
  EXPECT_EQ(reader.Sequence().BlockCount(), MaxBlockCount);
  Buffer buffer{};
  std::int64_t imageBytes = 0;
  int count = 0;
  for (std::int64_t i = 0; i < MaxBlockCount; ++i) {
    ASSERT_EQ(reader.ReadNextBlock(buffer, count), ImageOk) << "block " << i;
    imageBytes += i == 0 ? count - 4 : count;
  }
  EXPECT_EQ(count, 56);
  EXPECT_EQ(imageBytes, MaxImageLength);
  EXPECT_EQ(reader.ReadNextBlock(buffer, count), FileUnreadable);
}

TEST_F(BlockReading, RefusesEmptyTooLargeAndMissingImages) {
  TBlockReader reader;
  WriteBytes(folder_ / "empty.bin", {});
  EXPECT_EQ(reader.Open(folder_ / "empty.bin"), ImageEmpty);
  WriteSparse(folder_ / "big.bin", {}, MaxImageLength + 1);
  EXPECT_EQ(reader.Open(folder_ / "big.bin"), ImageTooLarge);
  EXPECT_NE(LastImageErrorDetail().find("big.bin"), std::string::npos);
  EXPECT_EQ(reader.Open(folder_ / "missing.bin"), FileUnreadable);
  Buffer buffer{};
  int count = -1;
  EXPECT_EQ(reader.ReadNextBlock(buffer, count), FileUnreadable);
}

TEST_F(BlockReading, FileThatChangesSizeMidwayFails) {
  WriteBytes(folder_ / "image.bin", Counting(200));
  TBlockReader reader;
  ASSERT_EQ(reader.Open(folder_ / "image.bin"), ImageOk);
  Buffer buffer{};
  int count = 0;
  ASSERT_EQ(reader.ReadNextBlock(buffer, count), ImageOk);
  std::filesystem::resize_file(folder_ / "image.bin", 60);
  EXPECT_EQ(reader.ReadNextBlock(buffer, count), FileUnreadable);
  EXPECT_NE(LastImageErrorDetail().find("changed size"), std::string::npos);
}

TEST_F(BlockReading, ReopeningStartsAgainAtBlockZero) {
  WriteBytes(folder_ / "image.bin", Counting(120));
  TBlockReader reader;
  Buffer buffer{};
  int count = 0;
  for (int round = 0; round < 2; ++round) {
    ASSERT_EQ(reader.Open(folder_ / "image.bin"), ImageOk);
    ASSERT_EQ(reader.ReadNextBlock(buffer, count), ImageOk);
    EXPECT_EQ(count, 52);
    EXPECT_EQ(buffer[4], 1);
    ASSERT_EQ(reader.ReadNextBlock(buffer, count), ImageOk);
  }
}

}  // namespace
}  // namespace kvm::firmware::test
