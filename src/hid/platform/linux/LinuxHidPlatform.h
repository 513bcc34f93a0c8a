// The Linux back end of the HID seam: hidraw nodes found and watched
// through libudev (bound at run time), reports through the nodes.
#pragma once

#include <map>
#include <memory>
#include <string>

#include "hid/platform/HidPlatform.h"

struct udev;
struct udev_monitor;

namespace kvm::hid::platform::linux_hid {

struct THidrawNodeInfo;

class TLinuxHidPlatform final : public THidPlatform {
 public:
  TLinuxHidPlatform() = default;
  ~TLinuxHidPlatform() override;

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
  std::string InUseText(const std::string& devicePath, std::uint32_t error) override;
  std::string ErrorText(std::uint32_t error) override;

 private:
  bool FindNode(const std::string& devicePath, THidrawNodeInfo& info);

  int enumerationLoads_ = 0;
  ::udev* udev_ = nullptr;
  ::udev_monitor* monitor_ = nullptr;
  // Identities of the nodes seen present, by sysfs path. A node that went
  // away (a remove notice, or missing from a scan) loses its identity, so
  // that a device re-plugged under the same name is a new device.
  std::map<std::string, std::uint64_t> identities_;
  std::uint64_t nextIdentity_ = 1;
};

}  // namespace kvm::hid::platform::linux_hid

namespace kvm::hid::platform {

std::shared_ptr<THidPlatform> MakeLinuxHidPlatform();

}  // namespace kvm::hid::platform
