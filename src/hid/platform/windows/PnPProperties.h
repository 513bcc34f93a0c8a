// The registry properties that device enumeration reports for one interface.
#pragma once

#include <windows.h>
#include <setupapi.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace kvm::hid::platform::windows {

struct TWindowsPnPProperties {
  std::string DeviceDesc, Service, Class, ClassGUID, Driver, Mfg, FriendlyName, LocationInformation,
      PhysicalDeviceObjectName, EnumeratorName, SecuritySDS;
  std::vector<std::string> HardwareID, CompatibleIDs, UpperFilters, LowerFilters;
  std::uint32_t ConfigFlags = 0, Capabilities = 0, UINumber = 0, LegacyBusType = 0, BusNumber = 0, DevType = 0,
                Exclusive = 0;
};

inline constexpr std::size_t kTextPropertyBytes = 1024;
inline constexpr std::size_t kListPropertyBytes = 16384;

// The bytes up to the first zero, never past the buffer's end.
std::string TextFromPropertyBuffer(const char* buffer, std::size_t size);
// The zero-terminated strings up to the first empty one, never past the end;
// a last string cut off by the end of the buffer is kept as far as it goes.
std::vector<std::string> ListFromPropertyBuffer(const char* buffer, std::size_t size);

// Reads every property; a missing one reads as empty text, empty list or 0.
// SetupApi must be bound.
TWindowsPnPProperties ReadPnPProperties(HDEVINFO set, SP_DEVINFO_DATA& device);

}  // namespace kvm::hid::platform::windows
