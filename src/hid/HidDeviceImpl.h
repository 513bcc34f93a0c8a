// Private state of THidDevice, shared by the device, its reader thread and
// the controller (which moves devices between its list and their users).
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "hid/HidDevice.h"
#include "hid/HidDeviceReader.h"

namespace kvm::hid {

struct THidDevice::Impl {
  std::shared_ptr<platform::THidPlatform> Platform;
  THidDeviceController* Controller = nullptr;

  // Read by the reader thread when it starts a read, written on the
  // user-interface thread.
  std::atomic<bool> IsPluggedIn{true};
  std::atomic<bool> IsCheckedOut{false};
  std::atomic<bool> IsEnumerated{false};
  std::atomic<int> ThreadSleepTime{100};

  std::unique_ptr<THidPnPInfo> PnPInfo;
  THidAttributes Attributes;

  std::unique_ptr<platform::THidHandle> FileHandle;
  std::unique_ptr<platform::THidHandle> WriteHandle;
  // The reader holds its own reference while it reads, so closing on the
  // user-interface thread cancels the read and the last holder frees it.
  std::mutex ReadHandleLock;
  std::shared_ptr<platform::THidHandle> ReadHandle;
  std::uint32_t ReadOpenError = 0;

  std::uint32_t NumInputBuffers = 0;
  std::uint32_t NumOverlappedBuffers = 0;
  bool HasReadWriteAccess = false;
  std::uint32_t AccessError = 0;  // why the last read-write open was refused
  std::uint32_t LastError = 0;

  std::u16string VendorName;
  std::u16string ProductName;
  std::u16string SerialNumber;
  std::unique_ptr<platform::TPreparsedData> PreparsedData;

  THidDataEvent OnData;
  std::unique_ptr<THidDeviceReader> DataThread;

  bool CanOpen() const { return IsPluggedIn && (IsCheckedOut || IsEnumerated); }

  // The general handle: read/write first, query-only second.
  std::unique_ptr<platform::THidHandle> OpenGeneral(std::uint32_t& error);

  // For the reader: the read handle if a read may start now, else null and
  // `error` set to why not.
  std::shared_ptr<platform::THidHandle> AcquireReadHandle(std::uint32_t& error);
};

}  // namespace kvm::hid
