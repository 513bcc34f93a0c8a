#include "station/FirmwareFiles.h"

#include <sys/stat.h>

#include <QFileInfo>

#include <QCryptographicHash>

#include "firmware/Container.h"
#include "firmware/FirmwareImage.h"
#include "firmware/ReadOnlyFile.h"

namespace kvm::station {

namespace {

using namespace firmware;

// "<what the file operation ran into> (<result text>)", or the file and the
// result text where the operation recorded nothing.
std::string Refusal(int result, const std::string& path, std::string detail) {
  if (detail.empty()) detail = LastImageErrorDetail();
  const std::string text = ImageResultText(result);
  return detail.empty() ? path + ": " + text : detail + " (" + text + ")";
}

// The whole file, after its length was judged. ImageOk or FileUnreadable,
// with what went wrong in detail when the file operation did not record it.
int ReadAll(const std::string& path, std::int64_t expected, std::vector<std::uint8_t>& bytes, std::string& detail) {
  int fd = -1;
  std::int64_t size = 0;
  if (const int opened = detail::OpenImageFile(path, fd, size); opened != ImageOk) return opened;
  detail::TFileCloser closer(fd);
  bytes.resize(static_cast<std::size_t>(size));
  if (size != expected || detail::ReadUpTo(fd, path, bytes.data(), size) != size) {
    if (LastImageErrorDetail().empty()) detail = path + " changed while it was checked";
    return FileUnreadable;
  }
  return ImageOk;
}

}  // namespace

QString TargetKey(TTarget target) { return target == TTarget::UsbHost ? "usb-host" : "osd"; }

bool CheckFirmwareFile(TTarget target, const std::string& path, TFirmwareFile& file, std::string& error) {
  file = TFirmwareFile{};
  file.Target = target;
  file.Path = path;
  int fd = -1;
  std::int64_t size = 0;
  int result = detail::OpenImageFile(path, fd, size);
  detail::CloseFile(fd);
  std::vector<std::uint8_t> raw;
  std::vector<std::uint8_t> image;
  std::string reason;
  if (result == ImageOk && IsContainerName(path)) {
    result = detail::ReadUnscrambledPayload(TargetCode(target), path, image);
    if (result == ImageOk) result = ReadAll(path, size, raw, reason);
  } else if (result == ImageOk) {
    // Judged before it is read, so a huge file is never taken into memory.
    result = CheckImageLength(size);
    if (result != ImageOk) reason = path + " holds " + std::to_string(size) + " bytes";
    if (result == ImageOk) result = ReadAll(path, size, raw, reason);
    image = raw;
  }
  if (result != ImageOk) {
    error = Refusal(result, path, reason);
    return false;
  }
  const QByteArray hashed(reinterpret_cast<const char*>(raw.data()), static_cast<qsizetype>(raw.size()));
  file.Sha256 = QString::fromLatin1(QCryptographicHash::hash(hashed, QCryptographicHash::Sha256).toHex());
  file.FileSize = static_cast<std::int64_t>(raw.size());
  file.ImageLength = static_cast<std::int64_t>(image.size());
  std::uint32_t sum = 0;
  for (const std::uint8_t byte : image) sum += byte;
  file.CheckSum = static_cast<int>(sum & 0xFFFFu);
  file.Blocks = BlockSequenceOf(file.ImageLength).BlockCount();
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
