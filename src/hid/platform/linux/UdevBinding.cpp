#include "hid/platform/linux/UdevBinding.h"

#include <utility>

namespace kvm::hid::platform::linux_hid {

TUdevBinding::TUdevBinding(std::string moduleName) : moduleName_(std::move(moduleName)) {}

TUdevBinding::~TUdevBinding() {
  UnloadModule(module_);
}

bool TUdevBinding::Load() {
  if (++refCount_ > 1) return true;
  if (!LoadModule(module_, moduleName_.c_str())) {
    --refCount_;
    return false;
  }
  bool ok = true;
#define KVM_UDEV_BIND(name) \
  functions_.name = reinterpret_cast<decltype(functions_.name)>(GetModuleSymbolEx(module_, #name, ok));
  KVM_UDEV_FUNCTIONS(KVM_UDEV_BIND)
#undef KVM_UDEV_BIND
  if (!ok) {
    // One missing name unbinds the whole library.
    Unload();
    return false;
  }
  return true;
}

void TUdevBinding::Unload() {
  if (--refCount_ > 0) return;
  refCount_ = 0;
  UnloadModule(module_);
  functions_ = TUdevFunctions{};
}

namespace {

TUdevBinding& ProcessBinding() {
  static TUdevBinding binding("libudev.so.1");
  return binding;
}

}  // namespace

bool LoadUdev() { return ProcessBinding().Load(); }
void UnloadUdev() { ProcessBinding().Unload(); }
bool IsUdevLoaded() { return ProcessBinding().IsLoaded(); }
const TUdevFunctions& Udev() { return ProcessBinding().Functions(); }

}  // namespace kvm::hid::platform::linux_hid
