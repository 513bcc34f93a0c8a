#include "hid/platform/windows/Hid.h"

#include "hid/platform/windows/EntryPoint.h"
#include "hid/platform/windows/ModuleLoader.h"

namespace kvm::hid::platform::windows {
namespace {

// The five usage-list calls are bound twice: their button forms in hidpi.h
// are the same entry points under a second slot.
const char* const kNames[kHidSlotCount] = {
    "HidD_Hello",
    "HidD_GetHidGuid",
    "HidD_GetPreparsedData",
    "HidD_FreePreparsedData",
    "HidD_GetConfiguration",
    "HidD_SetConfiguration",
    "HidD_FlushQueue",
    "HidD_GetFeature",
    "HidD_SetFeature",
    "HidD_GetNumInputBuffers",
    "HidD_SetNumInputBuffers",
    "HidD_GetAttributes",
    "HidD_GetManufacturerString",
    "HidD_GetProductString",
    "HidD_GetSerialNumberString",
    "HidD_GetPhysicalDescriptor",
    "HidD_GetIndexedString",
    "HidP_GetCaps",
    "HidP_GetLinkCollectionNodes",
    "HidP_GetSpecificButtonCaps",
    "HidP_GetSpecificValueCaps",
    "HidP_GetData",
    "HidP_SetData",
    "HidP_MaxDataListLength",
    "HidP_GetUsages",
    "HidP_GetUsages",
    "HidP_GetUsagesEx",
    "HidP_GetUsagesEx",
    "HidP_SetUsages",
    "HidP_SetUsages",
    "HidP_UnsetUsages",
    "HidP_UnsetUsages",
    "HidP_MaxUsageListLength",
    "HidP_MaxUsageListLength",
    "HidP_GetUsageValue",
    "HidP_GetScaledUsageValue",
    "HidP_GetUsageValueArray",
    "HidP_SetUsageValue",
    "HidP_SetScaledUsageValue",
    "HidP_SetUsageValueArray",
    "HidP_UsageListDifference",
    "HidP_TranslateUsagesToI8042ScanCodes",
};

enum Slot : std::size_t {
  kGetHidGuid = 1,
  kGetPreparsedData = 2,
  kFreePreparsedData = 3,
  kGetNumInputBuffers = 9,
  kSetNumInputBuffers = 10,
  kGetAttributes = 11,
  kGetManufacturerString = 12,
  kGetProductString = 13,
  kGetSerialNumberString = 14,
  kGetIndexedString = 16,
  kGetCaps = 17,
};

HMODULE module = nullptr;
FARPROC slots[kHidSlotCount] = {};
THidEntryPoints entryPoints;

template <typename Function>
void Take(Function& target, Slot slot) {
  target = EntryPoint<Function>(slots[slot]);
}

void TakeEntryPoints() {
  Take(entryPoints.GetHidGuid, kGetHidGuid);
  Take(entryPoints.GetAttributes, kGetAttributes);
  Take(entryPoints.GetPreparsedData, kGetPreparsedData);
  Take(entryPoints.FreePreparsedData, kFreePreparsedData);
  Take(entryPoints.GetCaps, kGetCaps);
  Take(entryPoints.GetManufacturerString, kGetManufacturerString);
  Take(entryPoints.GetProductString, kGetProductString);
  Take(entryPoints.GetSerialNumberString, kGetSerialNumberString);
  Take(entryPoints.GetIndexedString, kGetIndexedString);
  Take(entryPoints.GetNumInputBuffers, kGetNumInputBuffers);
  Take(entryPoints.SetNumInputBuffers, kSetNumInputBuffers);
}

}  // namespace

bool LoadHid() { return LoadHidFrom("HID.dll"); }

bool LoadHidFrom(const char* moduleName) {
  const bool ok = BindModule(module, moduleName, kNames, slots, kHidSlotCount);
  TakeEntryPoints();
  return ok;
}

void UnloadHid() {
  UnbindModule(module, slots, kHidSlotCount);
  TakeEntryPoints();
}

bool IsHidLoaded() { return module != nullptr; }

const THidEntryPoints& HidEntryPoints() { return entryPoints; }
const char* const* HidSlotNames() { return kNames; }
const FARPROC* HidSlots() { return slots; }

}  // namespace kvm::hid::platform::windows
