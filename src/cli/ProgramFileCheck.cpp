#include "cli/ProgramFileCheck.h"

#include <cstdint>
#include <vector>

#include "firmware/Container.h"
#include "firmware/ContainerLookalike.h"
#include "firmware/FirmwareImage.h"
#include "firmware/ImageErrors.h"
#include "firmware/ReadOnlyFile.h"

namespace kvm::cli {

namespace {

// "<file>: <verdict> (<detail>)", the verdict as the job's log would give it.
std::string Refusal(const std::string& path, int result) {
  std::string text = path + ": " + firmware::ImageResultText(result);
  const std::string detail = firmware::LastImageErrorDetail();
  if (!detail.empty()) text += " (" + detail + ")";
  if (result == firmware::ImageTooLarge)
    text += " At most " + std::to_string(firmware::MaxImageLength) + " bytes fit in " +
            std::to_string(firmware::MaxBlockCount) + " blocks.";
  return text;
}

}  // namespace

std::string ContainerLookalikeAdvice(TTarget target, const std::string& path) {
  return path + " starts with a header the " + std::string(target == TTarget::UsbHost ? "USB Host" : "OSD") +
         " target accepts as a scrambled container's, but its name makes it a plain image, which is programmed "
         "byte for byte, still scrambled. Rename it to end in " +
         firmware::ContainerEndingFor(TargetCode(target), path) +
         " (lower case) to have it unscrambled, or give --as-plain to program it byte for byte.";
}

std::string ProgramFileRefusal(TTarget target, const std::string& path, bool asPlain) {
  const int targetCode = TargetCode(target);
  if (firmware::IsContainerName(path)) {
    // The whole container, as the job reads it: header, target and payload length.
    std::vector<std::uint8_t> payload;
    const int read = firmware::detail::ReadUnscrambledPayload(targetCode, path, payload);
    return read == firmware::ImageOk ? std::string() : Refusal(path, read);
  }
  int fd = -1;
  std::int64_t size = 0;
  firmware::detail::ClearErrorDetail();
  if (const int opened = firmware::detail::OpenImageFile(path, fd, size); opened != firmware::ImageOk)
    return Refusal(path, opened);
  firmware::detail::CloseFile(fd);
  if (const int fits = firmware::CheckImageLength(size); fits != firmware::ImageOk)
    return Refusal(path, firmware::detail::FailWithText(fits, path + " has " + std::to_string(size) + " bytes"));
  if (!asPlain && firmware::IsContainerLookalike(targetCode, path)) return ContainerLookalikeAdvice(target, path);
  return {};
}

}  // namespace kvm::cli
