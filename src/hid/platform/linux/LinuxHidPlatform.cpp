#include "hid/platform/linux/LinuxHidPlatform.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "hid/platform/ReportDescriptor.h"
#include "hid/platform/linux/HidrawBinding.h"
#include "hid/platform/linux/HidrawHandle.h"
#include "hid/platform/linux/NodeLock.h"
#include "hid/platform/linux/UdevBinding.h"

namespace kvm::hid::platform::linux_hid {

namespace {

std::string Text(const char* value) { return value != nullptr ? value : ""; }

std::string BaseName(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

TLinuxHidPlatform::~TLinuxHidPlatform() {
  while (enumerationLoads_ > 0) UnloadEnumeration();
}

bool TLinuxHidPlatform::LoadEnumeration() {
  if (!LoadUdev()) return false;
  if (udev_ == nullptr) udev_ = Udev().udev_new();
  if (udev_ == nullptr) {
    UnloadUdev();
    return false;
  }
  ++enumerationLoads_;
  return true;
}

void TLinuxHidPlatform::UnloadEnumeration() {
  if (enumerationLoads_ == 0) return;
  if (--enumerationLoads_ == 0) {
    if (monitor_ != nullptr) Udev().udev_monitor_unref(monitor_);
    if (udev_ != nullptr) Udev().udev_unref(udev_);
    monitor_ = nullptr;
    udev_ = nullptr;
    identities_.clear();
  }
  UnloadUdev();
}

bool TLinuxHidPlatform::LoadHidAccess() { return udev_ != nullptr && LoadHidraw(); }
void TLinuxHidPlatform::UnloadHidAccess() { UnloadHidraw(); }
bool TLinuxHidPlatform::IsHidAccessLoaded() const { return IsHidrawLoaded(); }

std::vector<THidInterface> TLinuxHidPlatform::ScanInterfaces() {
  std::vector<THidInterface> found;
  if (udev_ == nullptr || !IsHidrawLoaded()) return found;
  const TUdevFunctions& u = Udev();
  udev_enumerate* enumerate = u.udev_enumerate_new(udev_);
  if (enumerate == nullptr) return found;
  u.udev_enumerate_add_match_subsystem(enumerate, "hidraw");
  u.udev_enumerate_scan_devices(enumerate);

  std::map<std::string, std::uint64_t> present;
  for (udev_list_entry* entry = u.udev_enumerate_get_list_entry(enumerate); entry != nullptr;
       entry = u.udev_list_entry_get_next(entry)) {
    const std::string sysPath = Text(u.udev_list_entry_get_name(entry));
    udev_device* device = u.udev_device_new_from_syspath(udev_, sysPath.c_str());
    if (device == nullptr) continue;
    const std::string devNode = Text(u.udev_device_get_devnode(device));
    // The parent belongs to the child and is released with it.
    udev_device* usb = u.udev_device_get_parent_with_subsystem_devtype(device, "usb", "usb_device");
    const std::string portPath = BaseName(usb != nullptr ? Text(u.udev_device_get_syspath(usb)) : devNode);
    u.udev_device_unref(device);
    // The kernel deletes the node before it says the device is gone and
    // before its sysfs entries go: a node that is no longer there is a device
    // being removed, not one present.
    if (devNode.empty() || ::access(devNode.c_str(), F_OK) != 0) continue;
    const auto known = identities_.find(sysPath);
    const std::uint64_t id = known != identities_.end() ? known->second : nextIdentity_++;
    present[sysPath] = id;
    found.push_back({id, devNode, portPath});
  }
  u.udev_enumerate_unref(enumerate);
  identities_ = std::move(present);
  return found;
}

bool TLinuxHidPlatform::FindNode(const std::string& devicePath, THidrawNodeInfo& info) {
  info.DevNode = devicePath;
  if (udev_ == nullptr) return false;
  const TUdevFunctions& u = Udev();
  udev_device* node = u.udev_device_new_from_subsystem_sysname(udev_, "hidraw", BaseName(devicePath).c_str());
  if (node == nullptr) return false;
  // Parents belong to the child and are released with it.
  if (udev_device* hid = u.udev_device_get_parent_with_subsystem_devtype(node, "hid", nullptr)) {
    info.HidSysPath = Text(u.udev_device_get_syspath(hid));
    info.HidId = Text(u.udev_device_get_property_value(hid, "HID_ID"));
    info.HidName = Text(u.udev_device_get_property_value(hid, "HID_NAME"));
    info.HidUniq = Text(u.udev_device_get_property_value(hid, "HID_UNIQ"));
  }
  if (udev_device* usb = u.udev_device_get_parent_with_subsystem_devtype(node, "usb", "usb_device")) {
    info.UsbSysPath = Text(u.udev_device_get_syspath(usb));
  }
  u.udev_device_unref(node);
  return true;
}

std::unique_ptr<THidHandle> TLinuxHidPlatform::Open(const std::string& devicePath, TOpenMode mode,
                                                    std::uint32_t& error) {
  error = 0;
  THidrawNodeInfo info;
  const bool known = FindNode(devicePath, info);
  int fd = -1;
  int cancelFd = -1;
  switch (mode) {
    case TOpenMode::ReadWrite: fd = ::open(devicePath.c_str(), O_RDWR | O_CLOEXEC); break;
    case TOpenMode::Write: fd = ::open(devicePath.c_str(), O_WRONLY | O_CLOEXEC); break;
    case TOpenMode::Read: fd = ::open(devicePath.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK); break;
    case TOpenMode::QueryOnly:
      // Identity, descriptor and strings come from sysfs, which everyone may
      // read, so a node without access rights is still listed.
      if (!known) {
        error = ENODEV;
        return nullptr;
      }
      return std::make_unique<THidrawHandle>(std::move(info), -1, -1, false);
  }
  if (fd < 0) {
    error = static_cast<std::uint32_t>(errno);
    return nullptr;
  }
  // Every handle that reaches the device holds the node: another process's
  // lock means that someone else has connected this programmer.
  std::shared_ptr<void> hold = HoldNode(devicePath, fd, error);
  if (!hold) {
    ::close(fd);
    return nullptr;
  }
  if (mode == TOpenMode::Read) {
    cancelFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (cancelFd < 0) {
      error = static_cast<std::uint32_t>(errno);
      ::close(fd);
      return nullptr;
    }
  }
  const bool writable = mode == TOpenMode::ReadWrite || mode == TOpenMode::Write;
  auto handle = std::make_unique<THidrawHandle>(std::move(info), fd, cancelFd, writable);
  handle->KeepHold(std::move(hold));
  if (mode == TOpenMode::Read) handle->LearnReportNumbering();
  return handle;
}

bool TLinuxHidPlatform::GetCaps(const TPreparsedData& data, THidCaps& caps) {
  const auto* descriptor = dynamic_cast<const TDescriptorData*>(&data);
  if (descriptor == nullptr || !descriptor->Valid()) return false;
  caps = descriptor->Caps();
  return true;
}

int TLinuxHidPlatform::NoticeFd() {
  if (udev_ == nullptr) return -1;
  const TUdevFunctions& u = Udev();
  if (monitor_ == nullptr) {
    monitor_ = u.udev_monitor_new_from_netlink(udev_, "udev");
    if (monitor_ == nullptr) return -1;
    if (u.udev_monitor_filter_add_match_subsystem_devtype(monitor_, "hidraw", nullptr) < 0 ||
        u.udev_monitor_enable_receiving(monitor_) < 0) {
      u.udev_monitor_unref(monitor_);
      monitor_ = nullptr;
      return -1;
    }
  }
  return u.udev_monitor_get_fd(monitor_);
}

int TLinuxHidPlatform::DrainNotices() {
  if (monitor_ == nullptr) return 0;
  const TUdevFunctions& u = Udev();
  const int fd = u.udev_monitor_get_fd(monitor_);
  int notices = 0;
  for (;;) {
    // Never block here: the socket's own mode is not ours to rely on.
    pollfd pending{fd, POLLIN, 0};
    if (::poll(&pending, 1, 0) <= 0 || (pending.revents & POLLIN) == 0) break;
    udev_device* device = u.udev_monitor_receive_device(monitor_);
    if (device == nullptr) break;
    ++notices;
    if (Text(u.udev_device_get_action(device)) == "remove") {
      identities_.erase(Text(u.udev_device_get_syspath(device)));
    }
    u.udev_device_unref(device);
  }
  return notices;
}

std::string TLinuxHidPlatform::InUseText(const std::string& devicePath, std::uint32_t error) {
  return error == NodeInUseError ? NodeHolderText(devicePath) : std::string();
}

std::string TLinuxHidPlatform::ErrorText(std::uint32_t error) {
  return std::strerror(static_cast<int>(error));
}

}  // namespace kvm::hid::platform::linux_hid

namespace kvm::hid::platform {

std::shared_ptr<THidPlatform> MakeLinuxHidPlatform() {
  return std::make_shared<linux_hid::TLinuxHidPlatform>();
}

}  // namespace kvm::hid::platform
