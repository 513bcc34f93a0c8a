// TSimHidPlatform: an in-memory HID platform. Tests, the demo and benchmarks
// plug simulated devices in and out; the HID layer sees them through the same
// seam as real hidraw devices. Each plug gets a fresh DeviceID (never reused)
// and the path "sim://hid/<id>"; every plug and unplug raises a notice.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "hid/platform/sim/SimResponder.h"
#include "hid/platform/HidPlatform.h"
#include "hid/platform/sim/SimDeviceInfo.h"

namespace kvm::hid::platform {

class TSimBus;

class TSimHidPlatform final : public THidPlatform {
 public:
  TSimHidPlatform();
  ~TSimHidPlatform() override;

  // --- the platform seam ---
  bool LoadEnumeration() override;
  void UnloadEnumeration() override;
  bool LoadHidAccess() override;
  void UnloadHidAccess() override;
  bool IsHidAccessLoaded() const override;
  std::vector<THidInterface> ScanInterfaces() override;
  std::unique_ptr<THidHandle> Open(const std::string& devicePath, TOpenMode mode, std::uint32_t& error) override;
  bool GetCaps(const TPreparsedData& data, THidCaps& caps) override;
  int NoticeFd() override;
  int DrainNotices() override;
  void SetNoticeWake(std::function<void()> wake) override;
  std::string InUseText(const std::string& devicePath, std::uint32_t error) override;
  std::string ErrorText(std::uint32_t error) override;

  // --- the test side ---
  // Plugs a device in; `responder` answers its output reports (none: writes
  // succeed and nothing is answered). Returns its DeviceID.
  std::uint64_t Plug(TSimDeviceInfo info, TDeviceResponder responder = {});
  // False when no such device is plugged in.
  bool Unplug(std::uint64_t id);
  // Queues an input report as if the device had sent it; false when the
  // device is not plugged in or its queue is full.
  bool InjectInputReport(std::uint64_t id, const std::vector<std::uint8_t>& report);
  std::string PathOf(std::uint64_t id) const;
  // A device-node notice without any change of the HID interfaces (another
  // kind of device came or went).
  void RaiseNotice();

  // Successful writes, reports dropped because the queue was full, reports
  // waiting to be read, handles open now and openings so far (0 for unknown
  // devices).
  std::size_t WrittenReports(std::uint64_t id) const;
  std::size_t DroppedReports(std::uint64_t id) const;
  std::size_t QueuedReports(std::uint64_t id) const;
  int OpenHandles(std::uint64_t id) const;
  int Openings(std::uint64_t id) const;

  // Makes the next bindings fail (to test a controller that stays unbound).
  void SetBindFailure(bool enumeration, bool hidAccess);
  int EnumerationReferences() const { return enumerationRefs_; }

 private:
  std::shared_ptr<TSimBus> bus_;
  std::atomic<int> enumerationRefs_{0};
  std::atomic<bool> hidAccessLoaded_{false};
  std::atomic<bool> failEnumeration_{false};
  std::atomic<bool> failHidAccess_{false};
};

}  // namespace kvm::hid::platform
