// TReplayHidPlatform: the devices of a recording, presented like simulated
// ones. Each is plugged in from the start (path "replay://<n>") and answers
// as TReplayDevice says; a device that went away in the recording goes away
// at the same point of the replay, with a device-node notice.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "hid/platform/HidPlatform.h"
#include "hid/record/Recording.h"
#include "hid/record/ReplayDevice.h"

namespace kvm::hid::record {

class TReplayHidPlatform final : public platform::THidPlatform {
 public:
  // fast: every reply as soon as its write is made, instead of with the
  // recorded spacing.
  TReplayHidPlatform(TRecording recording, bool fast);
  ~TReplayHidPlatform() override;

  bool LoadEnumeration() override { return true; }
  void UnloadEnumeration() override {}
  bool LoadHidAccess() override { return true; }
  void UnloadHidAccess() override {}
  bool IsHidAccessLoaded() const override { return true; }
  std::vector<platform::THidInterface> ScanInterfaces() override;
  std::unique_ptr<platform::THidHandle> Open(const std::string& devicePath, platform::TOpenMode mode,
                                             std::uint32_t& error) override;
  bool GetCaps(const platform::TPreparsedData& data, THidCaps& caps) override;
  int NoticeFd() override;
  int DrainNotices() override;
  void SetNoticeWake(std::function<void()> wake) override;
  std::string ErrorText(std::uint32_t error) override;

  // The first write that differed from the recording, of any device.
  std::optional<TReplayStop> Stop() const;
  // Devices whose recorded writes were not all made: "device 0: 12 of 40
  // writes made", one entry each.
  std::vector<std::string> Unfinished() const;

  struct TNotices;

 private:
  std::shared_ptr<TReplayDevice> Find(const std::string& path) const;

  std::vector<std::shared_ptr<TReplayDevice>> devices_;
  std::shared_ptr<TNotices> notices_;
};

}  // namespace kvm::hid::record
