// Run-time binding of SetupApi.dll, reference-counted and all or nothing.
//
// Only the five device-enumeration calls this layer makes are bound; binding
// the hundreds of other SetupAPI names would make the layer depend on them
// without using any.
#pragma once

#include <windows.h>
#include <setupapi.h>

#include <cstddef>

namespace kvm::hid::platform::windows {

inline constexpr std::size_t kSetupApiSlotCount = 5;

// Null while SetupApi.dll is not bound.
struct TSetupApiEntryPoints {
  decltype(&::SetupDiGetClassDevsA) GetClassDevs = nullptr;
  decltype(&::SetupDiEnumDeviceInterfaces) EnumDeviceInterfaces = nullptr;
  decltype(&::SetupDiGetDeviceInterfaceDetailA) GetDeviceInterfaceDetail = nullptr;
  decltype(&::SetupDiDestroyDeviceInfoList) DestroyDeviceInfoList = nullptr;
  decltype(&::SetupDiGetDeviceRegistryPropertyA) GetDeviceRegistryProperty = nullptr;
};

// Each successful load must be matched by one unload; the library stays bound
// until the count is back at zero.
bool LoadSetupApi();
// LoadSetupApi from another file (used only when the count is zero).
bool LoadSetupApiFrom(const char* moduleName);
void UnloadSetupApi();
bool IsSetupApiLoaded();
int SetupApiReferenceCount();

const TSetupApiEntryPoints& SetupApiEntryPoints();

}  // namespace kvm::hid::platform::windows
