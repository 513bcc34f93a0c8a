#include "station/UnitPlatform.h"

#include <cerrno>
#include <mutex>

namespace kvm::station {

namespace {
// What the system says when a device path has gone.
#ifdef _WIN32
constexpr std::uint32_t DeviceGoneError = 2;  // ERROR_FILE_NOT_FOUND
#else
constexpr std::uint32_t DeviceGoneError = ENODEV;
#endif

// The bindings of a platform (library loading, reference counts) were made
// for one user-interface thread; units bind and unbind from their own.
std::mutex& BindingMutex() {
  static std::mutex mutex;
  return mutex;
}
}  // namespace

using hid::platform::THidInterface;
using hid::platform::TOpenMode;

TUnitPlatform::TUnitPlatform(std::shared_ptr<hid::platform::THidPlatform> inner, std::string devicePath)
    : inner_(std::move(inner)), devicePath_(std::move(devicePath)) {}

void TUnitPlatform::MarkGone() {
  if (!gone_.exchange(true)) notice_.Raise();
}

bool TUnitPlatform::LoadEnumeration() {
  std::lock_guard lock(BindingMutex());
  return inner_->LoadEnumeration();
}

void TUnitPlatform::UnloadEnumeration() {
  std::lock_guard lock(BindingMutex());
  inner_->UnloadEnumeration();
}

bool TUnitPlatform::LoadHidAccess() {
  std::lock_guard lock(BindingMutex());
  return inner_->LoadHidAccess();
}

// HID access is bound for the whole process (one flag on Linux): a unit that
// let it go would cut off the station and every other unit. The station's own
// platform releases it at the end of the run.
void TUnitPlatform::UnloadHidAccess() {}

bool TUnitPlatform::IsHidAccessLoaded() const { return inner_->IsHidAccessLoaded(); }

std::vector<THidInterface> TUnitPlatform::ScanInterfaces() {
  std::vector<THidInterface> found;
  if (gone_) return found;
  for (THidInterface& device : inner_->ScanInterfaces())
    if (device.DevicePath == devicePath_) found.push_back(std::move(device));
  return found;
}

std::unique_ptr<hid::platform::THidHandle> TUnitPlatform::Open(const std::string& devicePath, TOpenMode mode,
                                                               std::uint32_t& error) {
  if (gone_ || devicePath != devicePath_) {
    error = DeviceGoneError;
    return nullptr;
  }
  return inner_->Open(devicePath, mode, error);
}

bool TUnitPlatform::GetCaps(const hid::platform::TPreparsedData& data, hid::THidCaps& caps) {
  return inner_->GetCaps(data, caps);
}

}  // namespace kvm::station
