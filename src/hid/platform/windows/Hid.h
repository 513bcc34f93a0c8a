// Run-time binding of the HID library (HID.dll): 37 names in 42 slots,
// bound all or nothing, released by a single UnloadHid.
#pragma once

#include <windows.h>
// hidsdi.h needs the NTSTATUS and GUID types of windows.h first.
#include <hidsdi.h>

#include <cstddef>

namespace kvm::hid::platform::windows {

inline constexpr std::size_t kHidSlotCount = 42;

// The entry points this layer calls; null while HID.dll is not bound.
struct THidEntryPoints {
  decltype(&::HidD_GetHidGuid) GetHidGuid = nullptr;
  decltype(&::HidD_GetAttributes) GetAttributes = nullptr;
  decltype(&::HidD_GetPreparsedData) GetPreparsedData = nullptr;
  decltype(&::HidD_FreePreparsedData) FreePreparsedData = nullptr;
  decltype(&::HidP_GetCaps) GetCaps = nullptr;
  decltype(&::HidD_GetManufacturerString) GetManufacturerString = nullptr;
  decltype(&::HidD_GetProductString) GetProductString = nullptr;
  decltype(&::HidD_GetSerialNumberString) GetSerialNumberString = nullptr;
  decltype(&::HidD_GetIndexedString) GetIndexedString = nullptr;
  decltype(&::HidD_GetNumInputBuffers) GetNumInputBuffers = nullptr;
  decltype(&::HidD_SetNumInputBuffers) SetNumInputBuffers = nullptr;
};

bool LoadHid();
// LoadHid from another file; lets tests bind a library that lacks a name.
bool LoadHidFrom(const char* moduleName);
void UnloadHid();
bool IsHidLoaded();

const THidEntryPoints& HidEntryPoints();
// The 42 slots and the name each one is bound to, in slot order.
const char* const* HidSlotNames();
const FARPROC* HidSlots();

}  // namespace kvm::hid::platform::windows
