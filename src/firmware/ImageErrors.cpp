#include "firmware/ImageErrors.h"

#include <cstring>
#include <utility>

#include "firmware/FirmwareImage.h"

namespace kvm::firmware {

namespace {
// Per thread, so that a job and a command-line check never see each other's text.
thread_local std::string lastDetail;
}  // namespace

std::string ImageResultText(int result) {
  switch (result) {
    case ImageOk: return {};
    case UnknownChipType: return "Unknown chip type.";
    case ChipTypeNotForTarget: return "Chip type does not match the target.";
    case MalformedContainer: return "Invalid firmware container.";
    case FileUnreadable: return "Cannot read the firmware file.";
    case FileUnwritable: return "Cannot write the intermediate file.";
    case ImageEmpty: return "Firmware file is empty.";
    case ImageTooLarge: return "Firmware file is too large.";
    default: return "Firmware file error " + std::to_string(result) + ".";
  }
}

std::string LastImageErrorDetail() { return lastDetail; }

namespace detail {

void ClearErrorDetail() { lastDetail.clear(); }

int FailWithErrno(int result, const std::string& action, const std::string& path, int err) {
  lastDetail = action + " " + path + ": " + std::strerror(err);
  return result;
}

int FailWithText(int result, std::string text) {
  lastDetail = std::move(text);
  return result;
}

}  // namespace detail
}  // namespace kvm::firmware
