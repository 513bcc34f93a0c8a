// The Windows back end against the HID class driver of Wine, which presents a
// virtual mouse (845e:0001) and keyboard (845e:0002).
#include <gtest/gtest.h>

#include <cstring>

#include "WineHid.h"
#include "hid/platform/windows/Hid.h"
#include "hid/platform/windows/WindowsHidHandle.h"

namespace kvm::hid::platform::windows::test {
namespace {

class OtherPreparsedData final : public TPreparsedData {};

std::unique_ptr<THidHandle> OpenOrFail(TWindowsHidPlatform& platform, const std::string& path, TOpenMode mode) {
  std::uint32_t error = 0;
  auto handle = platform.Open(path, mode, error);
  EXPECT_NE(handle, nullptr) << path << ": " << platform.ErrorText(error);
  return handle;
}

}  // namespace

TEST_F(WineHidTest, ScanListsTheMouseAndTheKeyboardInAStableOrder) {
  const std::vector<THidInterface> first = platform.ScanInterfaces();
  ASSERT_EQ(first.size(), 2u);
  EXPECT_NE(first[0].DeviceID, first[1].DeviceID);
  EXPECT_EQ(AttributesOf(first[0].DevicePath).ProductID, kWineMouseID);
  EXPECT_EQ(AttributesOf(first[1].DevicePath).ProductID, kWineKeyboardID);
  EXPECT_NE(first[0].DevicePath.find("vid_845e&pid_0001"), std::string::npos) << first[0].DevicePath;

  // A rescan with nothing changed matches every device by its instance.
  const std::vector<THidInterface> second = platform.ScanInterfaces();
  ASSERT_EQ(second.size(), first.size());
  for (std::size_t i = 0; i < first.size(); ++i) {
    EXPECT_EQ(second[i].DeviceID, first[i].DeviceID);
    EXPECT_EQ(second[i].DevicePath, first[i].DevicePath);
  }
}

TEST_F(WineHidTest, ScanFindsNothingWithoutHidAccess) {
  platform.UnloadHidAccess();
  EXPECT_TRUE(platform.ScanInterfaces().empty());
  EXPECT_TRUE(IsEqualGUID(platform.HidGuid(), kPublishedHidGuid));
  ASSERT_TRUE(platform.LoadHidAccess());
  EXPECT_TRUE(IsEqualGUID(platform.HidGuid(), kPublishedHidGuid));  // what HidD_GetHidGuid says
}

TEST_F(WineHidTest, ScanKeepsTheRegistryPropertiesOfEachInterface) {
  const auto path = FindDevice(kWineKeyboardID);
  ASSERT_TRUE(path);
  const TWindowsPnPProperties* properties = platform.PnPProperties(*path);
  ASSERT_NE(properties, nullptr);
  EXPECT_EQ(properties->Class, "HIDClass");
  EXPECT_EQ(properties->DeviceDesc, "Wine HID device");
  ASSERT_FALSE(properties->HardwareID.empty());
  EXPECT_EQ(properties->HardwareID.front().rfind("HID\\VID_845E&PID_0002", 0), 0u) << properties->HardwareID.front();
  EXPECT_EQ(properties->HardwareID.back(), "HID");
  EXPECT_EQ(platform.PnPProperties("\\\\?\\hid#not_scanned"), nullptr);
}

TEST_F(WineHidTest, CapabilitiesComeFromThePreparsedData) {
  const auto mousePath = FindDevice(kWineMouseID);
  const auto keyboardPath = FindDevice(kWineKeyboardID);
  ASSERT_TRUE(mousePath && keyboardPath);
  struct {
    std::string path;
    std::uint16_t usage;
  } expected[] = {{*mousePath, 2}, {*keyboardPath, 6}};
  for (const auto& device : expected) {
    auto handle = OpenOrFail(platform, device.path, TOpenMode::QueryOnly);
    ASSERT_NE(handle, nullptr);
    auto data = handle->GetPreparsedData();
    ASSERT_NE(data, nullptr);
    THidCaps caps;
    ASSERT_TRUE(platform.GetCaps(*data, caps));
    EXPECT_EQ(caps.UsagePage, 1);  // generic desktop
    EXPECT_EQ(caps.Usage, device.usage);
    EXPECT_GT(caps.InputReportByteLength, 1);
    EXPECT_EQ(caps.OutputReportByteLength, 0);
    EXPECT_EQ(caps.NumberLinkCollectionNodes, 1);
  }
}

TEST_F(WineHidTest, CapabilitiesOfForeignPreparsedDataAreAllZero) {
  THidCaps caps;
  caps.Usage = 99;
  EXPECT_FALSE(platform.GetCaps(OtherPreparsedData(), caps));
  EXPECT_EQ(caps.Usage, 0);
  EXPECT_EQ(caps.InputReportByteLength, 0);
}

TEST_F(WineHidTest, StringsAndTheSerialRuleOnWine) {
  const auto path = FindDevice(kWineMouseID);
  ASSERT_TRUE(path);
  auto handle = OpenOrFail(platform, *path, TOpenMode::ReadWrite);
  ASSERT_NE(handle, nullptr);
  std::u16string text;
  ASSERT_TRUE(handle->GetManufacturerString(text));
  EXPECT_EQ(text, u"The Wine Project");
  ASSERT_TRUE(handle->GetProductString(text));
  EXPECT_EQ(text, u"Wine HID mouse");

  // Wine answers the serial query with "0000" but refuses the language table
  // (string index 0), which leaves no table to tell them apart: no serial.
  const HANDLE file = static_cast<TWindowsHidHandle&>(*handle).File();
  char16_t raw[127] = {};
  ASSERT_TRUE(HidEntryPoints().GetSerialNumberString(file, raw, sizeof raw));
  EXPECT_EQ(std::u16string(raw), u"0000");
  text = u"stale";
  ASSERT_TRUE(handle->GetSerialNumberString(text));
  EXPECT_EQ(text, u"");
}

TEST_F(WineHidTest, InputBufferCountIsSetAndReadBack) {
  const auto path = FindDevice(kWineKeyboardID);
  ASSERT_TRUE(path);
  auto handle = OpenOrFail(platform, *path, TOpenMode::ReadWrite);
  ASSERT_NE(handle, nullptr);
  std::uint32_t count = 0;
  ASSERT_TRUE(handle->GetNumInputBuffers(count));
  EXPECT_GE(count, 2u);
  ASSERT_TRUE(handle->SetNumInputBuffers(64));
  ASSERT_TRUE(handle->GetNumInputBuffers(count));
  EXPECT_EQ(count, 64u);
  EXPECT_FALSE(handle->SetNumInputBuffers(1));  // the driver keeps at least two
  ASSERT_TRUE(handle->GetNumInputBuffers(count));
  EXPECT_EQ(count, 64u);
}

TEST_F(WineHidTest, EveryOpeningModeIsGrantedForAFreeDevice) {
  const auto path = FindDevice(kWineMouseID);
  ASSERT_TRUE(path);
  for (TOpenMode mode : {TOpenMode::ReadWrite, TOpenMode::QueryOnly, TOpenMode::Read, TOpenMode::Write}) {
    auto handle = OpenOrFail(platform, *path, mode);
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(static_cast<TWindowsHidHandle&>(*handle).Mode(), mode);
  }
}

// The general handle of a device that refuses read/write access (on Windows,
// a keyboard or mouse the system holds) is opened with no access at all. Wine
// does not enforce share modes on device files, so the refusal cannot be
// staged here; what such a handle can and cannot do can.
TEST_F(WineHidTest, AQueryOnlyHandleIdentifiesTheDeviceButRefusesWrites) {
  const auto path = FindDevice(kWineKeyboardID);
  ASSERT_TRUE(path);
  std::uint32_t error = 0;
  auto handle = platform.Open(*path, TOpenMode::QueryOnly, error);
  ASSERT_NE(handle, nullptr) << platform.ErrorText(error);

  THidAttributes attributes;
  ASSERT_TRUE(handle->GetAttributes(attributes));
  EXPECT_EQ(attributes.Size, 12u);
  EXPECT_EQ(attributes.VendorID, kWineVendorID);
  EXPECT_EQ(attributes.ProductID, kWineKeyboardID);
  std::u16string product;
  EXPECT_TRUE(handle->GetProductString(product));
  EXPECT_EQ(product, u"Wine HID keyboard");

  const std::uint8_t report[2] = {0, 0};
  std::size_t written = 99;
  EXPECT_FALSE(handle->Write(report, sizeof report, written, error));
  EXPECT_EQ(error, static_cast<std::uint32_t>(ERROR_ACCESS_DENIED));
  EXPECT_EQ(written, 0u);
}

TEST_F(WineHidTest, FailuresCarryTheSystemsCodeAndText) {
  const auto path = FindDevice(kWineMouseID);
  ASSERT_TRUE(path);
  auto handle = OpenOrFail(platform, *path, TOpenMode::ReadWrite);
  ASSERT_NE(handle, nullptr);
  // The mouse has no output report to write.
  const std::uint8_t report[8] = {};
  std::size_t written = 0;
  std::uint32_t error = 0;
  EXPECT_FALSE(handle->Write(report, sizeof report, written, error));
  EXPECT_NE(error, 0u);
  EXPECT_FALSE(platform.ErrorText(error).empty());

  EXPECT_EQ(platform.Open("\\\\?\\hid#vid_0b39&pid_ff03#gone", TOpenMode::ReadWrite, error), nullptr);
  EXPECT_EQ(error, static_cast<std::uint32_t>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(platform.ErrorText(error), "File not found.");
  EXPECT_EQ(platform.ErrorText(0xDEAD0001), "system error 3735879681");
}

TEST_F(WineHidTest, QueriesAfterUnbindingFailInsteadOfCrashing) {
  const auto path = FindDevice(kWineMouseID);
  ASSERT_TRUE(path);
  auto handle = OpenOrFail(platform, *path, TOpenMode::QueryOnly);
  ASSERT_NE(handle, nullptr);
  auto data = handle->GetPreparsedData();
  ASSERT_NE(data, nullptr);
  platform.UnloadHidAccess();
  THidAttributes attributes;
  EXPECT_FALSE(handle->GetAttributes(attributes));
  std::u16string text;
  EXPECT_FALSE(handle->GetSerialNumberString(text));
  THidCaps caps;
  EXPECT_FALSE(platform.GetCaps(*data, caps));
  data.reset();  // released through its own reference on the library
  ASSERT_TRUE(platform.LoadHidAccess());
}

}  // namespace kvm::hid::platform::windows::test
