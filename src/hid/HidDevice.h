// THidDevice: one HID interface, its handles, cached strings and reader thread.
//
// Public surface used by the rest of the program. The implementation (and the
// private members) belong to the HID layer; see HidDevice.cpp.
#pragma once

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>

#include "hid/HidEvent.h"
#include "hid/HidTypes.h"
#include "hid/platform/HidPlatform.h"

namespace kvm::hid {

class THidDevice;
class THidDeviceController;
class THidDeviceReadThread;
class THidDeviceEventReader;

using THidDataEvent = TEvent<void(THidDevice* HidDev, std::uint8_t ReportID, const std::uint8_t* Data, std::uint16_t Size)>;
using THidDataErrorEvent = TEvent<void(THidDevice* HidDev, std::uint32_t Error)>;
using THidPlugEvent = TEvent<void(THidDevice* HidDev)>;

// Raised only when a device object cannot be created.
class EControllerError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// What the platform's enumeration reported for one interface.
struct THidPnPInfo {
  std::uint64_t DeviceID = 0;
  std::string DevicePath;
};

enum class TFileMode { Read, Write };

class THidDevice {
 public:
  // Opens the interface, reads its attributes, closes it again.
  // Throws EControllerError("device cannot be opened" / "device cannot be identified").
  THidDevice(std::unique_ptr<THidPnPInfo> pnpInfo, THidDeviceController* controller);
  // Also the way a checked-out device is given back to its controller.
  ~THidDevice();
  THidDevice(const THidDevice&) = delete;
  THidDevice& operator=(const THidDevice&) = delete;

  const THidAttributes& Attributes() const;
  const THidPnPInfo& PnPInfo() const;
  THidDeviceController* Controller() const;
  bool IsPluggedIn() const;
  bool IsCheckedOut() const;
  bool IsEnumerated() const;
  bool HasReadWriteAccess() const;
  // Why the device could not be opened for reading and writing (0: it could),
  // and the system's text for that.
  std::uint32_t AccessError() const;
  std::string AccessErrorText() const;
  // "in use by PID N (name)" when another program has connected the device
  // and so holds it; empty otherwise.
  std::string InUseText() const;
  int ThreadSleepTime() const;

  bool CanOpen() const;
  bool OpenFile();
  void CloseFile();
  bool OpenFileEx(TFileMode mode);
  void CloseFileEx(TFileMode mode);

  const platform::TPreparsedData* GetPreparsedData();
  void GetCaps(THidCaps& caps);
  std::u16string GetVendorName();
  std::u16string GetProductName();
  std::u16string GetSerialNumber();

  // One output report, synchronous. On failure LastError() holds the system code.
  bool WriteFile(const void* buffer, std::uint32_t count, std::uint32_t& written);
  std::uint32_t LastError() const;

  void SetOnData(THidDataEvent handler);
  const THidDataEvent& OnData() const;
  THidDataErrorEvent OnDataError;
  THidPlugEvent OnUnplug;

  void SetThreadSleepTime(int milliseconds);
  void StartThread();
  void StopThread();
  bool HasReaderThread() const;

  // Called by the controller when the interface has disappeared.
  void DoUnplug();

 private:
  friend class THidDeviceController;
  friend class THidDeviceReadThread;
  friend class THidDeviceEventReader;
  struct Impl;
  std::unique_ptr<Impl> d_;
};

// UTF-16 device strings to the program's 8-bit (UTF-8) text.
std::string ToText(const std::u16string& text);

}  // namespace kvm::hid
