#include "hid/platform/linux/ModuleLoader.h"

#include <dlfcn.h>

namespace kvm::hid::platform::linux_hid {

bool LoadModule(TModuleHandle& handle, const char* name) {
  if (handle == nullptr) handle = dlopen(name, RTLD_NOW | RTLD_LOCAL);
  return handle != nullptr;
}

void UnloadModule(TModuleHandle& handle) {
  if (handle != nullptr) dlclose(handle);
  handle = nullptr;
}

void* GetModuleSymbol(TModuleHandle handle, const char* name) {
  return handle != nullptr ? dlsym(handle, name) : nullptr;
}

void* GetModuleSymbolEx(TModuleHandle handle, const char* name, bool& ok) {
  void* address = GetModuleSymbol(handle, name);
  ok = ok && address != nullptr;
  return address;
}

}  // namespace kvm::hid::platform::linux_hid
