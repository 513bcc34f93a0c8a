#include "link/AccessHint.h"

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

}  // namespace kvm::link
