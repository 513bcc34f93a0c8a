#include "station/FirmwareFiles.h"

#include <sys/stat.h>

#include <QFileInfo>

#include <QCryptographicHash>

#include "firmware/FileExamination.h"

namespace kvm::station {

QString TargetKey(TTarget target) { return target == TTarget::UsbHost ? "usb-host" : "osd"; }

bool CheckFirmwareFile(TTarget target, const std::string& path, TFirmwareFile& file, std::string& error) {
  file = TFirmwareFile{};
  file.Target = target;
  file.Path = path;
  const firmware::TFileExamination examined = firmware::Examine(TargetCode(target), path);
  if (!examined.Accepted()) {
    error = examined.Reason;
    return false;
  }
  const QByteArray hashed(reinterpret_cast<const char*>(examined.FileBytes.data()),
                          static_cast<qsizetype>(examined.FileBytes.size()));
  file.Sha256 = QString::fromLatin1(QCryptographicHash::hash(hashed, QCryptographicHash::Sha256).toHex());
  file.FileSize = examined.FileLength;
  file.ImageLength = static_cast<std::int64_t>(examined.Image.size());
  file.CheckSum = examined.CheckSum;
  file.Blocks = examined.Blocks.BlockCount();
  return true;
}

QJsonObject FilesJson(const std::vector<TFirmwareFile>& files) {
  QJsonObject json;
  for (const TFirmwareFile& file : files)
    json.insert(TargetKey(file.Target), QJsonObject{{"path", QString::fromStdString(file.Path)},
                                                    {"sha256", file.Sha256},
                                                    {"image_length", static_cast<qint64>(file.ImageLength)},
                                                    {"checksum", file.CheckSum}});
  return json;
}

namespace {

// The file itself, whatever name or link leads to it (Windows has no inode
// numbers to compare, so there the resolved names are).
bool SameFile(const std::string& outputPath, const std::string& inputPath) {
  if (outputPath.empty() || outputPath == "-" || inputPath.empty()) return false;
  const QFileInfo output(QString::fromStdString(outputPath));
  if (!output.exists()) return false;
#ifdef _WIN32
  const QFileInfo input(QString::fromStdString(inputPath));
  return input.exists() && input.canonicalFilePath().compare(output.canonicalFilePath(), Qt::CaseInsensitive) == 0;
#else
  struct stat in {}, out {};
  return ::stat(inputPath.c_str(), &in) == 0 && ::stat(outputPath.c_str(), &out) == 0 && in.st_dev == out.st_dev &&
         in.st_ino == out.st_ino;
#endif
}

}  // namespace

std::string OutputIsFirmware(const std::string& outputPath, const std::vector<TFirmwareFile>& files) {
  for (const TFirmwareFile& file : files)
    if (SameFile(outputPath, file.Path)) return outputPath + " is the firmware file " + file.Path + ": it is not appended to";
  return {};
}

std::string OutputIsInput(const std::string& outputPath, const std::string& inputPath, const std::string& what) {
  if (!SameFile(outputPath, inputPath)) return {};
  return outputPath + " is " + what + " " + inputPath + ": it is not appended to";
}

const TFirmwareFile* FileFor(const std::vector<TFirmwareFile>& files, TTarget target) {
  for (const TFirmwareFile& file : files)
    if (file.Target == target) return &file;
  return nullptr;
}

}  // namespace kvm::station
