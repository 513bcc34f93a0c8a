// The largest files: a 4 MiB checksum, 4 MiB unscrambled in memory and the
// largest container a target accepts unscrambled to a file. How long they
// take is a figure of scripts/bench, not a bound here.
#include <gtest/gtest.h>

#include <filesystem>

#include "FirmwareImageTestFiles.h"
#include "firmware/Container.h"
#include "firmware/FirmwareImage.h"

namespace kvm::firmware::test {
namespace {

constexpr std::size_t FourMiB = 4u << 20;

Bytes Pattern(std::size_t length) {
  Bytes bytes(length);
  for (std::size_t i = 0; i < length; ++i) bytes[i] = static_cast<std::uint8_t>(i * 131 + (i >> 9));
  return bytes;
}

TEST(FirmwareImageLarge, CheckSumOfFourMiB) {
  TTempFolder folder;
  const Bytes image = Pattern(FourMiB);
  WriteBytes(folder / "image.bin", image);
  int expected = 0;
  for (const std::uint8_t byte : image) expected = (expected + byte) & 0xFFFF;
  EXPECT_EQ(FileCheckSum(folder / "image.bin"), expected);
}

TEST(FirmwareImageLarge, UnscrambleFourMiBInMemory) {
  const Bytes in = Pattern(FourMiB);
  Bytes out(in.size());
  detail::TCheckedHeader header;
  header.ChipType = 300;
  header.KeyOffset = 5;
  header.StepLength = 13;
  header.KeyByte = 0x6B;
  detail::UnscramblePayload(header, in.data(), out.data(), in.size());
  EXPECT_NE(out, in);
}

TEST(FirmwareImageLarge, UnscrambleLargestContainerFileToFile) {
  // 4 MiB of payload would need more than 65536 blocks; this is the most a
  // container may carry.
  TTempFolder folder;
  Bytes container = MakeContainer(Chip300, 5, 13, {0, 0, 0, 0, 0, 0x6B}, {});
  const Bytes payload = Pattern(static_cast<std::size_t>(MaxImageLength));
  container.insert(container.end(), payload.begin(), payload.end());
  WriteBytes(folder / "fw.usb", container);
  EXPECT_EQ(UnscrambleContainerTo(4, folder / "fw.usb", folder / "out.bin"), ImageOk) << LastImageErrorDetail();
  EXPECT_EQ(std::filesystem::file_size(folder / "out.bin"), static_cast<std::uintmax_t>(MaxImageLength));
}

}  // namespace
}  // namespace kvm::firmware::test
