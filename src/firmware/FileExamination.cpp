#include "firmware/FileExamination.h"

#include <algorithm>
#include <cstdio>

#include "firmware/Container.h"
#include "firmware/ImageErrors.h"
#include "firmware/ReadOnlyFile.h"

namespace kvm::firmware {

namespace {

constexpr int UsbHostTargetCode = 4;
constexpr int OsdTargetCode = 2;

std::string Hex4(int value) {
  char text[8];
  std::snprintf(text, sizeof text, "%04X", static_cast<unsigned>(value) & 0xFFFFu);
  return text;
}

// The system's reason without the path again: "open: No such file or directory".
std::string SystemReason(const std::string& path) {
  std::string detail = LastImageErrorDetail();
  if (const auto at = detail.find(" " + path + ": "); at != std::string::npos) detail.erase(at, path.size() + 1);
  else if (detail.rfind(path + " ", 0) == 0) detail.erase(0, path.size() + 1);
  return detail;
}

TFileExamination& Refuse(TFileExamination& file, int verdict, const std::string& why) {
  file.Verdict = verdict;
  file.Reason = file.Path + ": " + ImageResultText(verdict);
  if (!why.empty()) file.Reason += " (" + why + ")";
  file.FileBytes.clear();
  file.Image.clear();
  return file;
}

std::string HeaderProblem(int checked, int targetCode, const TContainerHeader& header) {
  switch (checked) {
    case UnknownChipType:
      return "its header gives chip type 0x" + Hex4(header.ChipType) + "; known are 28, 56 and 300";
    case ChipTypeNotForTarget:
      return "chip type " + std::to_string(header.ChipType) + "; the " + TargetNameOf(targetCode) +
             " target takes only chip type 300";
    default:
      if (!header.KeyByte)
        return "the key offset " + std::to_string(header.KeyOffset) + " points past the header";
      return "the step length is 0";
  }
}

std::string LengthProblem(int fits, bool container, std::int64_t imageLength) {
  const std::string what = container ? " payload bytes" : " bytes";
  if (fits == ImageEmpty) return container ? "the container carries no payload" : "";
  return std::to_string(imageLength) + what + "; at most " + std::to_string(MaxImageLength) + " fit in " +
         std::to_string(MaxBlockCount) + " blocks";
}

}  // namespace

bool AnyTargetAccepts(int chipType) {
  return detail::ChipTypeAcceptedFor(UsbHostTargetCode, chipType) || detail::ChipTypeAcceptedFor(OsdTargetCode, chipType);
}

std::string TargetNameOf(int targetCode) { return targetCode == OsdTargetCode ? "OSD" : "USB Host"; }

TFileExamination Examine(int targetCode, const std::string& path) {
  return detail::ExamineAs(targetCode, path, IsContainerName(path));
}

namespace detail {

TFileExamination ExamineAs(int targetCode, const std::string& path, bool container) {
  TFileExamination file;
  file.Path = path;
  file.Container = container;
  ClearErrorDetail();
  int fd = -1;
  std::int64_t size = 0;
  if (OpenImageFile(path, fd, size) != ImageOk) return Refuse(file, FileUnreadable, SystemReason(path));
  TFileCloser closer(fd);
  file.FileLength = size;

  // The header first, as the job judges it, so a container is never read
  // whole before its chip type is known.
  const auto headLength = static_cast<std::int64_t>(ContainerHeaderLength);
  std::vector<std::uint8_t> bytes(ContainerHeaderLength, 0);
  const std::int64_t headRead = ReadUpTo(fd, path, bytes.data(), std::min(size, headLength));
  if (headRead < 0) return Refuse(file, FileUnreadable, SystemReason(path));
  // A header is judged only where the file holds all of it.
  const auto judgedLength = static_cast<std::size_t>(headRead < headLength ? headRead : size);
  TCheckedHeader checked;
  const int headerResult = ReadContainerHeader(targetCode, bytes.data(), judgedLength, checked);
  if (file.Container) {
    file.Header = ParseContainerHeader(bytes, headRead < headLength ? headRead : size);
    if (!file.Header)
      return Refuse(file, MalformedContainer, "the file is shorter than its " + std::to_string(headLength) + "-byte header");
    if (headerResult != ImageOk) return Refuse(file, headerResult, HeaderProblem(headerResult, targetCode, *file.Header));
  } else {
    file.Lookalike = headRead == headLength && headerResult == ImageOk;
  }

  // The length is judged before the rest is read, so a huge file never is.
  const std::int64_t imageLength = file.Container ? size - headLength : size;
  if (const int fits = CheckImageLength(imageLength); fits != ImageOk)
    return Refuse(file, fits, LengthProblem(fits, file.Container, imageLength));
  bytes.resize(static_cast<std::size_t>(size));
  const std::int64_t rest = size - headRead;
  const std::int64_t got = ReadUpTo(fd, path, bytes.data() + headRead, rest);
  if (got < 0) return Refuse(file, FileUnreadable, SystemReason(path));
  if (got != rest || CurrentSize(fd, path) != size)
    return Refuse(file, FileUnreadable, "the file changed while it was read");

  file.FileBytes = std::move(bytes);
  if (file.Container) {
    file.Image.assign(file.FileBytes.begin() + headLength, file.FileBytes.end());
    UnscramblePayload(checked, file.Image.data(), file.Image.data(), file.Image.size());
  } else {
    file.Image = file.FileBytes;
  }
  std::uint32_t sum = 0;
  for (const std::uint8_t byte : file.Image) sum += byte;
  file.CheckSum = static_cast<int>(sum & 0xFFFFu);
  file.Blocks = BlockSequenceOf(static_cast<std::int64_t>(file.Image.size()));
  return file;
}

}  // namespace detail
}  // namespace kvm::firmware
