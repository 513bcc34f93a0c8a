#include "hid/platform/windows/ModuleLoader.h"

namespace kvm::hid::platform::windows {

bool LoadModule(HMODULE& handle, const char* name) {
  if (handle == nullptr) handle = LoadLibraryA(name);
  return handle != nullptr;
}

void UnloadModule(HMODULE& handle) {
  if (handle != nullptr) FreeLibrary(handle);
  handle = nullptr;
}

FARPROC GetModuleSymbol(HMODULE handle, const char* name) {
  return handle != nullptr ? GetProcAddress(handle, name) : nullptr;
}

FARPROC GetModuleSymbolEx(HMODULE handle, const char* name, bool& ok) {
  FARPROC address = GetModuleSymbol(handle, name);
  ok = ok && address != nullptr;
  return address;
}

bool BindModule(HMODULE& handle, const char* moduleName, const char* const* names, FARPROC* slots,
                std::size_t count) {
  if (!LoadModule(handle, moduleName)) return false;
  bool ok = true;
  for (std::size_t i = 0; i < count; ++i) slots[i] = GetModuleSymbolEx(handle, names[i], ok);
  if (!ok) UnbindModule(handle, slots, count);
  return ok;
}

void UnbindModule(HMODULE& handle, FARPROC* slots, std::size_t count) {
  UnloadModule(handle);
  for (std::size_t i = 0; i < count; ++i) slots[i] = nullptr;
}

}  // namespace kvm::hid::platform::windows
