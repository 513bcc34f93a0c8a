// Run-time binding of libudev and of hidraw access.
#include <gtest/gtest.h>

#include "hid/platform/linux/HidrawBinding.h"
#include "hid/platform/linux/ModuleLoader.h"
#include "hid/platform/linux/UdevBinding.h"

namespace kvm::hid::platform::linux_hid {
namespace {

TEST(ModuleLoader, LoadsOnceLooksUpAndReleases) {
  TModuleHandle handle = nullptr;
  ASSERT_TRUE(LoadModule(handle, "libudev.so.1"));
  TModuleHandle held = handle;
  // A held handle is kept: nothing else is loaded into it.
  EXPECT_TRUE(LoadModule(handle, "no-such-library.so.9"));
  EXPECT_EQ(handle, held);

  EXPECT_NE(GetModuleSymbol(handle, "udev_new"), nullptr);
  EXPECT_EQ(GetModuleSymbol(handle, "udev_no_such_entry"), nullptr);
  EXPECT_EQ(GetModuleSymbol(nullptr, "udev_new"), nullptr);

  bool ok = true;
  EXPECT_NE(GetModuleSymbolEx(handle, "udev_new", ok), nullptr);
  EXPECT_TRUE(ok);
  EXPECT_EQ(GetModuleSymbolEx(handle, "udev_no_such_entry", ok), nullptr);
  EXPECT_FALSE(ok);
  // Once false, ok stays false.
  GetModuleSymbolEx(handle, "udev_new", ok);
  EXPECT_FALSE(ok);

  UnloadModule(handle);
  EXPECT_EQ(handle, nullptr);
  UnloadModule(handle);  // nothing held: no effect
  EXPECT_FALSE(LoadModule(handle, "no-such-library.so.9"));
  EXPECT_EQ(handle, nullptr);
}

TEST(UdevBinding, LibraryLackingOneNameStaysUnbound) {
  // The C library exists but has none of libudev's names.
  TUdevBinding binding("libc.so.6");
  EXPECT_FALSE(binding.Load());
  EXPECT_FALSE(binding.IsLoaded());
  EXPECT_EQ(binding.RefCount(), 0);
  EXPECT_EQ(binding.Functions().udev_new, nullptr);
  // A later load tries again, and fails again, without counting.
  EXPECT_FALSE(binding.Load());
  EXPECT_EQ(binding.RefCount(), 0);
}

TEST(UdevBinding, MissingLibraryStaysUnbound) {
  TUdevBinding binding("libudev-missing.so.0");
  EXPECT_FALSE(binding.Load());
  EXPECT_FALSE(binding.IsLoaded());
  EXPECT_EQ(binding.RefCount(), 0);
}

TEST(UdevBinding, IsCountedTwoLoadsNeedTwoUnloads) {
  TUdevBinding binding("libudev.so.1");
  ASSERT_TRUE(binding.Load());
  EXPECT_NE(binding.Functions().udev_monitor_receive_device, nullptr);
  ASSERT_TRUE(binding.Load());
  binding.Unload();
  EXPECT_TRUE(binding.IsLoaded());
  EXPECT_NE(binding.Functions().udev_new, nullptr);
  binding.Unload();
  EXPECT_FALSE(binding.IsLoaded());
  EXPECT_EQ(binding.Functions().udev_new, nullptr);
  EXPECT_EQ(binding.Functions().udev_monitor_receive_device, nullptr);
  // An extra unload does not leave the count below zero.
  binding.Unload();
  ASSERT_TRUE(binding.Load());
  EXPECT_EQ(binding.RefCount(), 1);
  binding.Unload();
}

TEST(HidrawBinding, NeedsUdevAndOneUnloadReleasesIt) {
  ASSERT_FALSE(IsUdevLoaded());
  EXPECT_FALSE(LoadHidraw());
  EXPECT_FALSE(IsHidrawLoaded());

  ASSERT_TRUE(LoadUdev());
  EXPECT_TRUE(LoadHidraw());
  EXPECT_TRUE(LoadHidraw());
  UnloadHidraw();
  EXPECT_FALSE(IsHidrawLoaded());
  UnloadUdev();
  EXPECT_FALSE(IsUdevLoaded());
}

}  // namespace
}  // namespace kvm::hid::platform::linux_hid
