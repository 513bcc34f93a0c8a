// Unscrambling of containers: the result, the chip-type check and refusals.
#include <gtest/gtest.h>

#include <random>

#include "FirmwareImageTestFiles.h"
#include "firmware/Container.h"
#include "firmware/FirmwareImage.h"

namespace kvm::firmware::test {
namespace {

constexpr int UsbHost = 4;
constexpr int Osd = 2;

// The unscrambled byte n, written out in one formula.
Bytes ClosedForm(const Bytes& container) {
  const int k0 = container[2] & 0x0F;
  const std::uint8_t key = container[4 + k0];
  Bytes out;
  for (std::size_t n = 0; n + 16 < container.size(); ++n)
    out.push_back(static_cast<std::uint8_t>(container[16 + n] ^ key ^ ((k0 + 7 * (n + 1)) % 256)));
  return out;
}

Bytes RandomBytes(std::mt19937& random, std::size_t length) {
  Bytes bytes(length);
  for (auto& byte : bytes) byte = static_cast<std::uint8_t>(random());
  return bytes;
}

Bytes RandomContainer(std::mt19937& random, std::size_t payloadLength) {
  // Random high nibbles too: they must not matter.
  const auto keyOffset = static_cast<std::uint8_t>((random() & 0xF0) | (random() % 12));
  const auto step = static_cast<std::uint8_t>((random() & 0xF0) | (1 + random() % 15));
  return MakeContainer(Chip300, keyOffset, step, RandomBytes(random, 12),
                       RandomBytes(random, payloadLength));
}

Bytes UnscrambleInMemory(const Bytes& container) {
  detail::TCheckedHeader header;
  EXPECT_EQ(detail::ReadContainerHeader(UsbHost, container.data(), container.size(), header), ImageOk);
  Bytes out(container.size() - 16);
  detail::UnscramblePayload(header, container.data() + 16, out.data(), out.size());
  return out;
}

class ContainerFiles : public ::testing::Test {
 protected:
  // Unscrambles the container bytes through a file; the result code and the output.
  int Unscramble(int target, const Bytes& container, Bytes& output) {
    WriteBytes(folder_ / "fw.usb", container);
    const int result = UnscrambleContainerTo(target, folder_ / "fw.usb", folder_ / "out.bin");
    output = ReadBytes(folder_ / "out.bin");
    return result;
  }
  bool OutputExists() const { return std::filesystem::exists(folder_ / "out.bin"); }

