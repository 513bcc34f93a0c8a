// The two measurements a job takes of the file it programs.
#include <gtest/gtest.h>

#include <random>

#include "FirmwareImageTestFiles.h"
#include "firmware/FirmwareImage.h"

namespace kvm::firmware::test {
namespace {

class FileMeasures : public ::testing::Test {
 protected:
  TTempFolder folder_;
};

TEST_F(FileMeasures, CheckSumWrapsAt16Bits) {
  WriteBytes(folder_ / "empty", {});
  WriteBytes(folder_ / "ff257", Bytes(257, 0xFF));
  WriteBytes(folder_ / "ff258", Bytes(258, 0xFF));
  EXPECT_EQ(FileCheckSum(folder_ / "empty"), 0);
  EXPECT_EQ(FileCheckSum(folder_ / "ff257"), 0xFFFF);
  EXPECT_EQ(FileCheckSum(folder_ / "ff258"), 0x00FE);
}

TEST_F(FileMeasures, CheckSumCoversEveryByteAcrossReadChunks) {
  std::mt19937 random(3);
  // Odd length: several read chunks and a partial last one.
  Bytes bytes(200 * 1024 + 13);
  for (auto& byte : bytes) byte = static_cast<std::uint8_t>(random());
  unsigned expected = 0;
  for (std::uint8_t byte : bytes) expected = (expected + byte) % 65536;
  WriteBytes(folder_ / "image", bytes);
  EXPECT_EQ(FileCheckSum(folder_ / "image"), static_cast<int>(expected));
  bytes.back() ^= 0x01;
  WriteBytes(folder_ / "image", bytes);
  EXPECT_NE(FileCheckSum(folder_ / "image"), static_cast<int>(expected));
}

TEST_F(FileMeasures, CheckSumOfAnUnreadableFileIsAFailureNotASum) {
  EXPECT_EQ(FileCheckSum(folder_ / "missing"), FileUnreadable);
  EXPECT_NE(LastImageErrorDetail().find("missing: No such file"), std::string::npos);
  EXPECT_EQ(FileCheckSum(folder_.Path()), FileUnreadable);
  EXPECT_NE(LastImageErrorDetail().find("not a regular file"), std::string::npos);
  WriteBytes(folder_ / "one", {1});
  EXPECT_EQ(FileCheckSum(folder_ / "one"), 1);
  EXPECT_EQ(LastImageErrorDetail(), "");
}

TEST_F(FileMeasures, LengthBytesAreMostSignificantFirst) {
  std::array<std::uint8_t, 4> length{};
  WriteBytes(folder_ / "300", Bytes(300, 0x11));
  ASSERT_TRUE(FileLengthBytes(folder_ / "300", length));
  EXPECT_EQ(length, (std::array<std::uint8_t, 4>{0x00, 0x00, 0x01, 0x2C}));
  WriteBytes(folder_ / "empty", {});
  ASSERT_TRUE(FileLengthBytes(folder_ / "empty", length));
  EXPECT_EQ(length, (std::array<std::uint8_t, 4>{0, 0, 0, 0}));
  WriteSparse(folder_ / "max32", {}, 0xFFFFFFFFll);
  ASSERT_TRUE(FileLengthBytes(folder_ / "max32", length));
  EXPECT_EQ(length, (std::array<std::uint8_t, 4>{0xFF, 0xFF, 0xFF, 0xFF}));
}

TEST_F(FileMeasures, LengthBeyond32BitsOrUnreadableIsRefusedAndDestinationKept) {
  std::array<std::uint8_t, 4> length{1, 2, 3, 4};
  WriteSparse(folder_ / "huge", {}, 0x100000000ll);
  EXPECT_FALSE(FileLengthBytes(folder_ / "huge", length));
  EXPECT_FALSE(FileLengthBytes(folder_ / "missing", length));
  EXPECT_FALSE(FileLengthBytes(folder_.Path(), length));
  EXPECT_EQ(length, (std::array<std::uint8_t, 4>{1, 2, 3, 4}));
}

}  // namespace
}  // namespace kvm::firmware::test
