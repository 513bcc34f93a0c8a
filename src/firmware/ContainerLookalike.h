// A plain image that its target would take for a scrambled container. The
// file's name decides how a job sends it (".28", ".usb", ".osd" in lower case
// are unscrambled, everything else goes byte for byte), so a container named
// "FW.USB" would reach the chip still scrambled.
#pragma once

#include <string>

namespace kvm::firmware {

// True when `path` is a plain image by its name but starts with a container
// header that the target (TargetCode) accepts. False when unreadable.
bool IsContainerLookalike(int targetCode, const std::string& path);

// The container ending the file should carry to be unscrambled: its own in
// lower case when it has one in another case, else ".usb" or ".osd" by target.
std::string ContainerEndingFor(int targetCode, const std::string& path);

// The line the window logs (in red) before it programs such a file.
std::string ContainerLookalikeWarning(int targetCode, const std::string& path);

}  // namespace kvm::firmware
