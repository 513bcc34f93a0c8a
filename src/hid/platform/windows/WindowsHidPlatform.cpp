#include "hid/platform/windows/WindowsHidPlatform.h"

#include "hid/platform/windows/Hid.h"
#include "hid/platform/windows/InterfaceScan.h"
#include "hid/platform/windows/NodeLock.h"
#include "hid/platform/windows/SetupApi.h"
#include "hid/platform/windows/WindowsHidHandle.h"

namespace kvm::hid::platform::windows {

const GUID kPublishedHidGuid = {0x4D1E55B2, 0xF16F, 0x11CF, {0x88, 0xCB, 0x00, 0x11, 0x11, 0x00, 0x00, 0x30}};

namespace {

struct TOpenArguments {
  DWORD Access;
  DWORD Flags;
};

TOpenArguments ArgumentsFor(TOpenMode mode) {
  switch (mode) {
    case TOpenMode::ReadWrite:
      return {GENERIC_READ | GENERIC_WRITE, 0};
    case TOpenMode::QueryOnly:
      return {0, 0};  // no access: identity, capabilities and strings only
    case TOpenMode::Read:
      return {GENERIC_READ, FILE_FLAG_OVERLAPPED};
    case TOpenMode::Write:
      return {GENERIC_WRITE, FILE_FLAG_OVERLAPPED};
  }
  return {0, 0};
}

}  // namespace

TWindowsHidPlatform::TWindowsHidPlatform() : hidGuid_(kPublishedHidGuid) {}

TWindowsHidPlatform::~TWindowsHidPlatform() = default;

bool TWindowsHidPlatform::LoadEnumeration() { return LoadSetupApi(); }

void TWindowsHidPlatform::UnloadEnumeration() { UnloadSetupApi(); }

bool TWindowsHidPlatform::LoadHidAccess() {
  std::lock_guard lock(scanMutex_);
  if (!LoadHid()) return false;
  HidEntryPoints().GetHidGuid(&hidGuid_);
  if (noticeWindow_ == nullptr) {
    noticeWindow_ = std::make_unique<TNoticeWindow>();
    noticeWindow_->SetHandler(noticeHandler_);
  }
  return true;
}

void TWindowsHidPlatform::UnloadHidAccess() {
  std::lock_guard lock(scanMutex_);
  noticeWindow_.reset();
  UnloadHid();
  hidGuid_ = kPublishedHidGuid;
}

bool TWindowsHidPlatform::IsHidAccessLoaded() const { return IsHidLoaded(); }

std::vector<THidInterface> TWindowsHidPlatform::ScanInterfaces() {
  std::vector<THidInterface> list;
  std::lock_guard lock(scanMutex_);
  properties_.clear();
  if (!IsHidLoaded()) return list;
  for (TScannedInterface& found : ScanDeviceInterfaces(hidGuid_)) {
    properties_[found.Interface.DevicePath] = std::move(found.Properties);
    list.push_back(std::move(found.Interface));
  }
  return list;
}

const TWindowsPnPProperties* TWindowsHidPlatform::PnPProperties(const std::string& devicePath) const {
  std::lock_guard lock(scanMutex_);
  const auto at = properties_.find(devicePath);
  return at != properties_.end() ? &at->second : nullptr;
}

std::unique_ptr<THidHandle> TWindowsHidPlatform::Open(const std::string& devicePath, TOpenMode mode,
                                                      std::uint32_t& error) {
  error = 0;
  const TOpenArguments arguments = ArgumentsFor(mode);
  // Every handle that reaches the device holds it: another process's hold
  // means that someone else has connected this programmer.
  std::shared_ptr<void> hold;
  if (mode != TOpenMode::QueryOnly) {
    hold = HoldDevice(devicePath, error);
    if (!hold) return nullptr;
  }
  HANDLE file = CreateFileA(devicePath.c_str(), arguments.Access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, arguments.Flags, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    error = GetLastError();
    return nullptr;
  }
  auto handle = std::make_unique<TWindowsHidHandle>(file, mode);
  handle->KeepHold(std::move(hold));
  return handle;
}

std::string TWindowsHidPlatform::InUseText(const std::string& devicePath, std::uint32_t error) {
  (void)devicePath;
  // Windows does not tell which process holds a file.
  return error == DeviceInUseError ? "in use by another program" : std::string();
}

bool TWindowsHidPlatform::GetCaps(const TPreparsedData& data, THidCaps& caps) {
  caps = THidCaps{};
  const auto* preparsed = dynamic_cast<const TWindowsPreparsedData*>(&data);
  const auto query = HidEntryPoints().GetCaps;
  if (preparsed == nullptr || query == nullptr) return false;
  HIDP_CAPS raw{};
  if (query(preparsed->Get(), &raw) != HIDP_STATUS_SUCCESS) return false;
  caps.Usage = raw.Usage;
  caps.UsagePage = raw.UsagePage;
  caps.InputReportByteLength = raw.InputReportByteLength;
  caps.OutputReportByteLength = raw.OutputReportByteLength;
  caps.FeatureReportByteLength = raw.FeatureReportByteLength;
  caps.NumberLinkCollectionNodes = raw.NumberLinkCollectionNodes;
  return true;
}

int TWindowsHidPlatform::DrainNotices() { return noticeWindow_ != nullptr ? noticeWindow_->Drain() : 0; }

void TWindowsHidPlatform::SetNoticeHandler(TNoticeHandler handler) {
  noticeHandler_ = std::move(handler);
  if (noticeWindow_ != nullptr) noticeWindow_->SetHandler(noticeHandler_);
}

void TWindowsHidPlatform::SetNoticeWake(std::function<void()> wake) {
  if (!wake) {
    SetNoticeHandler({});
    return;
  }
  SetNoticeHandler([wake = std::move(wake)](std::intptr_t) { wake(); });
}

HWND TWindowsHidPlatform::NoticeWindow() const { return noticeWindow_ != nullptr ? noticeWindow_->Handle() : nullptr; }

std::string TWindowsHidPlatform::ErrorText(std::uint32_t error) {
  char* text = nullptr;
  const DWORD length =
      FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                     nullptr, error, 0, reinterpret_cast<LPSTR>(&text), 0, nullptr);
  std::string result;
  if (length != 0 && text != nullptr) result.assign(text, length);
  if (text != nullptr) LocalFree(text);
  while (!result.empty() && (result.back() == '\r' || result.back() == '\n' || result.back() == ' '))
    result.pop_back();
  if (result.empty()) result = "system error " + std::to_string(error);
  return result;
}

}  // namespace kvm::hid::platform::windows
