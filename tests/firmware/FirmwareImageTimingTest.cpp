// Unscrambling and checksumming a large file must not hold up the window.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>

#include "FirmwareImageTestFiles.h"
#include "firmware/Container.h"
#include "firmware/FirmwareImage.h"

namespace kvm::firmware::test {
namespace {

// Generous, for debug builds on a busy machine; an optimised build needs a
// few milliseconds.
constexpr double BoundMs = 400.0;
constexpr std::size_t FourMiB = 4u << 20;

// Runs the work, prints and checks how long it took.
template <typename Work>
void ExpectQuick(const char* what, Work&& work) {
  const auto start = std::chrono::steady_clock::now();
  work();
  const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  std::printf("%s: %.2f ms\n", what, ms);
  EXPECT_LT(ms, BoundMs) << what;
}

Bytes Pattern(std::size_t length) {
  Bytes bytes(length);
  for (std::size_t i = 0; i < length; ++i) bytes[i] = static_cast<std::uint8_t>(i * 131 + (i >> 9));
  return bytes;
}

TEST(FirmwareImageTiming, CheckSumOfFourMiB) {
  TTempFolder folder;
  WriteBytes(folder / "image.bin", Pattern(FourMiB));
  int sum = -1;
  ExpectQuick("FileCheckSum of 4 MiB", [&] { sum = FileCheckSum(folder / "image.bin"); });
  EXPECT_GE(sum, 0);
}

TEST(FirmwareImageTiming, UnscrambleFourMiBInMemory) {
  const Bytes in = Pattern(FourMiB);
  Bytes out(in.size());
  detail::TContainerHeader header;
  header.ChipType = 300;
  header.KeyOffset = 5;
  header.StepLength = 13;
  header.KeyByte = 0x6B;
  ExpectQuick("Unscrambling 4 MiB in memory",
              [&] { detail::UnscramblePayload(header, in.data(), out.data(), in.size()); });
  EXPECT_NE(out, in);
}

TEST(FirmwareImageTiming, UnscrambleLargestContainerFileToFile) {
  // 4 MiB of payload would need more than 65536 blocks; this is the most a
  // container may carry.
  TTempFolder folder;
  Bytes container = MakeContainer(Chip300, 5, 13, {0, 0, 0, 0, 0, 0x6B}, {});
  const Bytes payload = Pattern(static_cast<std::size_t>(MaxImageLength));
  container.insert(container.end(), payload.begin(), payload.end());
  WriteBytes(folder / "fw.usb", container);
  int result = -100;
  ExpectQuick("UnscrambleContainerTo, largest payload",
              [&] { result = UnscrambleContainerTo(4, folder / "fw.usb", folder / "out.bin"); });
  EXPECT_EQ(result, ImageOk) << LastImageErrorDetail();
}

}  // namespace
}  // namespace kvm::firmware::test
