#include "hid/platform/windows/SetupApi.h"

#include <climits>

#include "hid/platform/windows/EntryPoint.h"
#include "hid/platform/windows/ModuleLoader.h"

namespace kvm::hid::platform::windows {
namespace {

const char* const kNames[kSetupApiSlotCount] = {
    "SetupDiGetClassDevsA",
    "SetupDiEnumDeviceInterfaces",
    "SetupDiGetDeviceInterfaceDetailA",
    "SetupDiDestroyDeviceInfoList",
    "SetupDiGetDeviceRegistryPropertyA",
};

HMODULE module = nullptr;
FARPROC slots[kSetupApiSlotCount] = {};
int referenceCount = 0;
TSetupApiEntryPoints entryPoints;

void TakeEntryPoints() {
  entryPoints.GetClassDevs = EntryPoint<decltype(entryPoints.GetClassDevs)>(slots[0]);
  entryPoints.EnumDeviceInterfaces = EntryPoint<decltype(entryPoints.EnumDeviceInterfaces)>(slots[1]);
  entryPoints.GetDeviceInterfaceDetail = EntryPoint<decltype(entryPoints.GetDeviceInterfaceDetail)>(slots[2]);
  entryPoints.DestroyDeviceInfoList = EntryPoint<decltype(entryPoints.DestroyDeviceInfoList)>(slots[3]);
  entryPoints.GetDeviceRegistryProperty = EntryPoint<decltype(entryPoints.GetDeviceRegistryProperty)>(slots[4]);
}

}  // namespace

bool LoadSetupApi() { return LoadSetupApiFrom("SetupApi.dll"); }

bool LoadSetupApiFrom(const char* moduleName) {
  if (referenceCount == INT_MAX) return false;
  if (++referenceCount > 1) return true;
  if (!LoadModule(module, moduleName)) {
    --referenceCount;
    return false;
  }
  bool ok = true;
  for (std::size_t i = 0; i < kSetupApiSlotCount; ++i) slots[i] = GetModuleSymbolEx(module, kNames[i], ok);
  if (!ok) {
    UnloadSetupApi();
    return false;
  }
  TakeEntryPoints();
  return true;
}

void UnloadSetupApi() {
  if (--referenceCount > 0) return;
  referenceCount = 0;
  UnbindModule(module, slots, kSetupApiSlotCount);
  TakeEntryPoints();
}

bool IsSetupApiLoaded() { return module != nullptr; }
int SetupApiReferenceCount() { return referenceCount; }
const TSetupApiEntryPoints& SetupApiEntryPoints() { return entryPoints; }

}  // namespace kvm::hid::platform::windows
