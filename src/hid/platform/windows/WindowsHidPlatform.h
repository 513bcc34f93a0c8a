// The HID platform over the Windows HID library and SetupAPI, both bound at
// run time. Bindings are process-wide, as the libraries are; this object only
// wraps them.
#pragma once

#include <windows.h>

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "hid/platform/HidPlatform.h"
#include "hid/platform/windows/NoticeWindow.h"
#include "hid/platform/windows/PnPProperties.h"

namespace kvm::hid::platform::windows {

// {4D1E55B2-F16F-11CF-88CB-001111000030}, the HID class as Windows publishes it.
extern const GUID kPublishedHidGuid;

class TWindowsHidPlatform final : public THidPlatform, public TWindowsNoticeSource {
 public:
  TWindowsHidPlatform();
  ~TWindowsHidPlatform() override;

  bool LoadEnumeration() override;
  void UnloadEnumeration() override;
  // Also creates the notice window on the calling thread, so call it on the
  // user-interface thread, and unbind on the same thread.
  bool LoadHidAccess() override;
  void UnloadHidAccess() override;
  bool IsHidAccessLoaded() const override;

  // Any thread: the station's units share one platform.
  std::vector<THidInterface> ScanInterfaces() override;
  std::unique_ptr<THidHandle> Open(const std::string& devicePath, TOpenMode mode, std::uint32_t& error) override;
  bool GetCaps(const TPreparsedData& data, THidCaps& caps) override;

  // Windows has no descriptor to poll: see TWindowsNoticeSource.
  int NoticeFd() override { return -1; }
  int DrainNotices() override;
  // Every notice of the hidden window calls `wake` on its thread.
  void SetNoticeWake(std::function<void()> wake) override;
  std::string InUseText(const std::string& devicePath, std::uint32_t error) override;
  std::string ErrorText(std::uint32_t error) override;

  void SetNoticeHandler(TNoticeHandler handler) override;
  HWND NoticeWindow() const override;

  // The HID interface class; the published GUID while HID is not bound.
  const GUID& HidGuid() const { return hidGuid_; }
  // Registry properties of an interface found by the last scan; null if none.
  // Valid until the next scan.
  const TWindowsPnPProperties* PnPProperties(const std::string& devicePath) const;

 private:
  GUID hidGuid_;
  std::unique_ptr<TNoticeWindow> noticeWindow_;
  TNoticeHandler noticeHandler_;
  // Scans, and the binding's interface class, from several threads.
  mutable std::mutex scanMutex_;
  std::map<std::string, TWindowsPnPProperties> properties_;
};

}  // namespace kvm::hid::platform::windows
