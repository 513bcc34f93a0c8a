#include "hid/platform/windows/InterfaceScan.h"

#include <cstddef>
#include <cstdint>
#include <vector>

#include "hid/platform/windows/SetupApi.h"

namespace kvm::hid::platform::windows {
namespace {

// The detail record is a DWORD cbSize followed by the path. cbSize must be
// the record's size as this build lays it out: 5 for 32-bit code (packed) and
// 8 for 64-bit code; SetupAPI refuses any other value.
constexpr DWORD kDetailRecordSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);

bool ReadDetail(const TSetupApiEntryPoints& api, HDEVINFO set, SP_DEVICE_INTERFACE_DATA& interfaceData,
                TScannedInterface& found) {
  SP_DEVINFO_DATA device{};
  device.cbSize = sizeof device;
  DWORD needed = 0;
  api.GetDeviceInterfaceDetail(set, &interfaceData, nullptr, 0, &needed, &device);
  if (needed == 0 || GetLastError() != ERROR_INSUFFICIENT_BUFFER || needed < kDetailRecordSize) return false;

  // 8-byte units keep the record aligned for its cbSize.
  std::vector<std::uint64_t> block((needed + sizeof(std::uint64_t) - 1) / sizeof(std::uint64_t), 0);
  auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(block.data());
  detail->cbSize = kDetailRecordSize;
  if (!api.GetDeviceInterfaceDetail(set, &interfaceData, detail, needed, &needed, &device)) return false;

  const std::size_t pathRoom = needed - offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath);
  const char* path = detail->DevicePath;
  std::size_t length = 0;
  while (length < pathRoom && path[length] != 0) ++length;
  found.Interface.DevicePath.assign(path, length);
  found.Interface.DeviceID = device.DevInst;
  found.Properties = ReadPnPProperties(set, device);
  // Where it is plugged in, as Device Manager shows it; the path where the
  // system says nothing.
  found.Interface.PortPath = found.Properties.LocationInformation.empty() ? found.Interface.DevicePath
                                                                           : found.Properties.LocationInformation;
  return true;
}

}  // namespace

std::vector<TScannedInterface> ScanDeviceInterfaces(const GUID& interfaceClass) {
  std::vector<TScannedInterface> list;
  const TSetupApiEntryPoints& api = SetupApiEntryPoints();
  if (api.GetClassDevs == nullptr) return list;
  HDEVINFO set = api.GetClassDevs(&interfaceClass, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
  if (set == INVALID_HANDLE_VALUE) return list;
  for (DWORD index = 0;; ++index) {
    SP_DEVICE_INTERFACE_DATA interfaceData{};
    interfaceData.cbSize = sizeof interfaceData;
    if (!api.EnumDeviceInterfaces(set, nullptr, &interfaceClass, index, &interfaceData)) break;
    TScannedInterface found;
    if (ReadDetail(api, set, interfaceData, found)) list.push_back(std::move(found));
  }
  api.DestroyDeviceInfoList(set);
  return list;
}

}  // namespace kvm::hid::platform::windows
