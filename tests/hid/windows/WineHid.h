// Wine's two virtual HID devices, found through the Windows back end.
#pragma once

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "hid/platform/windows/WindowsHidPlatform.h"

namespace kvm::hid::platform::windows::test {

inline constexpr std::uint16_t kWineVendorID = 0x845E;
inline constexpr std::uint16_t kWineMouseID = 0x0001;
inline constexpr std::uint16_t kWineKeyboardID = 0x0002;

// Binds enumeration and HID access for each test and releases them after.
class WineHidTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(platform.LoadEnumeration());
    ASSERT_TRUE(platform.LoadHidAccess());
  }
  void TearDown() override {
    platform.UnloadHidAccess();
    platform.UnloadEnumeration();
  }

  THidAttributes AttributesOf(const std::string& path) {
    THidAttributes attributes;
    std::uint32_t error = 0;
    auto handle = platform.Open(path, TOpenMode::QueryOnly, error);
    if (handle == nullptr || !handle->GetAttributes(attributes)) ADD_FAILURE() << "cannot identify " << path;
    return attributes;
  }

  // The path of the present interface with these IDs.
  std::optional<std::string> FindDevice(std::uint16_t productID) {
    for (const THidInterface& found : platform.ScanInterfaces()) {
      const THidAttributes attributes = AttributesOf(found.DevicePath);
      if (attributes.VendorID == kWineVendorID && attributes.ProductID == productID) return found.DevicePath;
    }
    return std::nullopt;
  }

  TWindowsHidPlatform platform;
};

}  // namespace kvm::hid::platform::windows::test
