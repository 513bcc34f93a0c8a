// THidDeviceController: keeps one THidDevice per present HID interface,
// rescans on every device-node notice and hands devices out.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "hid/HidDevice.h"

namespace kvm::hid {

using TNotifyEvent = TEvent<void(THidDeviceController* Sender)>;
using THidEnumerateEvent = TEvent<bool(THidDevice* HidDev, int Idx)>;

class THidDeviceController {
 public:
  // Binds the platform (enumeration first, then HID access) and, when both are
  // bound, queues its own first notice so that the first rescan reports a
  // change. Must be created on the user-interface thread (a Qt thread).
  explicit THidDeviceController(std::shared_ptr<platform::THidPlatform> platform);
  ~THidDeviceController();
  THidDeviceController(const THidDeviceController&) = delete;
  THidDeviceController& operator=(const THidDeviceController&) = delete;

  void DeviceChange();
  int Enumerate();
  bool CheckOutByIndex(THidDevice*& HidDev, int Idx);

  // While loading, assigning OnDeviceChange does not rescan (the window's
  // stored design binds its handlers this way).
  void BeginLoading();
  void EndLoading();

  void SetOnArrival(THidPlugEvent handler);
  void SetOnRemoval(THidPlugEvent handler);
  void SetOnDeviceChange(TNotifyEvent handler);
  void SetOnEnumerate(THidEnumerateEvent handler);
  void SetOnDeviceData(THidDataEvent handler);
  void SetOnDeviceDataError(THidDataErrorEvent handler);
  void SetOnDeviceUnplug(THidPlugEvent handler);
  void SetDevThreadSleepTime(int milliseconds);
  // Devices started after this read their reports in this thread's event
  // loop where their handles allow it, instead of on reader threads: for a
  // thread that serves nothing but its devices.
  void SetReadInEventLoop(bool inEventLoop);
  void SetVersion(const std::string& ignored);

  const THidDataEvent& OnDeviceData() const;
  const THidDataErrorEvent& OnDeviceDataError() const;
  const THidPlugEvent& OnDeviceUnplug() const;
  int DevThreadSleepTime() const;
  std::string Version() const;  // "1.0.32"
  bool IsBound() const;         // both bindings succeeded

  int NumCheckedInDevices() const;
  int NumCheckedOutDevices() const;
  int NumUnpluggedDevices() const;
  const std::vector<THidDevice*>& Devices() const;

  platform::THidPlatform& Platform() const;

 private:
  // The steps of DeviceChange: a device object for every present interface;
  // the listed devices without one unplugged and removed (true if any); the
  // new ones that are listed already dropped; the rest added and announced
  // (true if any); the counts.
  std::vector<THidDevice*> ScanInterfaces();
  bool RemoveVanished(const std::vector<THidDevice*>& present);
  void DropListed(std::vector<THidDevice*>& arrivals);
  bool AddArrivals(const std::vector<THidDevice*>& arrivals);
  void Recount();

  friend class THidDevice;
  struct Impl;
  std::unique_ptr<Impl> d_;
};

}  // namespace kvm::hid
