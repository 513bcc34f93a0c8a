#include "firmware/FirmwareImage.h"

namespace kvm::firmware {

std::string FileExtension(const std::string& name) {
  // Names may come from the file lists in either separator style, or carry a drive.
  const auto folderEnd = name.find_last_of("/\\:");
  const auto nameStart = folderEnd == std::string::npos ? 0 : folderEnd + 1;
  const auto dot = name.rfind('.');
  if (dot == std::string::npos || dot < nameStart) return {};
  return name.substr(dot);
}

bool IsContainerName(const std::string& name) {
  const std::string extension = FileExtension(name);
  return extension == ".28" || extension == ".usb" || extension == ".osd";
}

}  // namespace kvm::firmware
