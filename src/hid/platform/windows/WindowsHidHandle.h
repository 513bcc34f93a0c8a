// An open HID interface: the general handle's queries and synchronous writes,
// and the reader's overlapped reads.
#pragma once

#include <windows.h>
#include <hidsdi.h>

#include <memory>

#include "hid/platform/HidPlatform.h"
#include "hid/platform/windows/OverlappedRead.h"

namespace kvm::hid::platform::windows {

// Preparsed data from the HID library. Holds its own reference on the library
// that made it, so releasing it stays safe after the binding is gone.
class TWindowsPreparsedData final : public TPreparsedData {
 public:
  explicit TWindowsPreparsedData(PHIDP_PREPARSED_DATA data);
  ~TWindowsPreparsedData() override;
  PHIDP_PREPARSED_DATA Get() const { return data_; }

 private:
  PHIDP_PREPARSED_DATA data_;
  decltype(&::HidD_FreePreparsedData) free_;
  HMODULE library_ = nullptr;
};

class TWindowsHidHandle final : public THidHandle {
 public:
  TWindowsHidHandle(HANDLE file, TOpenMode mode);
  ~TWindowsHidHandle() override;
  TWindowsHidHandle(const TWindowsHidHandle&) = delete;
  TWindowsHidHandle& operator=(const TWindowsHidHandle&) = delete;

  bool GetAttributes(THidAttributes& attributes) override;
  std::unique_ptr<TPreparsedData> GetPreparsedData() override;
  bool GetManufacturerString(std::u16string& text) override;
  bool GetProductString(std::u16string& text) override;
  bool GetSerialNumberString(std::u16string& text) override;
  bool GetNumInputBuffers(std::uint32_t& count) override;
  bool SetNumInputBuffers(std::uint32_t count) override;
  bool Write(const std::uint8_t* buffer, std::size_t count, std::size_t& written, std::uint32_t& error) override;
  TReadStatus Read(std::uint8_t* buffer, std::size_t capacity, std::size_t& got, int timeoutMs,
                   std::uint32_t& error) override;
  void Cancel() override;

  TOpenMode Mode() const { return mode_; }
  HANDLE File() const { return file_; }
  bool HasPendingRead() const;
  // The process's hold on the device, kept as long as this handle is open.
  void KeepHold(std::shared_ptr<void> hold) { hold_ = std::move(hold); }

 private:
  using TStringQuery = decltype(&::HidD_GetProductString);
  bool QueryString(TStringQuery query, std::u16string& text);

  HANDLE file_;
  TOpenMode mode_;
  std::unique_ptr<TOverlappedRead> reader_;  // only on the reader's handle
  std::shared_ptr<void> hold_;
};

}  // namespace kvm::hid::platform::windows
