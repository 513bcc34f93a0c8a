// What a job would make of a firmware file, found out before any programmer
// is touched: the one place that judges a file and words its refusal, for
// every command, the station and the window's own checks.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "firmware/ContainerHeader.h"
#include "firmware/FirmwareImage.h"

namespace kvm::firmware {

struct TFileExamination {
  std::string Path;
  int Verdict = ImageOk;  // ImageOk, or the result a job would end with
  // Empty when accepted; otherwise "<path>: <verdict> (<why>)", one line.
  std::string Reason;
  bool Container = false;                 // by its name (.28, .usb, .osd)
  std::optional<TContainerHeader> Header;  // a container's, when it has 16 bytes
  std::int64_t FileLength = 0;
  // Filled when accepted: the file as read, and the image a job programs
  // (a container's unscrambled payload, else the file itself).
  std::vector<std::uint8_t> FileBytes;
  std::vector<std::uint8_t> Image;
  int CheckSum = 0;  // the image's 16-bit sum, as the job compares it
  TBlockSequence Blocks;
  // A plain image by its name that starts with a header the target accepts.
  bool Lookalike = false;

  bool Accepted() const { return Verdict == ImageOk; }
};

// Reads and judges the file for the target (TargetCode: 4 USB host, 2 OSD)
// the way the job takes it: readable regular file, a container header the
// target accepts, an image neither empty nor too large.
TFileExamination Examine(int targetCode, const std::string& path);

// True when a container of that chip type is accepted by the USB host or the OSD target.
bool AnyTargetAccepts(int chipType);

// "USB Host" or "OSD".
std::string TargetNameOf(int targetCode);

}  // namespace kvm::firmware
