#include "cli/ProgrammerAccess.h"

#ifdef _WIN32
#include <windows.h>

#include "firmware/WindowsText.h"
#else
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#endif

#include "hid/HidDevice.h"
#include "link/AccessHint.h"

namespace kvm::cli {

#ifdef _WIN32
// Windows needs no permission rule for the programmer: what keeps it from
// being opened is another program holding it.
std::string NodeAccessError(const std::string& node) {
  const HANDLE handle = CreateFileW(firmware::WidePath(node).c_str(), GENERIC_READ | GENERIC_WRITE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return firmware::WindowsErrorText(GetLastError());
  CloseHandle(handle);
  return {};
}

std::string AccessFix() {
  return "close any other program that uses the programmer, then unplug it and plug it in again";
}

std::string AccessFixWithDoctor() { return AccessFix(); }
#else
std::string NodeAccessError(const std::string& node) {
  const int fd = ::open(node.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return std::strerror(errno);
  ::close(fd);
  return {};
}

std::string AccessFix() {
  return std::string("install the udev rule ") + link::UdevRuleName +
         " (the kvmflash package puts it in /usr/lib/udev/rules.d), then unplug the programmer and plug it in "
         "again";
}

std::string AccessFixWithDoctor() { return AccessFix() + "; 'kvmflash-cli doctor' shows what else is missing"; }
#endif

std::string ProgrammerAccessProblem(hid::THidDevice& device) {
  if (device.HasReadWriteAccess()) return {};
  const std::string node = device.PnPInfo().DevicePath;
  std::string reason = NodeAccessError(node);
  if (reason.empty()) reason = "it could not be opened when it was connected";
  return "the KVM programmer at " + node + " cannot be opened for reading and writing (" + reason + "): " +
         AccessFixWithDoctor();
}

}  // namespace kvm::cli
