#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <fstream>
#include <iterator>

#include "cli/CommandSupport.h"
#include "cli/ContainerHeader.h"
#include "firmware/FirmwareImage.h"

namespace kvm::cli {
namespace {

std::vector<std::uint8_t> Header(std::uint8_t b0, std::uint8_t b1, std::uint8_t b2, std::uint8_t b3) {
  std::vector<std::uint8_t> head(16);
  head[0] = b0;
  head[1] = b1;
  head[2] = b2;
  head[3] = b3;
  for (std::size_t i = 4; i < 16; ++i) head[i] = static_cast<std::uint8_t>(0x40 + i);
  return head;
}

TEST(ContainerHeader, ReadsFieldsAndIgnoresHighNibbles) {
  const auto header = ParseContainerHeader(Header(0x01, 0x2C, 0xF3, 0xA5), 116);
  ASSERT_TRUE(header);
  EXPECT_EQ(header->ChipType, 300);
  EXPECT_EQ(header->KeyOffset, 3);
  EXPECT_EQ(header->StepLength, 5);
  EXPECT_EQ(header->KeyByte, 0x40 + 4 + 3);
  EXPECT_EQ(header->PayloadLength, 100);
}

TEST(ContainerHeader, KeyOffsetPastTheHeaderHasNoKeyByte) {
  const auto last = ParseContainerHeader(Header(0x00, 0x38, 11, 1), 16);
  ASSERT_TRUE(last);
  EXPECT_EQ(last->KeyByte, 0x40 + 15);
  EXPECT_EQ(last->PayloadLength, 0);
  const auto past = ParseContainerHeader(Header(0x00, 0x38, 12, 1), 20);
  ASSERT_TRUE(past);
  EXPECT_FALSE(past->KeyByte);
}

TEST(ContainerHeader, ShorterThanAHeaderIsNone) {
  std::vector<std::uint8_t> head(15, 0);
  EXPECT_FALSE(ParseContainerHeader(head, 15));
  EXPECT_FALSE(ParseContainerHeader(Header(1, 0x2C, 0, 1), 15));
}

TEST(ContainerHeader, RefusesKeysOutsideTheFormat) {
  EXPECT_TRUE(CheckScrambleKey({300, 11, 15, 255}).empty());
  EXPECT_FALSE(CheckScrambleKey({300, 12, 1, 0}).empty());
  EXPECT_FALSE(CheckScrambleKey({300, 0, 0, 0}).empty());
  EXPECT_FALSE(CheckScrambleKey({300, 0, 16, 0}).empty());
  EXPECT_FALSE(CheckScrambleKey({300, 0, 1, 256}).empty());
  EXPECT_FALSE(CheckScrambleKey({0x10000, 0, 1, 0}).empty());
  EXPECT_THROW(BuildContainer({1, 2, 3}, {300, 12, 1, 0}), std::invalid_argument);
}

// The job's own unscrambler must give the image back, whatever the key.
TEST(ContainerHeader, BuiltContainersUnscrambleToTheImage) {
  QTemporaryDir folder;
  ASSERT_TRUE(folder.isValid());
  const std::string containerPath = folder.filePath("image.usb").toStdString();
  const std::string outputPath = folder.filePath("out.bin").toStdString();
  std::vector<std::uint8_t> image(300);
  for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<std::uint8_t>(i * 31 + 7);

  for (const TScrambleKey key : {TScrambleKey{300, 0, 1, 0}, TScrambleKey{300, 11, 15, 0xFF},
                                 TScrambleKey{300, 5, 7, 0x3C}, TScrambleKey{}}) {
    for (const std::size_t length : {std::size_t{1}, std::size_t{15}, std::size_t{16}, std::size_t{300}}) {
      const std::vector<std::uint8_t> part(image.begin(), image.begin() + static_cast<std::ptrdiff_t>(length));
      const std::vector<std::uint8_t> container = BuildContainer(part, key);
      ASSERT_EQ(container.size(), 16 + length);
      std::string error;
      ASSERT_TRUE(WriteWholeFile(containerPath, container, error)) << error;
      ASSERT_EQ(firmware::UnscrambleContainerTo(4, containerPath, outputPath), firmware::ImageOk)
          << firmware::LastImageErrorDetail();
      std::vector<std::uint8_t> back;
      ASSERT_TRUE(ReadWholeFile(outputPath, back, error)) << error;
      EXPECT_EQ(back, part) << "offset " << key.KeyOffset << " step " << key.StepLength << " length " << length;
      if (length >= 16) {
        EXPECT_NE(std::vector<std::uint8_t>(container.begin() + 16, container.end()), part);
      }
    }
  }
}

TEST(ContainerHeader, RefusalsNameTheCause) {
  EXPECT_EQ(ContainerRefusal(firmware::ChipTypeNotForTarget, ParseContainerHeader(Header(0, 0x38, 0, 1), 40),
                             TTarget::Osd),
            "Chip type 56 is not accepted for the OSD target.");
  EXPECT_EQ(ContainerRefusal(firmware::UnknownChipType, ParseContainerHeader(Header(0x12, 0x34, 0, 1), 40),
                             TTarget::UsbHost),
            "Unknown chip type 0x1234.");
  EXPECT_NE(ContainerRefusal(firmware::MalformedContainer, ParseContainerHeader(Header(1, 0x2C, 0x0D, 1), 40),
                             TTarget::UsbHost)
                .find("key offset 13"),
            std::string::npos);
  EXPECT_NE(ContainerRefusal(firmware::MalformedContainer, std::nullopt, TTarget::UsbHost).find("shorter"),
            std::string::npos);
}

}  // namespace
}  // namespace kvm::cli
