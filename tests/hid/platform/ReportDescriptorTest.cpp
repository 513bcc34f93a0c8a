#include "hid/platform/ReportDescriptor.h"

#include <gtest/gtest.h>

#include <QByteArray>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <random>
#include <vector>

namespace kvm::hid::platform {
namespace {

using Bytes = std::vector<std::uint8_t>;

THidCaps Caps(const Bytes& descriptor, bool expectValid = true) {
  THidCaps caps;
  EXPECT_EQ(ComputeCaps(descriptor.data(), descriptor.size(), caps), expectValid);
  return caps;
}

Bytes FromHex(const QString& hex) {
  const QByteArray raw = QByteArray::fromHex(hex.toLatin1());
  return Bytes(raw.begin(), raw.end());
}

// The vendor-page programmer: input report 1 of 7 bytes, output report 4 of 63.
const Bytes ProgrammerDescriptor = {
    0x06, 0x00, 0xFF,  // Usage Page (vendor 0xFF00)
    0x09, 0x01,        // Usage 1
    0xA1, 0x01,        // Collection (Application)
    0x15, 0x00,        //   Logical Minimum 0
    0x26, 0xFF, 0x00,  //   Logical Maximum 255
    0x75, 0x08,        //   Report Size 8
    0x85, 0x01,        //   Report ID 1
    0x95, 0x07,        //   Report Count 7
    0x09, 0x01,        //   Usage 1
    0x81, 0x02,        //   Input
    0x85, 0x04,        //   Report ID 4
    0x95, 0x3F,        //   Report Count 63
    0x09, 0x01,        //   Usage 1
    0x91, 0x02,        //   Output
    0xC0,              // End Collection
};

TEST(ReportDescriptor, RealDevicesGiveTheWindowsLengths) {
  QFile file(QStringLiteral(KVM_TEST_DATA_DIR "/hid/hid-descriptors.json"));
  ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << file.fileName().toStdString();
  const QJsonArray devices = QJsonDocument::fromJson(file.readAll()).array();
  ASSERT_EQ(devices.size(), 8);
  for (const QJsonValue& value : devices) {
    const QJsonObject device = value.toObject();
    SCOPED_TRACE(device["device"].toString().toStdString());
    const THidCaps caps = Caps(FromHex(device["report_descriptor"].toString()));
    EXPECT_EQ(caps.InputReportByteLength, device["input_report_byte_length"].toInt());
    EXPECT_EQ(caps.OutputReportByteLength, device["output_report_byte_length"].toInt());
    EXPECT_EQ(caps.FeatureReportByteLength, device["feature_report_byte_length"].toInt());
    // The file names each device vendor_product_usage_usagepage.
    const QStringList name = device["device"].toString().split('_');
    EXPECT_EQ(caps.Usage, name[2].toUShort(nullptr, 16));
    EXPECT_EQ(caps.UsagePage, name[3].toUShort(nullptr, 16));
  }
}

TEST(ReportDescriptor, ProgrammerHasEightByteInputsAndSixtyFourByteOutputs) {
  const THidCaps caps = Caps(ProgrammerDescriptor);
  EXPECT_EQ(caps.UsagePage, 0xFF00);
  EXPECT_EQ(caps.Usage, 1);
  EXPECT_EQ(caps.InputReportByteLength, 8);
  EXPECT_EQ(caps.OutputReportByteLength, 64);
  EXPECT_EQ(caps.FeatureReportByteLength, 0);
  EXPECT_EQ(caps.NumberLinkCollectionNodes, 1);
}

TEST(ReportDescriptor, BootKeyboardWithoutReportIdsCountsTheZeroIdByte) {
  const Bytes keyboard = {
      0x05, 0x01, 0x09, 0x06, 0xA1, 0x01,                          // Generic Desktop, Keyboard
      0x05, 0x07, 0x19, 0xE0, 0x29, 0xE7, 0x15, 0x00, 0x25, 0x01,  // modifiers
      0x75, 0x01, 0x95, 0x08, 0x81, 0x02,                          // 8 x 1 bit
      0x95, 0x01, 0x75, 0x08, 0x81, 0x01,                          // reserved byte
      0x95, 0x05, 0x75, 0x01, 0x05, 0x08, 0x19, 0x01, 0x29, 0x05, 0x91, 0x02,  // 5 LEDs
      0x95, 0x01, 0x75, 0x03, 0x91, 0x01,                                      // LED padding
      0x95, 0x06, 0x75, 0x08, 0x15, 0x00, 0x25, 0x65, 0x05, 0x07, 0x19, 0x00, 0x29, 0x65, 0x81, 0x00,
      0xC0,
  };
  const THidCaps caps = Caps(keyboard);
  EXPECT_EQ(caps.UsagePage, 0x01);
  EXPECT_EQ(caps.Usage, 0x06);
  EXPECT_EQ(caps.InputReportByteLength, 9);
  EXPECT_EQ(caps.OutputReportByteLength, 2);
}

TEST(ReportDescriptor, MouseWithReportIdsTakesTheLargestReportAndRoundsUp) {
  const Bytes mouse = {
      0x05, 0x01, 0x09, 0x02, 0xA1, 0x01, 0x09, 0x01, 0xA1, 0x00,  // Mouse, Pointer (2 collections)
      0x85, 0x01,                                                  // Report ID 1
      0x05, 0x09, 0x19, 0x01, 0x29, 0x03, 0x15, 0x00, 0x25, 0x01,
      0x95, 0x03, 0x75, 0x01, 0x81, 0x02,  // 3 buttons: 3 bits, no padding
      0x05, 0x01, 0x09, 0x30, 0x09, 0x31, 0x15, 0x81, 0x25, 0x7F,
      0x75, 0x08, 0x95, 0x02, 0x81, 0x06,  // x, y: 16 bits -> report 1 is 19 bits
      0xC0,
      0x85, 0x02,                          // Report ID 2: one wheel byte
      0x09, 0x38, 0x95, 0x01, 0x81, 0x06,
      0x85, 0x03, 0x06, 0x00, 0xFF, 0x09, 0x01, 0x75, 0x08, 0x95, 0x05, 0xB1, 0x02,  // feature 3: 5 bytes
      0xC0,
  };
  const THidCaps caps = Caps(mouse);
  EXPECT_EQ(caps.UsagePage, 0x01);
  EXPECT_EQ(caps.Usage, 0x02);
  EXPECT_EQ(caps.InputReportByteLength, 4);  // 19 bits -> 3 bytes + ID
  EXPECT_EQ(caps.OutputReportByteLength, 0);
  EXPECT_EQ(caps.FeatureReportByteLength, 6);
  EXPECT_EQ(caps.NumberLinkCollectionNodes, 2);
}

TEST(ReportDescriptor, PushPopAndLongItemsKeepTheLayout) {
  const Bytes descriptor = {
      0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01,
      0x75, 0x08, 0x95, 0x04,  // 4 bytes
      0xA4,                    // Push
      0x95, 0x10,              // 16 bytes, only inside the push
      0x91, 0x02,              // output: 16 bytes
      0xB4,                    // Pop: back to 4
      0xFE, 0x02, 0x10, 0xAA, 0xBB,  // a long item is skipped whole
      0x81, 0x02,                    // input: 4 bytes
      0xC0,
  };
  const THidCaps caps = Caps(descriptor);
  EXPECT_EQ(caps.InputReportByteLength, 5);
  EXPECT_EQ(caps.OutputReportByteLength, 17);
}

TEST(ReportDescriptor, ExtendedUsageCarriesItsOwnPage) {
  const Bytes descriptor = {0x0B, 0x01, 0x00, 0x0C, 0x00,  // Usage 0x000C:0001 (4 bytes)
                            0xA1, 0x01, 0x75, 0x08, 0x95, 0x01, 0x81, 0x02, 0xC0};
  const THidCaps caps = Caps(descriptor);
  EXPECT_EQ(caps.UsagePage, 0x0C);
  EXPECT_EQ(caps.Usage, 0x01);
}

TEST(ReportDescriptor, EveryCutOfTheProgrammerDescriptorIsRefusedWithoutOverRead) {
  // Cut into a fresh buffer of exactly that size so a sanitizer sees any over-read.
  for (std::size_t length = 0; length < ProgrammerDescriptor.size(); ++length) {
    SCOPED_TRACE(length);
    const Bytes cut(ProgrammerDescriptor.begin(), ProgrammerDescriptor.begin() + length);
    const THidCaps caps = Caps(cut, false);
    EXPECT_EQ(caps.InputReportByteLength, 0);
    EXPECT_EQ(caps.OutputReportByteLength, 0);
    EXPECT_EQ(caps.UsagePage, 0);
  }
}

TEST(ReportDescriptor, MalformedStructuresAreRefused) {
  const std::vector<Bytes> malformed = {
      {0xC0},                                                    // end without a collection
      {0xA1, 0x01, 0x85, 0x00, 0x75, 0x08, 0x95, 0x01, 0x81, 0x02, 0xC0},  // report ID 0
      {0xA1, 0x01, 0xB4, 0xC0},                                  // pop without a push
      {0xA1, 0x01, 0xFE, 0x05, 0x10, 0x01, 0xC0},                // long item longer than the rest
      {0xA1, 0x01, 0x77, 0xFF, 0xFF, 0xFF, 0xFF, 0x97, 0xFF, 0xFF, 0xFF, 0xFF, 0x81, 0x02, 0xC0},  // huge
      {0x75, 0x08, 0x95, 0x01, 0x81, 0x02},                      // no collection at all
  };
  for (const Bytes& descriptor : malformed) {
    const THidCaps caps = Caps(descriptor, false);
    EXPECT_EQ(caps.InputReportByteLength, 0);
  }
  THidCaps caps;
  EXPECT_FALSE(ComputeCaps(nullptr, 0, caps));
}

TEST(ReportDescriptor, RandomGarbageNeverOverReads) {
  std::mt19937 random(12345);
  int accepted = 0;
  for (int round = 0; round < 2000; ++round) {
    Bytes garbage(1 + random() % 64);
    for (auto& byte : garbage) byte = static_cast<std::uint8_t>(random());
    THidCaps caps;
    if (ComputeCaps(garbage.data(), garbage.size(), caps)) ++accepted;
    else EXPECT_EQ(caps.InputReportByteLength + caps.OutputReportByteLength + caps.FeatureReportByteLength, 0);
  }
  EXPECT_LT(accepted, 2000);
}

TEST(ReportDescriptor, PreparsedDataKeepsTheDescriptorAndItsCaps) {
  const TDescriptorData data(ProgrammerDescriptor);
  EXPECT_TRUE(data.Valid());
  EXPECT_EQ(data.Descriptor(), ProgrammerDescriptor);
  EXPECT_EQ(data.Caps().OutputReportByteLength, 64);
  EXPECT_TRUE(data.UsesReportIds());
  EXPECT_FALSE(TDescriptorData(Bytes{0xA1}).Valid());
  const Bytes noIds = {0x05, 0x01, 0x09, 0x02, 0xA1, 0x01, 0x75, 0x08, 0x95, 0x03, 0x81, 0x02, 0xC0};
  EXPECT_TRUE(TDescriptorData(noIds).Valid());
  EXPECT_FALSE(TDescriptorData(noIds).UsesReportIds());
}

}  // namespace
}  // namespace kvm::hid::platform
