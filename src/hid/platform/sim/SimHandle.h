// An open handle on a simulated interface, behaving like a hidraw file.
#pragma once

#include <cstdint>
#include <memory>

#include "hid/platform/HidPlatform.h"
#include "hid/platform/sim/SimBus.h"
#include "hid/platform/sim/SimDevice.h"

namespace kvm::hid::platform {

class TSimHandle final : public THidHandle {
 public:
  TSimHandle(std::shared_ptr<TSimDevice> device, std::weak_ptr<TSimBus> bus, TOpenMode mode);
  ~TSimHandle() override;

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
  int ReadyFd() override { return CanRead() ? device_->ReadyFd() : -1; }

 private:
  bool CanWrite() const { return mode_ == TOpenMode::ReadWrite || mode_ == TOpenMode::Write; }
  bool CanRead() const { return mode_ == TOpenMode::ReadWrite || mode_ == TOpenMode::Read; }
  bool ReadString(const std::optional<std::u16string>& source, std::u16string& text) const;

  const std::shared_ptr<TSimDevice> device_;
  const std::weak_ptr<TSimBus> bus_;
  const TOpenMode mode_;
  bool cancelled_ = false;  // guarded by the device's mutex
  std::uint32_t numInputBuffers_ = 64;
};

}  // namespace kvm::hid::platform
