// libudev, bound by name at run time: all of its entry points or none.
//
// The process-wide binding is reference-counted: every LoadUdev that succeeds
// needs one UnloadUdev, and the library is released when the count is back
// at zero.
#pragma once

#include <libudev.h>  // types only; the library is never linked

#include <string>

#include "hid/platform/linux/ModuleLoader.h"

namespace kvm::hid::platform::linux_hid {

#define KVM_UDEV_FUNCTIONS(X)                    \
  X(udev_new)                                    \
  X(udev_unref)                                  \
  X(udev_enumerate_new)                          \
  X(udev_enumerate_unref)                        \
  X(udev_enumerate_add_match_subsystem)          \
  X(udev_enumerate_scan_devices)                 \
  X(udev_enumerate_get_list_entry)               \
  X(udev_list_entry_get_next)                    \
  X(udev_list_entry_get_name)                    \
  X(udev_device_new_from_syspath)                \
  X(udev_device_new_from_subsystem_sysname)      \
  X(udev_device_unref)                           \
  X(udev_device_get_devnode)                     \
  X(udev_device_get_syspath)                     \
  X(udev_device_get_action)                      \
  X(udev_device_get_parent_with_subsystem_devtype) \
  X(udev_device_get_property_value)              \
  X(udev_monitor_new_from_netlink)               \
  X(udev_monitor_filter_add_match_subsystem_devtype) \
  X(udev_monitor_enable_receiving)               \
  X(udev_monitor_get_fd)                         \
  X(udev_monitor_receive_device)                 \
  X(udev_monitor_unref)

struct TUdevFunctions {
#define KVM_UDEV_SLOT(name) decltype(&::name) name = nullptr;
  KVM_UDEV_FUNCTIONS(KVM_UDEV_SLOT)
#undef KVM_UDEV_SLOT
};

class TUdevBinding {
 public:
  explicit TUdevBinding(std::string moduleName);
  ~TUdevBinding();
  TUdevBinding(const TUdevBinding&) = delete;
  TUdevBinding& operator=(const TUdevBinding&) = delete;

  bool Load();
  void Unload();
  bool IsLoaded() const { return module_ != nullptr; }
  int RefCount() const { return refCount_; }
  const TUdevFunctions& Functions() const { return functions_; }

 private:
  std::string moduleName_;
  TModuleHandle module_ = nullptr;
  int refCount_ = 0;
  TUdevFunctions functions_;
};

bool LoadUdev();
void UnloadUdev();
bool IsUdevLoaded();
// The slots of the process-wide binding; all null while it is not bound.
const TUdevFunctions& Udev();

}  // namespace kvm::hid::platform::linux_hid
