// The one seam between the HID layer and the operating system.
//
// Everything the device objects and the controller need from the platform goes
// through these two interfaces: list the present HID interfaces, open one, ask
// it for its identity, capabilities and strings, write an output report, read
// an input report with a time-out, and learn that the set of device nodes
// changed. Plain C++: no Qt, no platform headers. Each back end lives in a
// folder beside this header: linux/, windows/ and the simulated bus in sim/;
// the recording and the replay of sessions (../record) wrap or stand in for
// them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "hid/HidTypes.h"

namespace kvm::hid::platform {

// One present HID interface. `DeviceID` stays the same for a present device
// across scans and differs between devices; `DevicePath` is what Open takes.
// `PortPath` names where the device is plugged in: the USB port chain of its
// USB parent ("1-2.3"), or the node's own name where there is none.
struct THidInterface {
  std::uint64_t DeviceID = 0;
  std::string DevicePath;
  std::string PortPath;
};

enum class TOpenMode {
  ReadWrite,  // general handle with read and write access
  QueryOnly,  // general handle for identity, capabilities and strings only
  Read,       // the reader's handle
  Write,      // write-only handle (never used for I/O by this system)
};

// What the platform parsed out of a device's report descriptor; opaque above
// the seam, handed back to GetCaps. Owned by the device object that asked.
class TPreparsedData {
 public:
  virtual ~TPreparsedData() = default;
};

enum class TReadStatus {
  Data,      // one input report was read; `got` bytes
  Timeout,   // nothing arrived within the time-out
  Gone,      // the device went away (hang-up, ENODEV, handle closed)
  Error,     // the read failed; `error` holds the system code
};

// An open handle on one interface. Every method may be called from the
// user-interface thread; Read and Cancel also from a reader thread while the
// user-interface thread uses the same handle. Cancel (any thread) makes a
// Read in progress, and every later one, return Gone at once.
class THidHandle {
 public:
  virtual ~THidHandle() = default;
  virtual bool GetAttributes(THidAttributes& attributes) = 0;
  virtual std::unique_ptr<TPreparsedData> GetPreparsedData() = 0;  // null if unavailable
  virtual bool GetManufacturerString(std::u16string& text) = 0;
  virtual bool GetProductString(std::u16string& text) = 0;
  virtual bool GetSerialNumberString(std::u16string& text) = 0;
  // Input-buffer count of the handle; Set with 0 is never called.
  virtual bool GetNumInputBuffers(std::uint32_t& count) = 0;
  virtual bool SetNumInputBuffers(std::uint32_t count) = 0;
  // One output report, buffer[0] is the report ID. Blocks until done.
  virtual bool Write(const std::uint8_t* buffer, std::size_t count, std::size_t& written, std::uint32_t& error) = 0;
  // One input report (report ID first) into buffer, waiting at most timeoutMs.
  virtual TReadStatus Read(std::uint8_t* buffer, std::size_t capacity, std::size_t& got, int timeoutMs,
                           std::uint32_t& error) = 0;
  virtual void Cancel() = 0;
  // A descriptor that polls readable while a report may be waiting (it stays
  // readable until the reports are read), for a reader that waits in an event
  // loop and reads with a zero time-out; -1 where there is none. Valid as
  // long as the handle lives.
  virtual int ReadyFd() { return -1; }
};

class THidPlatform {
 public:
  virtual ~THidPlatform() = default;

  // Binding of the platform's device-enumeration and HID access, all or
  // nothing. Enumeration is reference-counted like LoadSetupApi/UnloadSetupApi;
  // HID access is bound once and released by one unbind.
  virtual bool LoadEnumeration() = 0;
  virtual void UnloadEnumeration() = 0;
  virtual bool LoadHidAccess() = 0;
  virtual void UnloadHidAccess() = 0;
  virtual bool IsHidAccessLoaded() const = 0;

  // The present interfaces, in the platform's order. Empty when not bound.
  virtual std::vector<THidInterface> ScanInterfaces() = 0;

  // Opens an interface; null and `error` set when refused.
  virtual std::unique_ptr<THidHandle> Open(const std::string& devicePath, TOpenMode mode, std::uint32_t& error) = 0;
  virtual bool GetCaps(const TPreparsedData& data, THidCaps& caps) = 0;

  // Device-node change notices. NoticeFd is a descriptor that becomes
  // readable when the set of device nodes may have changed (-1 when there is
  // none); DrainNotices consumes everything pending and returns how many
  // notices it found.
  virtual int NoticeFd() = 0;
  virtual int DrainNotices() = 0;
  // Where there is no descriptor to watch (NoticeFd -1, as on Windows), the
  // platform calls `wake` instead, from any thread, whenever notices are
  // pending; the caller then drains them on its own thread. An empty function
  // stops the calls, and no call is under way once this returns.
  virtual void SetNoticeWake(std::function<void()> wake) { (void)wake; }

  // Empty unless `error`, from Open, says that another program holds the
  // device (it has connected it); then "in use by PID N (name)" where the
  // system tells who, else "in use by another program".
  virtual std::string InUseText(const std::string& devicePath, std::uint32_t error) {
    (void)devicePath;
    (void)error;
    return {};
  }

  // The system's text for an error code (strerror on POSIX).
  virtual std::string ErrorText(std::uint32_t error) = 0;
};

}  // namespace kvm::hid::platform
