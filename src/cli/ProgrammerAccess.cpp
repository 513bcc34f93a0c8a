#include "cli/ProgrammerAccess.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "hid/HidDevice.h"
#include "link/AccessHint.h"

namespace kvm::cli {

std::string NodeAccessError(const std::string& node) {
  const int fd = ::open(node.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return std::strerror(errno);
  ::close(fd);
  return {};
}

std::string AccessFix() {
  return std::string("install the udev rule ") + link::UdevRuleName +
         " (the kvmflash package puts it in /usr/lib/udev/rules.d), then unplug the programmer and plug it in "
         "again; 'kvmflash-cli doctor' shows what else is missing";
}

std::string ProgrammerAccessProblem(hid::THidDevice& device) {
  if (device.HasReadWriteAccess()) return {};
  const std::string node = device.PnPInfo().DevicePath;
  std::string reason = NodeAccessError(node);
  if (reason.empty()) reason = "it could not be opened when it was connected";
  return "the KVM programmer at " + node + " cannot be opened for reading and writing (" + reason + "): " +
         AccessFix();
}

}  // namespace kvm::cli
