#include "link/AccessHint.h"

#include "hid/HidDevice.h"

namespace kvm::link {

std::string NoAccessText(const std::string& devicePath) {
  std::string text = "Cannot open " + devicePath + " for reading and writing";
#ifdef __linux__
  text += std::string(": install the udev rule ") + UdevRuleName +
          ", then plug the programmer in again (kvmflash-cli doctor tells what is missing)";
#else
  text += ".";
#endif
  return text;
}

std::string UnusableText(const hid::THidDevice& device) {
  const std::string& node = device.PnPInfo().DevicePath;
  if (const std::string inUse = device.InUseText(); !inUse.empty()) return "KVM programmer at " + node + " is " + inUse;
  std::string text = NoAccessText(node);
  const std::string reason = device.AccessErrorText();
  // The system's reason goes right after the node it is about.
  const std::string head = "Cannot open " + node + " for reading and writing";
  if (!reason.empty()) text.insert(head.size(), " (" + reason + ")");
  return text;
}

}  // namespace kvm::link