  TTempFolder folder_;
};

TEST(ContainerUnscramble, StepwiseEqualsClosedFormForRandomHeadersAndLengths) {
  std::mt19937 random(20261208);
  for (int round = 0; round < 3000; ++round) {
    // Mostly short payloads, so that every step length meets payloads shorter
    // than one step and payloads ending mid-step.
    const std::size_t length = round % 10 == 0 ? random() % 5000 : 1 + random() % 40;
    const Bytes container = RandomContainer(random, length);
    ASSERT_EQ(UnscrambleInMemory(container), ClosedForm(container))
        << "round " << round << ", payload " << length << ", step " << (container[3] & 0x0F);
  }
}

TEST(ContainerUnscramble, IsItsOwnInverse) {
  std::mt19937 random(99);
  for (int round = 0; round < 200; ++round) {
    const Bytes container = RandomContainer(random, 1 + random() % 300);
    Bytes rescrambled(container.begin(), container.begin() + 16);
    const Bytes plain = UnscrambleInMemory(container);
    rescrambled.insert(rescrambled.end(), plain.begin(), plain.end());
    ASSERT_EQ(UnscrambleInMemory(rescrambled), Bytes(container.begin() + 16, container.end()));
  }
}

TEST(ContainerUnscramble, IgnoresStepLengthHighNibblesAndOtherKeyBytes) {
  std::mt19937 random(5);
  const Bytes payload = RandomBytes(random, 97);
  Bytes keyArea = RandomBytes(random, 12);
  const Bytes reference = UnscrambleInMemory(MakeContainer(Chip300, 3, 1, keyArea, payload));
  for (std::uint8_t step = 2; step <= 15; ++step)
    EXPECT_EQ(UnscrambleInMemory(MakeContainer(Chip300, 3, step, keyArea, payload)), reference)
        << "step " << int{step};
  EXPECT_EQ(UnscrambleInMemory(MakeContainer(Chip300, 0xA3, 0x51, keyArea, payload)), reference);
  for (std::size_t i = 0; i < 12; ++i) {
    if (i == 3) continue;
    Bytes changed = keyArea;
    changed[i] ^= 0x5A;
    EXPECT_EQ(UnscrambleInMemory(MakeContainer(Chip300, 3, 7, changed, payload)), reference)
        << "key area byte " << i;
  }
  keyArea[3] ^= 0x5A;
  EXPECT_NE(UnscrambleInMemory(MakeContainer(Chip300, 3, 7, keyArea, payload)), reference);
}

TEST_F(ContainerFiles, FileOutputIsExactlyTheUnscrambledPayload) {
  std::mt19937 random(42);
  for (std::size_t length : {1u, 15u, 16u, 17u, 100u, 4099u}) {
    const Bytes container = RandomContainer(random, length);
    Bytes output;
    ASSERT_EQ(Unscramble(UsbHost, container, output), ImageOk) << LastImageErrorDetail();
    EXPECT_EQ(output, ClosedForm(container)) << "payload " << length;
  }
}

TEST_F(ContainerFiles, SampleContainerGivesItsKnownPayload) {
  const std::string data = KVM_FIRMWARE_TEST_DATA;
  ASSERT_EQ(UnscrambleContainerTo(UsbHost, data + "/sample300.usb", folder_ / "out.bin"), ImageOk)
      << LastImageErrorDetail();
  EXPECT_EQ(ReadBytes(folder_ / "out.bin"), ReadBytes(data + "/sample300.bin"));
}

TEST_F(ContainerFiles, ShortPayloadIsWrittenWithoutHeaderBytes) {
  Bytes output;
  const Bytes container = MakeContainer(Chip300, 2, 4, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12},
                                        {0x10, 0x20, 0x30, 0x40, 0x50});
  ASSERT_EQ(Unscramble(Osd, container, output), ImageOk);
  EXPECT_EQ(output, ClosedForm(container));
  EXPECT_EQ(output.size(), 5u);
}

TEST_F(ContainerFiles, ChipTypeAcceptancePerTarget) {
  const Bytes payload(32, 0x33);
  struct Case {
    std::uint16_t chip;
    int target;
    int expected;
  };
  const Case cases[] = {
      {Chip300, UsbHost, ImageOk},       {Chip300, Osd, ImageOk},
      {Chip56, UsbHost, ChipTypeNotForTarget}, {Chip56, Osd, ChipTypeNotForTarget},
      {Chip28, UsbHost, ChipTypeNotForTarget}, {Chip28, Osd, ChipTypeNotForTarget},
      {Chip300, 3, ChipTypeNotForTarget},  // no other target takes a container
      {0x0000, UsbHost, UnknownChipType},  {0x1C00, Osd, UnknownChipType},
      {0x012D, UsbHost, UnknownChipType},  {0xFFFF, Osd, UnknownChipType},
      {0x002C, UsbHost, UnknownChipType},
  };
  for (const Case& c : cases) {
    std::filesystem::remove(folder_ / "out.bin");
    Bytes output;
    EXPECT_EQ(Unscramble(c.target, MakeContainer(c.chip, 0, 1, {}, payload), output), c.expected)
        << "chip 0x" << std::hex << c.chip << " target " << std::dec << c.target;
    EXPECT_EQ(OutputExists(), c.expected == ImageOk);
  }
}

TEST_F(ContainerFiles, RefusalLeavesAnEarlierOutputUntouched) {
  WriteBytes(folder_ / "out.bin", {9, 8, 7});
  Bytes output;
  EXPECT_EQ(Unscramble(UsbHost, MakeContainer(Chip56, 0, 1, {}, Bytes(20, 1)), output),
            ChipTypeNotForTarget);
  EXPECT_EQ(output, (Bytes{9, 8, 7}));
  EXPECT_EQ(Unscramble(UsbHost, MakeContainer(0x4D5A, 0, 1, {}, Bytes(20, 1)), output), UnknownChipType);
  EXPECT_EQ(output, (Bytes{9, 8, 7}));
}

TEST_F(ContainerFiles, MalformedHeadersAreRefusedAfterTheChipTypeCheck) {
  Bytes output;
  const Bytes payload(20, 0x77);
  const Bytes valid = MakeContainer(Chip300, 0, 1, {}, payload);
  // Fewer than 16 bytes: no header at all.
  EXPECT_EQ(Unscramble(UsbHost, Bytes(valid.begin(), valid.begin() + 15), output), MalformedContainer);
  EXPECT_EQ(Unscramble(UsbHost, {}, output), MalformedContainer);
  for (std::uint8_t keyOffset = 12; keyOffset <= 15; ++keyOffset)
    EXPECT_EQ(Unscramble(UsbHost, MakeContainer(Chip300, keyOffset, 1, {}, payload), output),
              MalformedContainer)
        << "key offset " << int{keyOffset};
  EXPECT_EQ(Unscramble(UsbHost, MakeContainer(Chip300, 0, 0x00, {}, payload), output), MalformedContainer);
  EXPECT_EQ(Unscramble(UsbHost, MakeContainer(Chip300, 0, 0xF0, {}, payload), output), MalformedContainer);
  EXPECT_FALSE(OutputExists());
  // The chip type is judged first, so the operator hears the more telling reason.
  EXPECT_EQ(Unscramble(UsbHost, MakeContainer(0x0101, 0, 0, {}, payload), output), UnknownChipType);
  EXPECT_EQ(Unscramble(UsbHost, MakeContainer(Chip28, 13, 0, {}, payload), output), ChipTypeNotForTarget);
  // Only the low nibble counts: 0xFB is key offset 11.
  EXPECT_EQ(Unscramble(UsbHost, MakeContainer(Chip300, 0xFB, 0x1F, {}, payload), output), ImageOk);
}

TEST_F(ContainerFiles, ContainerWithoutPayloadIsEmpty) {
  Bytes output;
  EXPECT_EQ(Unscramble(UsbHost, MakeContainer(Chip300, 0, 1, {}, {}), output), ImageEmpty);
  EXPECT_FALSE(OutputExists());
}

TEST_F(ContainerFiles, PayloadNeedingMoreThan65536BlocksIsTooLarge) {
  const Bytes header = MakeContainer(Chip300, 0, 1, {}, {});
  WriteSparse(folder_ / "big.usb", header, 16 + MaxImageLength + 1);
  EXPECT_EQ(UnscrambleContainerTo(UsbHost, folder_ / "big.usb", folder_ / "out.bin"), ImageTooLarge);
  EXPECT_FALSE(OutputExists());
  WriteSparse(folder_ / "largest.usb", header, 16 + MaxImageLength);
  EXPECT_EQ(UnscrambleContainerTo(UsbHost, folder_ / "largest.usb", folder_ / "out.bin"), ImageOk);
  EXPECT_EQ(std::filesystem::file_size(folder_ / "out.bin"), static_cast<std::uintmax_t>(MaxImageLength));
}

TEST_F(ContainerFiles, UnreadableContainerNamesFileAndReason) {
  EXPECT_EQ(UnscrambleContainerTo(UsbHost, folder_ / "missing.usb", folder_ / "out.bin"), FileUnreadable);
  EXPECT_NE(LastImageErrorDetail().find(folder_ / "missing.usb"), std::string::npos);
  EXPECT_NE(LastImageErrorDetail().find("No such file"), std::string::npos);
  std::filesystem::create_directory(folder_ / "dir.usb");
  EXPECT_EQ(UnscrambleContainerTo(UsbHost, folder_ / "dir.usb", folder_ / "out.bin"), FileUnreadable);
  EXPECT_FALSE(OutputExists());
}

TEST_F(ContainerFiles, UnwritableOutputLeavesNoFileBehind) {
  WriteBytes(folder_ / "fw.usb", MakeContainer(Chip300, 0, 1, {}, Bytes(40, 1)));
  EXPECT_EQ(UnscrambleContainerTo(UsbHost, folder_ / "fw.usb", folder_ / "no/such/out.bin"), FileUnwritable);
  EXPECT_NE(LastImageErrorDetail().find("no/such"), std::string::npos);
  // A folder in the way: the rename fails after the bytes were written.
  std::filesystem::create_directory(folder_ / "out.bin");
  EXPECT_EQ(UnscrambleContainerTo(UsbHost, folder_ / "fw.usb", folder_ / "out.bin"), FileUnwritable);
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder_.Path()))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"fw.usb", "out.bin"}));
}

}  // namespace
}  // namespace kvm::firmware::test
