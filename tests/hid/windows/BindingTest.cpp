// Run-time binding of HID.dll and SetupApi.dll: all or nothing, and counted.
// (scripts/test-windows checks that no program imports either library.)
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "hid/platform/windows/Hid.h"
#include "hid/platform/windows/ModuleLoader.h"
#include "hid/platform/windows/SetupApi.h"

using namespace kvm::hid::platform::windows;

namespace {

constexpr char kFullFake[] = "kvm_fakehid_full.dll";
constexpr char kLackingFake[] = "kvm_fakehid_lacking.dll";

bool IsModuleLoaded(const char* name) { return GetModuleHandleA(name) != nullptr; }

std::size_t BoundHidSlots() {
  return std::count_if(HidSlots(), HidSlots() + kHidSlotCount, [](FARPROC slot) { return slot != nullptr; });
}

void ExpectSetupApiUnbound() {
  EXPECT_FALSE(IsSetupApiLoaded());
  EXPECT_EQ(SetupApiReferenceCount(), 0);
  EXPECT_EQ(SetupApiEntryPoints().GetClassDevs, nullptr);
  EXPECT_EQ(SetupApiEntryPoints().GetDeviceRegistryProperty, nullptr);
}

}  // namespace

TEST(ModuleLoader, KeepsAHeldHandleAndAccumulatesMissingNames) {
  HMODULE handle = nullptr;
  ASSERT_TRUE(LoadModule(handle, kFullFake));
  const HMODULE first = handle;
  EXPECT_TRUE(LoadModule(handle, "no_such_library.dll"));  // a handle is held: nothing loaded
  EXPECT_EQ(handle, first);

  bool ok = true;
  EXPECT_NE(GetModuleSymbolEx(handle, "HidD_GetAttributes", ok), nullptr);
  EXPECT_TRUE(ok);
  EXPECT_EQ(GetModuleSymbolEx(handle, "HidD_NoSuchCall", ok), nullptr);
  EXPECT_FALSE(ok);
  EXPECT_NE(GetModuleSymbolEx(handle, "HidP_GetCaps", ok), nullptr);
  EXPECT_FALSE(ok) << "a later name that is found must not clear the failure";
  EXPECT_EQ(GetModuleSymbol(nullptr, "HidP_GetCaps"), nullptr);

  UnloadModule(handle);
  EXPECT_EQ(handle, nullptr);
  EXPECT_FALSE(IsModuleLoaded(kFullFake));
  UnloadModule(handle);  // harmless without a handle
}

TEST(HidBinding, ALibraryLackingOneNameIsNotBoundAtAll) {
  EXPECT_FALSE(LoadHidFrom(kLackingFake));
  EXPECT_FALSE(IsHidLoaded());
  EXPECT_EQ(BoundHidSlots(), 0u);
  EXPECT_EQ(HidEntryPoints().GetAttributes, nullptr);
  EXPECT_FALSE(IsModuleLoaded(kLackingFake)) << "the half-bound library must be released";
}

TEST(HidBinding, OneUnloadReleasesHowEverOftenItWasLoaded) {
  ASSERT_TRUE(LoadHidFrom(kFullFake));
  ASSERT_TRUE(LoadHidFrom(kFullFake));
  EXPECT_TRUE(IsHidLoaded());
  EXPECT_EQ(BoundHidSlots(), kHidSlotCount);
  EXPECT_EQ(HidSlots()[24], HidSlots()[25]);  // HidP_GetUsages and its button form
  UnloadHid();
  EXPECT_FALSE(IsHidLoaded());
  EXPECT_EQ(BoundHidSlots(), 0u);
  EXPECT_FALSE(IsModuleLoaded(kFullFake));
}

TEST(HidBinding, BindsEveryNameOfTheSystemLibrary) {
  ASSERT_TRUE(LoadHid());
  EXPECT_EQ(BoundHidSlots(), kHidSlotCount);
  const THidEntryPoints& hid = HidEntryPoints();
  EXPECT_NE(hid.GetHidGuid, nullptr);
  EXPECT_NE(hid.GetIndexedString, nullptr);
  EXPECT_NE(hid.SetNumInputBuffers, nullptr);
  UnloadHid();
  EXPECT_EQ(HidEntryPoints().GetHidGuid, nullptr);
}

TEST(SetupApiBinding, IsCountedAndReleasedByTheLastUnload) {
  ASSERT_TRUE(LoadSetupApi());
  ASSERT_TRUE(LoadSetupApi());
  EXPECT_EQ(SetupApiReferenceCount(), 2);
  UnloadSetupApi();
  EXPECT_TRUE(IsSetupApiLoaded());
  EXPECT_NE(SetupApiEntryPoints().GetDeviceInterfaceDetail, nullptr);
  UnloadSetupApi();
  ExpectSetupApiUnbound();
  UnloadSetupApi();  // one too many: the count stays at zero
  EXPECT_EQ(SetupApiReferenceCount(), 0);
}

TEST(SetupApiBinding, AFailedLoadLeavesNothingAndTheNextLoadTriesAgain) {
  EXPECT_FALSE(LoadSetupApiFrom("no_such_library.dll"));
  ExpectSetupApiUnbound();
  // A library that loads but lacks the names.
  EXPECT_FALSE(LoadSetupApiFrom(kFullFake));
  ExpectSetupApiUnbound();
  EXPECT_FALSE(IsModuleLoaded(kFullFake));

  EXPECT_TRUE(LoadSetupApi());
  EXPECT_EQ(SetupApiReferenceCount(), 1);
  UnloadSetupApi();
}
