#include "firmware/ContainerLookalike.h"

#include <algorithm>
#include <cctype>

#include "firmware/FileExamination.h"
#include "firmware/FirmwareImage.h"

namespace kvm::firmware {

namespace {
std::string LowerCase(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
  return text;
}
}  // namespace

bool IsContainerLookalike(int targetCode, const std::string& path) {
  return Examine(targetCode, path).Lookalike;
}

std::string ContainerEndingFor(int targetCode, const std::string& path) {
  const std::string lower = LowerCase(FileExtension(path));
  if (IsContainerName(lower)) return lower;
  return CustomContainerEnding(targetCode);
}

std::string ContainerLookalikeWarning(int targetCode, const std::string& path) {
  return "Warning: the file starts like a scrambled container but its name makes it a plain image; it is "
         "programmed as it is (rename it to end in " +
         ContainerEndingFor(targetCode, path) + " to have it unscrambled).";
}

}  // namespace kvm::firmware
