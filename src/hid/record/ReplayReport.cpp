#include "hid/record/ReplayReport.h"

#include <QFile>
#include <algorithm>

#include "hid/record/RecordingJson.h"

namespace kvm::hid::record {

namespace {
// Far more than any session: a 64 KiB image is about 2,000 lines of 200 bytes.
constexpr qint64 MaxRecordingBytes = qint64{256} << 20;
}  // namespace

bool ReadRecordingFile(const std::string& path, TRecording& recording, std::string& error) {
  QFile file(QString::fromStdString(path));
  if (!file.open(QIODevice::ReadOnly)) {
    error = "replay " + path + ": " + file.errorString().toStdString();
    return false;
  }
  if (file.size() > MaxRecordingBytes) {
    error = "replay " + path + ": larger than " + std::to_string(MaxRecordingBytes >> 20) + " MiB, not a recording";
    return false;
  }
  const QByteArray text = file.read(MaxRecordingBytes + 1);
  if (!ParseRecording(text, recording, error)) {
    error = "replay " + path + ": " + error;
    return false;
  }
  if (recording.Devices.empty()) {
    error = "replay " + path + ": the recording holds no device";
    return false;
  }
  return true;
}

std::string ReplayStopText(const TReplayStop& stop, const TStepName& stepName) {
  const std::string step = stepName ? stepName(stop.Actual) : std::string();
  std::string text = "replay stopped at write " + std::to_string(stop.WriteNumber);
  if (!step.empty()) text += " (" + step + ")";
  if (stop.Expected.empty()) return text + ": the recording has no more writes, got " + SpacedHex(stop.Actual);
  text += ": expected " + SpacedHex(stop.Expected) + ", got " + SpacedHex(stop.Actual);
  const auto differ = std::mismatch(stop.Expected.begin(), stop.Expected.end(), stop.Actual.begin(), stop.Actual.end());
  const std::size_t at = static_cast<std::size_t>(differ.first - stop.Expected.begin());
  if (stop.Expected.size() != stop.Actual.size() && at == std::min(stop.Expected.size(), stop.Actual.size()))
    return text + " (" + std::to_string(stop.Expected.size()) + " bytes expected, " +
           std::to_string(stop.Actual.size()) + " written)";
  return text + " (first difference at byte " + std::to_string(at) + ")";
}

}  // namespace kvm::hid::record
