#include <iterator>

#include "firmware/FirmwareImage.h"
#include "wire/ProgrammerWire.h"

namespace kvm::firmware {

namespace {

// The file formats a name selects. Only these endings, exactly so (letter
// case included), make a file a scrambled container; every other name is a
// plain image sent byte for byte. The target code names the target whose
// files carry that ending by custom (0: none in particular).
struct TContainerFormat {
  const char* Ending;
  int CustomTargetCode;
};
constexpr TContainerFormat ContainerFormats[] = {{".28", wire::TargetNone}, {".usb", wire::TargetUsbHost}, {".osd", wire::TargetOsd}};

}  // namespace

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
  for (const TContainerFormat& format : ContainerFormats)
    if (extension == format.Ending) return true;
  return false;
}

std::string CustomContainerEnding(int targetCode) {
  for (const TContainerFormat& format : ContainerFormats)
    if (format.CustomTargetCode == targetCode) return format.Ending;
  return ContainerFormats[0].Ending;
}

std::string ContainerEndingsText() {
  std::string text;
  constexpr std::size_t count = std::size(ContainerFormats);
  for (std::size_t i = 0; i < count; ++i)
    text += std::string(i == 0 ? "" : i + 1 == count ? " or " : ", ") + ContainerFormats[i].Ending;
  return text;
}

}  // namespace kvm::firmware
