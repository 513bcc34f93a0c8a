#include "hid/platform/sim/SimHandle.h"

#include <cerrno>
#include <chrono>
#include <thread>
#include <utility>

#include "hid/platform/ReportDescriptor.h"

namespace kvm::hid::platform {

namespace {
// hidraw refuses larger writes (HID_MAX_BUFFER_SIZE).
constexpr std::size_t MaxWriteLength = 4096;
}  // namespace

TSimHandle::TSimHandle(std::shared_ptr<TSimDevice> device, std::weak_ptr<TSimBus> bus, TOpenMode mode)
    : device_(std::move(device)), bus_(std::move(bus)), mode_(mode) {
  device_->HandleOpened();
}

TSimHandle::~TSimHandle() { device_->HandleClosed(); }

bool TSimHandle::GetAttributes(THidAttributes& attributes) {
  if (!device_->IsPluggedIn() || !device_->Info().AttributesReadable) return false;
  attributes = device_->Info().Attributes;
  return true;
}

std::unique_ptr<TPreparsedData> TSimHandle::GetPreparsedData() {
  if (!device_->IsPluggedIn()) return nullptr;
  return std::make_unique<TDescriptorData>(device_->Info().ReportDescriptor);
}

bool TSimHandle::ReadString(const std::optional<std::u16string>& source, std::u16string& text) const {
  if (!device_->IsPluggedIn() || !source) return false;
  text = *source;
  return true;
}

bool TSimHandle::GetManufacturerString(std::u16string& text) { return ReadString(device_->Info().Manufacturer, text); }
bool TSimHandle::GetProductString(std::u16string& text) { return ReadString(device_->Info().Product, text); }
bool TSimHandle::GetSerialNumberString(std::u16string& text) { return ReadString(device_->Info().SerialNumber, text); }

bool TSimHandle::GetNumInputBuffers(std::uint32_t& count) {
  if (!device_->IsPluggedIn()) return false;
  count = numInputBuffers_;
  return true;
}

bool TSimHandle::SetNumInputBuffers(std::uint32_t count) {
  // The range the Windows HID class driver accepts.
  if (!device_->IsPluggedIn() || count < 2 || count > 512) return false;
  numInputBuffers_ = count;
  return true;
}

bool TSimHandle::Write(const std::uint8_t* buffer, std::size_t count, std::size_t& written, std::uint32_t& error) {
  written = 0;
  if (!CanWrite()) {
    error = EBADF;
    return false;
  }
  if (!device_->IsPluggedIn()) {
    error = ENODEV;
    return false;
  }
  if (count == 0 || count > MaxWriteLength) {
    error = EINVAL;
    return false;
  }
  TDeviceResponse response;
  if (device_->Responder()) response = device_->Responder()(buffer, count);
  // The modelled transfer time of the report, asked for by the device model.
  if (response.WriteDelayMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(response.WriteDelayMs));
  if (response.WriteError != 0) {
    error = response.WriteError;
    return false;
  }
  written = count;
  device_->CountWrite();
  if (response.Unplug) {
    if (auto bus = bus_.lock())
      bus->Unplug(device_->Id());
    else
      device_->Unplug();
    return true;
  }
  device_->EnqueueReplies(response.Replies);
  return true;
}

TReadStatus TSimHandle::Read(std::uint8_t* buffer, std::size_t capacity, std::size_t& got, int timeoutMs,
                             std::uint32_t& error) {
  got = 0;
  if (!CanRead()) {
    error = EBADF;
    return TReadStatus::Error;
  }
  const TReadStatus status = device_->Read(buffer, capacity, got, timeoutMs, cancelled_);
  if (status == TReadStatus::Gone) error = ENODEV;
  return status;
}

void TSimHandle::Cancel() {
  {
    std::lock_guard lock(device_->Mutex());
    cancelled_ = true;
  }
  device_->WakeReaders();
}

}  // namespace kvm::hid::platform
