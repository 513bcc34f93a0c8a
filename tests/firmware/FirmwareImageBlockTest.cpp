// The block sequence of an image and reading it block by block.
#include <gtest/gtest.h>

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
  // Reads every block of an image with these bytes; their counts, and the
  // buffer after each read (pre-filled with 0xAA to show what is written).
  std::vector<std::pair<int, Buffer>> ReadAll(const Bytes& image) {
    WriteBytes(folder_ / "image.bin", image);
    TBlockReader reader;
    EXPECT_EQ(reader.Open(folder_ / "image.bin"), ImageOk) << LastImageErrorDetail();
    std::vector<std::pair<int, Buffer>> blocks;
    Buffer buffer;
    buffer.fill(0xAA);
    for (std::int64_t i = 0; i < reader.Sequence().BlockCount(); ++i) {
      int count = -1;
      EXPECT_EQ(reader.ReadNextBlock(buffer, count), ImageOk) << "block " << i;
      blocks.emplace_back(count, buffer);
    }
    int count = -1;
    EXPECT_EQ(reader.ReadNextBlock(buffer, count), FileUnreadable) << "read past the last block";
    EXPECT_EQ(count, 0);
    return blocks;
  }

  TTempFolder folder_;
};

TEST_F(BlockReading, ShortImageIsOneZeroPaddedBlock) {
  for (std::size_t length : {1u, 20u, 47u}) {
    const auto blocks = ReadAll(Counting(length));
    ASSERT_EQ(blocks.size(), 1u);
    const auto& [count, buffer] = blocks[0];
    EXPECT_EQ(count, 52);
    EXPECT_EQ(buffer[0], 0);
    EXPECT_EQ(buffer[3], length);
    for (std::size_t i = 0; i < 48; ++i)
      EXPECT_EQ(buffer[4 + i], i < length ? i + 1 : 0) << "S = " << length << ", image byte " << i;
    // Past the count the buffer is left alone.
    EXPECT_EQ(buffer[52], 0xAA);
  }
}

TEST_F(BlockReading, ImageOf48BytesFillsBlockZeroExactly) {
  const auto blocks = ReadAll(Counting(48));
  ASSERT_EQ(blocks.size(), 1u);
  EXPECT_EQ(blocks[0].first, 52);
  EXPECT_EQ(blocks[0].second[3], 48);
  EXPECT_EQ(blocks[0].second[51], 48);
}

TEST_F(BlockReading, ImageOf49BytesEndsWithAOneByteBlock) {
  const auto blocks = ReadAll(Counting(49));
  ASSERT_EQ(blocks.size(), 2u);
  EXPECT_EQ(blocks[1].first, 1);
  EXPECT_EQ(blocks[1].second[0], 49);
}

TEST_F(BlockReading, ImageOf104BytesIsTwoFullBlocks) {
  const auto blocks = ReadAll(Counting(104));
  ASSERT_EQ(blocks.size(), 2u);
  EXPECT_EQ(blocks[0].first, 52);
  EXPECT_EQ(blocks[1].first, 56);
  EXPECT_EQ(blocks[1].second[0], 49);
  EXPECT_EQ(blocks[1].second[55], 104);
}

TEST_F(BlockReading, ImageOf110BytesSendsTheRemainderLast) {
  const Bytes image = Counting(110);
  const auto blocks = ReadAll(image);
  ASSERT_EQ(blocks.size(), 3u);
  EXPECT_EQ(blocks[0].first, 52);
  EXPECT_EQ(Bytes(blocks[0].second.begin(), blocks[0].second.begin() + 4), (Bytes{0, 0, 0, 110}));
  EXPECT_EQ(Bytes(blocks[0].second.begin() + 4, blocks[0].second.begin() + 52),
            Bytes(image.begin(), image.begin() + 48));
  EXPECT_EQ(blocks[1].first, 56);
  EXPECT_EQ(Bytes(blocks[1].second.begin(), blocks[1].second.begin() + 56),
            Bytes(image.begin() + 48, image.begin() + 104));
  EXPECT_EQ(blocks[2].first, 6);
  EXPECT_EQ(Bytes(blocks[2].second.begin(), blocks[2].second.begin() + 6),
            Bytes(image.begin() + 104, image.end()));
  // The reused buffer still holds block 1 past the 6 bytes.
  EXPECT_EQ(blocks[2].second[6], image[48 + 6]);
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
  ASSERT_EQ(reader.Open(folder_ / "image.bin"), ImageOk);
  ASSERT_EQ(reader.ReadNextBlock(buffer, count), ImageOk);
  ASSERT_EQ(reader.ReadNextBlock(buffer, count), ImageOk);
  reader.Close();
  ASSERT_EQ(reader.Open(folder_ / "image.bin"), ImageOk);
  ASSERT_EQ(reader.ReadNextBlock(buffer, count), ImageOk);
  EXPECT_EQ(count, 52);
  EXPECT_EQ(buffer[3], 120);
  EXPECT_EQ(buffer[4], 1);
}

}  // namespace
}  // namespace kvm::firmware::test
