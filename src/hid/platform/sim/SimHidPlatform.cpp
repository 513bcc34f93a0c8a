#include "hid/platform/sim/SimHidPlatform.h"

#include <cerrno>
#include <cstring>
#include <utility>

#include "hid/platform/ReportDescriptor.h"
#include "hid/platform/sim/SimBus.h"
#include "hid/platform/sim/SimHandle.h"

namespace kvm::hid::platform {

namespace {

bool Permits(TSimAccess access, TOpenMode mode) {
  switch (access) {
    case TSimAccess::ReadWrite: return true;
    case TSimAccess::QueryOnly: return mode == TOpenMode::QueryOnly;
    case TSimAccess::None: return false;
  }
  return false;
}

}  // namespace

TSimHidPlatform::TSimHidPlatform() : bus_(std::make_shared<TSimBus>()) {}

TSimHidPlatform::~TSimHidPlatform() = default;

bool TSimHidPlatform::LoadEnumeration() {
  if (failEnumeration_) return false;
  ++enumerationRefs_;
  return true;
}

void TSimHidPlatform::UnloadEnumeration() {
  if (enumerationRefs_ > 0) --enumerationRefs_;
}

bool TSimHidPlatform::LoadHidAccess() {
  if (failHidAccess_) return false;
  hidAccessLoaded_ = true;
  return true;
}

void TSimHidPlatform::UnloadHidAccess() { hidAccessLoaded_ = false; }

bool TSimHidPlatform::IsHidAccessLoaded() const { return hidAccessLoaded_; }

std::vector<THidInterface> TSimHidPlatform::ScanInterfaces() {
  std::vector<THidInterface> interfaces;
  if (enumerationRefs_ == 0 || !hidAccessLoaded_) return interfaces;
  for (const auto& device : bus_->Present()) interfaces.push_back({device->Id(), device->Path(), device->PortPath()});
  return interfaces;
}

std::unique_ptr<THidHandle> TSimHidPlatform::Open(const std::string& devicePath, TOpenMode mode,
                                                  std::uint32_t& error) {
  std::shared_ptr<TSimDevice> device = bus_->FindPresent(devicePath);
  if (!device) {
    error = ENOENT;
    return nullptr;
  }
  if (!device->Info().HeldBy.empty() && mode != TOpenMode::QueryOnly) {
    error = EBUSY;
    return nullptr;
  }
  if (!Permits(device->Info().Access, mode)) {
    error = EACCES;
    return nullptr;
  }
  return std::make_unique<TSimHandle>(std::move(device), bus_, mode);
}

std::string TSimHidPlatform::InUseText(const std::string& devicePath, std::uint32_t error) {
  const std::shared_ptr<TSimDevice> device = bus_->FindPresent(devicePath);
  if (error != EBUSY || !device || device->Info().HeldBy.empty()) return {};
  return "in use by " + device->Info().HeldBy;
}

bool TSimHidPlatform::GetCaps(const TPreparsedData& data, THidCaps& caps) {
  caps = THidCaps{};
  const auto* descriptor = dynamic_cast<const TDescriptorData*>(&data);
  if (descriptor == nullptr || !descriptor->Valid()) return false;
  caps = descriptor->Caps();
  return true;
}

int TSimHidPlatform::NoticeFd() { return bus_->NoticeFd(); }

int TSimHidPlatform::DrainNotices() { return bus_->DrainNotices(); }

void TSimHidPlatform::SetNoticeWake(std::function<void()> wake) { bus_->SetNoticeWake(std::move(wake)); }

std::string TSimHidPlatform::ErrorText(std::uint32_t error) {
  char buffer[256];
#ifdef _WIN32
  // The simulated devices fail with C runtime (errno) codes there too.
  if (strerror_s(buffer, sizeof buffer, static_cast<int>(error)) != 0) return "error " + std::to_string(error);
  return buffer;
#else
  // The GNU strerror_r, which may return a static text instead of filling the buffer.
  return strerror_r(static_cast<int>(error), buffer, sizeof buffer);
#endif
}

std::uint64_t TSimHidPlatform::Plug(TSimDeviceInfo info, TDeviceResponder responder) {
  return bus_->Plug(std::move(info), std::move(responder));
}

bool TSimHidPlatform::Unplug(std::uint64_t id) { return bus_->Unplug(id); }

bool TSimHidPlatform::InjectInputReport(std::uint64_t id, const std::vector<std::uint8_t>& report) {
  std::shared_ptr<TSimDevice> device = bus_->Find(id);
  return device && device->Enqueue(report, TSimDevice::TClock::now());
}

std::string TSimHidPlatform::PathOf(std::uint64_t id) const {
  std::shared_ptr<TSimDevice> device = bus_->Find(id);
  return device ? device->Path() : std::string();
}

std::size_t TSimHidPlatform::WrittenReports(std::uint64_t id) const {
  std::shared_ptr<TSimDevice> device = bus_->Find(id);
  return device ? device->WrittenReports() : 0;
}

std::size_t TSimHidPlatform::DroppedReports(std::uint64_t id) const {
  std::shared_ptr<TSimDevice> device = bus_->Find(id);
  return device ? device->DroppedReports() : 0;
}

std::size_t TSimHidPlatform::QueuedReports(std::uint64_t id) const {
  std::shared_ptr<TSimDevice> device = bus_->Find(id);
  return device ? device->QueuedReports() : 0;
}

int TSimHidPlatform::OpenHandles(std::uint64_t id) const {
  std::shared_ptr<TSimDevice> device = bus_->Find(id);
  return device ? device->OpenHandles() : 0;
}

int TSimHidPlatform::Openings(std::uint64_t id) const {
  std::shared_ptr<TSimDevice> device = bus_->Find(id);
  return device ? device->Openings() : 0;
}

void TSimHidPlatform::RaiseNotice() { bus_->RaiseNotice(); }

void TSimHidPlatform::SetBindFailure(bool enumeration, bool hidAccess) {
  failEnumeration_ = enumeration;
  failHidAccess_ = hidAccess;
}

}  // namespace kvm::hid::platform
