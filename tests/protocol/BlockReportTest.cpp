// What a block write and the other reports put on the wire, for devices that
// declare various output report lengths.
#include <gtest/gtest.h>

#include <algorithm>

#include "ProtocolRig.h"

namespace kvm::protocol {
namespace {

using hid::platform::SimProgrammer;
using hid::platform::TSimDeviceInfo;
using hid::platform::VendorDescriptor;

TSimDeviceInfo ProgrammerWithOutputBytes(std::uint8_t outputBytes) {
  TSimDeviceInfo info = SimProgrammer();
  info.ReportDescriptor = VendorDescriptor(0x01, 7, 0x04, outputBytes);
  return info;
}

std::array<std::uint8_t, 64> Filled(std::uint8_t value) {
  std::array<std::uint8_t, 64> data;
  data.fill(value);
  return data;
}

class BlockReportTest : public ::testing::Test {
 protected:
  std::unique_ptr<test::TProtocolRig> Connect(TSimDeviceInfo info) {
    return std::make_unique<test::TProtocolRig>(20, std::move(info), programmer.Responder());
  }
  test::TScriptedProgrammer programmer;
};

TEST_F(BlockReportTest, BlockNumberCountAndDataSitAtTheirOffsets) {
  auto rig = Connect(SimProgrammer());
  std::array<std::uint8_t, 64> data = Filled(0xAA);
  for (int i = 0; i < 5; ++i) data[i] = static_cast<std::uint8_t>(0x11 * (i + 1));
  EXPECT_EQ(rig->protocol.ProgramBlock(2, 300, 5, data), 0);
  EXPECT_EQ(rig->status.panels[1], "Programming block [300] ...");
  ASSERT_EQ(programmer.Written.size(), 1u);
  std::vector<std::uint8_t> expected(64, 0x00);
  const std::uint8_t head[] = {0x04, 0x02, 0x06, 0x01, 0x2C, 0x05, 0x00, 0x00, 0x11, 0x22, 0x33, 0x44, 0x55};
  std::copy(std::begin(head), std::end(head), expected.begin());
  EXPECT_EQ(programmer.Written[0], expected) << "bytes of the array past the count are not sent";
}

TEST_F(BlockReportTest, CountBeyondTheDataArrayIsCutToIt) {
  auto rig = Connect(ProgrammerWithOutputBytes(127));
  EXPECT_EQ(rig->protocol.ProgramBlock(4, 1, 100, Filled(0x77)), 0);
  const auto& sent = programmer.Written.at(0);
  ASSERT_EQ(sent.size(), 128u);
  EXPECT_EQ(sent[5], 64);
  EXPECT_EQ(sent[8 + 63], 0x77);
  EXPECT_EQ(sent[8 + 64], 0x00) << "nothing from beyond the 64 data bytes";
}

TEST_F(BlockReportTest, OutputLengthAboveTheBufferIsLimitedToIt) {
  auto rig = Connect(ProgrammerWithOutputBytes(199));
  std::int32_t chipId = 0;
  EXPECT_EQ(rig->protocol.GetChipID(4, chipId), 0);
  ASSERT_EQ(programmer.Written.size(), 1u);
  EXPECT_EQ(programmer.Written[0].size(), 128u);
}

TEST_F(BlockReportTest, ShortOutputLengthSendsOnlyThatMuch) {
  auto rig = Connect(ProgrammerWithOutputBytes(15));
  EXPECT_EQ(rig->protocol.ProgramBlock(4, 0, 52, Filled(1)), 0);
  EXPECT_EQ(programmer.Written.at(0).size(), 16u);
}

TEST_F(BlockReportTest, DeviceWithoutOutputReportIsNotWrittenTo) {
  TSimDeviceInfo info = SimProgrammer();
  // Input report only: the output report items are taken out.
  info.ReportDescriptor = VendorDescriptor(0x01, 7, 0x04, 63);
  const std::vector<std::uint8_t> outputItems{0x85, 0x04, 0x09, 0x03, 0x95, 63, 0x91, 0x02};
  auto& d = info.ReportDescriptor;
  const auto at = std::search(d.begin(), d.end(), outputItems.begin(), outputItems.end());
  ASSERT_NE(at, d.end());
  d.erase(at, at + static_cast<std::ptrdiff_t>(outputItems.size()));
  auto rig = Connect(info);
  EXPECT_EQ(rig->protocol.EnableProgrammer(), -1);
  EXPECT_TRUE(programmer.Written.empty());
  ASSERT_EQ(rig->status.log.size(), 1u);
  EXPECT_EQ(rig->status.log[0], "WRITE ERROR: The programmer declares no output report length");
}

}  // namespace
}  // namespace kvm::protocol
