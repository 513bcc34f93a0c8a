// Loading a library by name and looking its entry points up at run time, so
// that nothing of HID.dll or SetupApi.dll lands in the import table.
#pragma once

#include <windows.h>

#include <cstddef>

namespace kvm::hid::platform::windows {

// Loads `name` into `handle` unless a handle is already held; true when the
// handle is set afterwards.
bool LoadModule(HMODULE& handle, const char* name);
// Frees the library if a handle is held; the handle becomes null.
void UnloadModule(HMODULE& handle);
// The entry point `name` of `handle`, null when not found or no handle.
FARPROC GetModuleSymbol(HMODULE handle, const char* name);
// As GetModuleSymbol; `ok` becomes false when the name is not found.
FARPROC GetModuleSymbolEx(HMODULE handle, const char* name, bool& ok);

// One library's binding: every slot filled by name, in order, or none at all.
// Loads the library when `handle` is null, fills slots[i] with names[i] and,
// if any name is missing, frees the library again and clears every slot.
bool BindModule(HMODULE& handle, const char* moduleName, const char* const* names, FARPROC* slots,
                std::size_t count);
// Frees the library and clears every slot.
void UnbindModule(HMODULE& handle, FARPROC* slots, std::size_t count);

}  // namespace kvm::hid::platform::windows
