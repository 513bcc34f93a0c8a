#include "cli/ContainerRefusal.h"

#include "cli/CommandSupport.h"
#include "firmware/FirmwareImage.h"

namespace kvm::cli {

std::string ContainerRefusal(int result, const std::optional<TContainerHeader>& header, TTarget target) {
  if (result == firmware::MalformedContainer) {
    if (!header) return "Invalid firmware container: the file is shorter than its 16-byte header.";
    if (!header->KeyByte)
      return "Invalid firmware container: the key offset " + std::to_string(header->KeyOffset) +
             " points past the header.";
    if (header->StepLength == 0) return "Invalid firmware container: the step length is 0.";
  }
  if (result == firmware::UnknownChipType && header) return "Unknown chip type 0x" + HexText(static_cast<unsigned>(header->ChipType), 4) + ".";
  if (result == firmware::ChipTypeNotForTarget && header)
    return "Chip type " + std::to_string(header->ChipType) + " is not accepted for the " + TargetName(target) +
           " target.";
  std::string text = firmware::ImageResultText(result);
  const std::string detail = firmware::LastImageErrorDetail();
  if (!detail.empty()) {
    if (!text.empty() && text.back() == '.') text.pop_back();
    text += ": " + detail + ".";
  }
  return text;
}

}  // namespace kvm::cli
