#include "hid/platform/windows/NodeLock.h"

#include <windows.h>

#include <cstdio>
#include <map>
#include <mutex>

namespace kvm::hid::platform::windows {

static_assert(DeviceInUseError == ERROR_SHARING_VIOLATION);

namespace {

struct TDeviceHold {
  HANDLE File = INVALID_HANDLE_VALUE;
  ~TDeviceHold() {
    if (File != INVALID_HANDLE_VALUE) CloseHandle(File);
  }
};

std::mutex& HoldsLock() {
  static std::mutex lock;
  return lock;
}

std::map<std::string, std::weak_ptr<TDeviceHold>>& Holds() {
  static std::map<std::string, std::weak_ptr<TDeviceHold>> holds;
  return holds;
}

// The lock file of a device path: the same name in every process of this
// user's session (FNV-1a of the path, case-folded as Windows paths are).
std::string LockFileOf(const std::string& devicePath) {
  std::uint64_t hash = 14695981039346656037ull;
  for (const char c : devicePath) {
    const char lower = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    hash = (hash ^ static_cast<unsigned char>(lower)) * 1099511628211ull;
  }
  char folder[MAX_PATH + 1] = {};
  const DWORD length = GetTempPathA(sizeof folder, folder);
  char name[64];
  std::snprintf(name, sizeof name, "kvmflash-%016llx.lock", static_cast<unsigned long long>(hash));
  return std::string(folder, length > 0 && length <= MAX_PATH ? length : 0) + name;
}

}  // namespace

std::shared_ptr<void> HoldDevice(const std::string& devicePath, std::uint32_t& error) {
  std::lock_guard<std::mutex> guard(HoldsLock());
  auto& holds = Holds();
  if (auto held = holds[devicePath].lock()) return held;
  auto hold = std::make_shared<TDeviceHold>();
  // No sharing: a second process gets ERROR_SHARING_VIOLATION. Deleted when closed.
  hold->File = CreateFileA(LockFileOf(devicePath).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                           FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (hold->File == INVALID_HANDLE_VALUE) {
    error = GetLastError();
    return nullptr;
  }
  holds[devicePath] = hold;
  for (auto it = holds.begin(); it != holds.end();) it = it->second.expired() ? holds.erase(it) : std::next(it);
  return hold;
}

}  // namespace kvm::hid::platform::windows
