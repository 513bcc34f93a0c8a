// Listing the present interfaces of a device-interface class with SetupAPI.
#pragma once

#include <windows.h>

#include <vector>

#include "hid/platform/HidPlatform.h"
#include "hid/platform/windows/PnPProperties.h"

namespace kvm::hid::platform::windows {

struct TScannedInterface {
  THidInterface Interface;  // DeviceID is the device instance (DevInst)
  TWindowsPnPProperties Properties;
};

// The present interfaces of `interfaceClass` in SetupAPI's order; empty when
// SetupAPI is not bound or the set cannot be had. An interface whose detail
// cannot be read is left out and the scan goes on with the next index.
std::vector<TScannedInterface> ScanDeviceInterfaces(const GUID& interfaceClass);

}  // namespace kvm::hid::platform::windows
