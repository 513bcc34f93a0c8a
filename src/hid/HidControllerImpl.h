// Private state of THidDeviceController; devices given back by their users
// update the list and the counters directly.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "hid/HidControllerClass.h"
#include "hid/NoticeWatch.h"

namespace kvm::hid {

struct THidDeviceController::Impl {
  std::shared_ptr<platform::THidPlatform> Platform;
  bool EnumerationLoaded = false;

  THidPlugEvent OnArrival;
  TNotifyEvent OnDeviceChange;
  THidEnumerateEvent OnEnumerate;
  THidDataEvent OnDeviceData;
  THidDataErrorEvent OnDeviceDataError;
  THidPlugEvent OnDeviceUnplug;
  THidPlugEvent OnRemoval;
  int DevThreadSleepTime = 100;
  bool ReadInEventLoop = false;

  std::vector<THidDevice*> Devices;
  int NumCheckedInDevices = 0;
  int NumCheckedOutDevices = 0;
  int NumUnpluggedDevices = 0;

  bool InDeviceChange = false;
  int LastChangeParam = 0;
  bool Loading = false;

  // Receives the notices on the user-interface thread; exists only while
  // HID access is bound.
  std::unique_ptr<TNoticeWatch> Notices;

  int IndexOf(const THidDevice* device) const;
};

}  // namespace kvm::hid
