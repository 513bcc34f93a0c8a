// TRecordingHidPlatform: any platform back end, with every device session
// written to a recording. It hands out the inner back end's handles wrapped
// in handles that pass each call on and queue what crossed the seam: output
// reports written and their result, input reports read (or the error), cancels;
// and, from the scans, the unplug of a device being recorded. Read time-outs
// are not exchanges and are left out.
//
// A device's session starts when a handle opened on it reads or writes for the
// first time (the reader's handle starts it when it is opened); its identity
// is read then, on the user-interface thread. A device that leaves and comes
// back is a new device of the recording.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "hid/platform/HidPlatform.h"
#include "hid/record/RecordingWriter.h"

namespace kvm::hid::record {

class TRecordingHidPlatform final : public platform::THidPlatform {
 public:
  TRecordingHidPlatform(std::shared_ptr<platform::THidPlatform> inner, std::shared_ptr<TRecordingWriter> writer);
  ~TRecordingHidPlatform() override;

  // Finishes the recordings of the devices this platform has seen (their
  // files complete, on the disk and closed) once nothing uses them any more;
  // false with every failed write named.
  bool FinishRecording(std::string& error);

  bool LoadEnumeration() override;
  void UnloadEnumeration() override;
  bool LoadHidAccess() override;
  void UnloadHidAccess() override;
  bool IsHidAccessLoaded() const override;
  std::vector<platform::THidInterface> ScanInterfaces() override;
  std::unique_ptr<platform::THidHandle> Open(const std::string& devicePath, platform::TOpenMode mode,
                                             std::uint32_t& error) override;
  bool GetCaps(const platform::TPreparsedData& data, THidCaps& caps) override;
  int NoticeFd() override;
  int DrainNotices() override;
  void SetNoticeWake(std::function<void()> wake) override;
  std::string InUseText(const std::string& devicePath, std::uint32_t error) override {
    return inner_->InUseText(devicePath, error);
  }
  std::string ErrorText(std::uint32_t error) override;

  struct TSessions;

 private:
  std::shared_ptr<platform::THidPlatform> inner_;
  std::shared_ptr<TSessions> sessions_;
};

}  // namespace kvm::hid::record
