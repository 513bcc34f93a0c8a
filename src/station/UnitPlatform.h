// One unit's view of the HID platform: its own programmer and nothing else.
//
// Each unit's session runs the window's connection logic (countdown, rebuild,
// connection, "Connection is changed !") over this view, so the arrival or
// removal of another unit's programmer never reaches it. The station, which
// alone watches the machine's device notices, tells the view when its device
// has gone; the view then raises its own notice and lists nothing from then on.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <string>

#include "hid/platform/HidPlatform.h"
#include "hid/platform/NoticeWake.h"

namespace kvm::station {

class TUnitPlatform final : public hid::platform::THidPlatform {
 public:
  // `inner` does the real work; it may be shared with other units when it is
  // safe to use from several threads, else it is this unit's own.
  TUnitPlatform(std::shared_ptr<hid::platform::THidPlatform> inner, std::string devicePath);

  // Any thread: the device left. Scans find nothing and openings fail from now on.
  void MarkGone();

  bool LoadEnumeration() override;
  void UnloadEnumeration() override;
  bool LoadHidAccess() override;
  void UnloadHidAccess() override;
  bool IsHidAccessLoaded() const override;
  std::vector<hid::platform::THidInterface> ScanInterfaces() override;
  std::unique_ptr<hid::platform::THidHandle> Open(const std::string& devicePath, hid::platform::TOpenMode mode,
                                                  std::uint32_t& error) override;
  bool GetCaps(const hid::platform::TPreparsedData& data, hid::THidCaps& caps) override;
  int NoticeFd() override { return notice_.Fd(); }
  int DrainNotices() override { return notice_.Drain(); }
  void SetNoticeWake(std::function<void()> wake) override { notice_.SetWake(std::move(wake)); }
  std::string InUseText(const std::string& devicePath, std::uint32_t error) override {
    return inner_->InUseText(devicePath, error);
  }
  std::string ErrorText(std::uint32_t error) override { return inner_->ErrorText(error); }

 private:
  const std::shared_ptr<hid::platform::THidPlatform> inner_;
  const std::string devicePath_;
  std::atomic<bool> gone_{false};
  hid::platform::TNoticeWake notice_;
};

}  // namespace kvm::station
