#include "firmware/Container.h"

#include "firmware/FileExamination.h"
#include "firmware/FirmwareImage.h"
#include "firmware/ImageErrors.h"
#include "firmware/PrivateFolder.h"
#include "firmware/ReplaceFile.h"
#include "wire/ProgrammerWire.h"

namespace kvm::firmware {

namespace {
constexpr int KeyAreaOffset = 4;
constexpr int KeyAreaLength = 12;

// The payload is the firmware in the clear: for its user alone.
int WritePrivateFile(const std::string& path, const std::vector<std::uint8_t>& payload) {
  std::string error;
  if (!ReplaceFileContent(path, payload.data(), payload.size(), TNewFileMode::Private, error))
    return detail::FailWithText(FileUnwritable, error);
  return ImageOk;
}
}  // namespace

namespace detail {

bool ChipTypeAcceptedFor(int targetCode, int chipType) {
  return (targetCode == wire::TargetUsbHost || targetCode == wire::TargetOsd) && chipType == 300;
}

int ReadContainerHeader(int targetCode, const std::uint8_t* bytes, std::size_t containerLength,
                        TCheckedHeader& header) {
  // Without a whole header there is no chip type to judge.
  if (containerLength < ContainerHeaderLength) return MalformedContainer;
  const unsigned chipCode = (unsigned{bytes[0]} << 8) | bytes[1];
  switch (chipCode) {
    case 0x001C: header.ChipType = 28; break;
    case 0x0038: header.ChipType = 56; break;
    case 0x012C: header.ChipType = 300; break;
    default: return UnknownChipType;
  }
  if (!ChipTypeAcceptedFor(targetCode, header.ChipType)) return ChipTypeNotForTarget;
  header.KeyOffset = bytes[2] & 0x0F;
  header.StepLength = bytes[3] & 0x0F;
  // A key byte past the header, or steps of no bytes, would read or loop
  // beyond what the format defines.
  if (header.KeyOffset >= KeyAreaLength || header.StepLength == 0) return MalformedContainer;
  header.KeyByte = bytes[KeyAreaOffset + header.KeyOffset];
  return ImageOk;
}

void UnscramblePayload(const TCheckedHeader& header, const std::uint8_t* in, std::uint8_t* out,
                       std::size_t length) {
  const auto step = static_cast<std::size_t>(header.StepLength);
  const std::uint8_t key = header.KeyByte;
  auto running = static_cast<std::uint8_t>(header.KeyOffset);
  for (std::size_t stepStart = 0; stepStart < length; stepStart += step) {
    const std::size_t stepEnd = stepStart + step < length ? stepStart + step : length;
    for (std::size_t i = stepStart; i < stepEnd; ++i) {
      running = static_cast<std::uint8_t>(running + 7);
      out[i] = static_cast<std::uint8_t>(in[i] ^ key ^ running);
    }
  }
}

int ReadUnscrambledPayload(int targetCode, const std::string& containerPath,
                           std::vector<std::uint8_t>& payload) {
  payload.clear();
  TFileExamination file = ExamineAs(targetCode, containerPath, true);
  if (!file.Accepted()) return FailWithText(file.Verdict, file.Reason);
  payload = std::move(file.Image);
  return ImageOk;
}

}  // namespace detail

int UnscrambleContainerTo(int targetCode, const std::string& containerPath,
                          const std::string& outputPath) {
  detail::ClearErrorDetail();
  std::vector<std::uint8_t> payload;
  if (const int read = detail::ReadUnscrambledPayload(targetCode, containerPath, payload);
      read != ImageOk)
    return read;
  // Only the payload is firmware; a short payload is not filled up with header bytes.
  return WritePrivateFile(outputPath, payload);
}

int UnscrambleContainer(int targetCode, const std::string& containerPath) {
  // One look at the environment, so that the folder checked is the one written.
  return UnscrambleContainer(targetCode, containerPath, IntermediateFile());
}

int UnscrambleContainer(int targetCode, const std::string& containerPath, const std::string& target) {
  detail::ClearErrorDetail();
  std::vector<std::uint8_t> payload;
  if (const int read = detail::ReadUnscrambledPayload(targetCode, containerPath, payload);
      read != ImageOk)
    return read;
  if (const int prepared = detail::PreparePrivateFolder(target.substr(0, target.rfind('/')));
      prepared != ImageOk)
    return prepared;
  return WritePrivateFile(target, payload);
}

}  // namespace kvm::firmware
