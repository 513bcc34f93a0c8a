// Loading a shared library by name and looking its entry points up by name.
#pragma once

namespace kvm::hid::platform::linux_hid {

using TModuleHandle = void*;

// Loads `name` into `handle` unless a handle is already held; true when the
// handle is set afterwards.
bool LoadModule(TModuleHandle& handle, const char* name);
// Releases the library if a handle is held; the handle becomes null.
void UnloadModule(TModuleHandle& handle);
// The entry point's address, or null (also when no handle is given).
void* GetModuleSymbol(TModuleHandle handle, const char* name);
// As GetModuleSymbol; `ok` becomes false when the name was not found.
void* GetModuleSymbolEx(TModuleHandle handle, const char* name, bool& ok);

}  // namespace kvm::hid::platform::linux_hid
