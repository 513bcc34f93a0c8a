#include "hid/platform/windows/PnPProperties.h"

#include <cstring>
#include <memory>

#include "hid/platform/windows/SetupApi.h"

namespace kvm::hid::platform::windows {

std::string TextFromPropertyBuffer(const char* buffer, std::size_t size) {
  const void* zero = std::memchr(buffer, 0, size);
  return std::string(buffer, zero != nullptr ? static_cast<const char*>(zero) - buffer : size);
}

std::vector<std::string> ListFromPropertyBuffer(const char* buffer, std::size_t size) {
  std::vector<std::string> list;
  std::size_t at = 0;
  while (at < size && buffer[at] != 0) {
    std::string item = TextFromPropertyBuffer(buffer + at, size - at);
    at += item.size() + 1;
    list.push_back(std::move(item));
  }
  return list;
}

namespace {

// The property call's result is not examined: a missing property leaves the
// buffer as it was prepared (empty text, empty list, 0).
void Query(HDEVINFO set, SP_DEVINFO_DATA& device, DWORD property, void* buffer, DWORD size) {
  SetupApiEntryPoints().GetDeviceRegistryProperty(set, &device, property, nullptr, static_cast<BYTE*>(buffer), size,
                                                  nullptr);
}

std::string Text(HDEVINFO set, SP_DEVINFO_DATA& device, DWORD property) {
  char buffer[kTextPropertyBytes];
  buffer[0] = 0;
  Query(set, device, property, buffer, sizeof buffer);
  return TextFromPropertyBuffer(buffer, sizeof buffer);
}

std::vector<std::string> List(HDEVINFO set, SP_DEVINFO_DATA& device, DWORD property) {
  auto buffer = std::make_unique<char[]>(kListPropertyBytes);
  buffer[0] = 0;
  Query(set, device, property, buffer.get(), kListPropertyBytes);
  return ListFromPropertyBuffer(buffer.get(), kListPropertyBytes);
}

std::uint32_t Number(HDEVINFO set, SP_DEVINFO_DATA& device, DWORD property) {
  DWORD value = 0;
  Query(set, device, property, &value, sizeof value);
  return value;
}

}  // namespace

TWindowsPnPProperties ReadPnPProperties(HDEVINFO set, SP_DEVINFO_DATA& device) {
  TWindowsPnPProperties p;
  if (SetupApiEntryPoints().GetDeviceRegistryProperty == nullptr) return p;
  p.DeviceDesc = Text(set, device, SPDRP_DEVICEDESC);
  p.Service = Text(set, device, SPDRP_SERVICE);
  p.Class = Text(set, device, SPDRP_CLASS);
  p.ClassGUID = Text(set, device, SPDRP_CLASSGUID);
  p.Driver = Text(set, device, SPDRP_DRIVER);
  p.Mfg = Text(set, device, SPDRP_MFG);
  p.FriendlyName = Text(set, device, SPDRP_FRIENDLYNAME);
  p.LocationInformation = Text(set, device, SPDRP_LOCATION_INFORMATION);
  p.PhysicalDeviceObjectName = Text(set, device, SPDRP_PHYSICAL_DEVICE_OBJECT_NAME);
  p.EnumeratorName = Text(set, device, SPDRP_ENUMERATOR_NAME);
  p.SecuritySDS = Text(set, device, SPDRP_SECURITY_SDS);
  p.HardwareID = List(set, device, SPDRP_HARDWAREID);
  p.CompatibleIDs = List(set, device, SPDRP_COMPATIBLEIDS);
  p.UpperFilters = List(set, device, SPDRP_UPPERFILTERS);
  p.LowerFilters = List(set, device, SPDRP_LOWERFILTERS);
  p.ConfigFlags = Number(set, device, SPDRP_CONFIGFLAGS);
  p.Capabilities = Number(set, device, SPDRP_CAPABILITIES);
  p.UINumber = Number(set, device, SPDRP_UI_NUMBER);
  p.LegacyBusType = Number(set, device, SPDRP_LEGACYBUSTYPE);
  p.BusNumber = Number(set, device, SPDRP_BUSNUMBER);
  p.DevType = Number(set, device, SPDRP_DEVTYPE);
  p.Exclusive = Number(set, device, SPDRP_EXCLUSIVE);
  return p;
}

}  // namespace kvm::hid::platform::windows
