// The firmware files a station run programs, checked once at the start
// before any programmer is touched, and described for the event stream and
// the traceability log.
#pragma once

#include <QJsonObject>
#include <QString>
#include <cstdint>
#include <string>
#include <vector>

#include "core/JobView.h"

namespace kvm::station {

struct TFirmwareFile {
  TTarget Target = TTarget::UsbHost;
  std::string Path;        // as given
  QString Sha256;          // of the file as given, lower-case hexadecimal
  std::int64_t FileSize = 0;     // of the file as given
  std::int64_t ImageLength = 0;  // of the image a job programs (a container's payload)
  int CheckSum = 0;        // that image's 16-bit sum, as the job compares it
  std::int64_t Blocks = 0;
};

// "usb-host" or "osd", the target's key in events and records.
QString TargetKey(TTarget target);

// Checks the file the way the job will take it: it exists, is a regular
// readable file, is not empty and not too large, and a container (.28, .usb,
// .osd) is one the target accepts. True with `file` filled; false with the
// reason naming the file in error.
bool CheckFirmwareFile(TTarget target, const std::string& path, TFirmwareFile& file, std::string& error);

// {"usb-host": {"path", "sha256", "image_length", "checksum"}, "osd": ...}
QJsonObject FilesJson(const std::vector<TFirmwareFile>& files);
// Empty, or why `outputPath` (an events or log file, which is appended to)
// must not be used: it is one of the firmware files.
std::string OutputIsFirmware(const std::string& outputPath, const std::vector<TFirmwareFile>& files);
// Empty, or why `outputPath` must not be used: it is the input `inputPath`
// (by any name or link), described as `what` ("the recording being replayed").
std::string OutputIsInput(const std::string& outputPath, const std::string& inputPath, const std::string& what);

// The file given for a target, or null.
const TFirmwareFile* FileFor(const std::vector<TFirmwareFile>& files, TTarget target);

}  // namespace kvm::station
