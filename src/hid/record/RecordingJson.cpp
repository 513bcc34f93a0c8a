#include "hid/record/RecordingJson.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QString>
#include <cctype>
#include <cmath>

namespace kvm::hid::record {

namespace {

// hidraw takes and gives at most this much in one report.
constexpr qsizetype MaxReportBytes = 4096;
constexpr qsizetype MaxDescriptorBytes = 4096;
constexpr std::int64_t MaxDevices = 1024;

QString Hex(const std::vector<std::uint8_t>& bytes) {
  return QString::fromLatin1(
      QByteArray(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size())).toHex());
}

QByteArray Compact(const QJsonObject& object) { return QJsonDocument(object).toJson(QJsonDocument::Compact); }

const char* OpName(const TRecordedEvent& event) {
  switch (event.Kind) {
    case TEventKind::Write: return "write";
    case TEventKind::Read: return "read";
    case TEventKind::Cancel: return "cancel";
    case TEventKind::Unplug: return "unplug";
  }
  return "?";
}

// Reads fields of one line; the first failure is kept with the field's name.
class TFieldReader {
 public:
  explicit TFieldReader(const QJsonObject& object) : object_(object) {}

  bool Has(const char* key) const { return object_.contains(QLatin1String(key)); }

  std::int64_t Int(const char* key, std::int64_t min, std::int64_t max) {
    const QJsonValue value = object_.value(QLatin1String(key));
    const double number = value.toDouble(std::nan(""));
    if (!value.isDouble() || std::floor(number) != number || number < static_cast<double>(min) ||
        number > static_cast<double>(max)) {
      Fail(std::string("\"") + key + "\" must be a whole number from " + std::to_string(min) + " to " +
           std::to_string(max));
      return min;
    }
    return static_cast<std::int64_t>(number);
  }

  std::string Text(const char* key) {
    const QJsonValue value = object_.value(QLatin1String(key));
    if (!value.isString()) {
      Fail(std::string("\"") + key + "\" must be a text");
      return {};
    }
    return value.toString().toStdString();
  }

  std::optional<std::u16string> OptionalText(const char* key) {
    if (!Has(key)) return std::nullopt;
    const QJsonValue value = object_.value(QLatin1String(key));
    if (!value.isString()) {
      Fail(std::string("\"") + key + "\" must be a text");
      return std::nullopt;
    }
    return value.toString().toStdU16String();
  }

  std::vector<std::uint8_t> Bytes(const char* key, qsizetype maxBytes) {
    const QJsonValue value = object_.value(QLatin1String(key));
    const QString text = value.toString();
    bool hexDigits = value.isString() && text.size() % 2 == 0;
    for (const QChar c : text) hexDigits = hexDigits && std::isxdigit(c.unicode() < 128 ? c.unicode() : 'x') != 0;
    if (!hexDigits || text.size() / 2 > maxBytes) {
      Fail(std::string("\"") + key + "\" must be hex digits in pairs, at most " + std::to_string(maxBytes) +
           " bytes");
      return {};
    }
    const QByteArray bytes = QByteArray::fromHex(text.toLatin1());
    return {bytes.begin(), bytes.end()};
  }

  QJsonObject Object(const char* key) {
    const QJsonValue value = object_.value(QLatin1String(key));
    if (!value.isObject()) Fail(std::string("\"") + key + "\" must be an object");
    return value.toObject();
  }

  void Fail(std::string message) {
    if (error_.empty()) error_ = std::move(message);
  }
  const std::string& Error() const { return error_; }

 private:
  const QJsonObject& object_;
  std::string error_;
};

bool ReadHeader(const QJsonObject& object, TRecording& recording, std::string& error) {
  TFieldReader fields(object);
  if (object.value("format").toString() != QLatin1String(RecordingFormatName)) {
    error = std::string("not a kvmflash recording (the first line has no \"format\":\"") + RecordingFormatName + "\")";
    return false;
  }
  const std::int64_t version = fields.Int("version", 1, 1'000'000);
  if (fields.Error().empty() && version != RecordingFormatVersion) {
    error = "recording format version " + std::to_string(version) + " (this program reads version " +
            std::to_string(RecordingFormatVersion) + ")";
    return false;
  }
  if (fields.Has("firmware")) {
    const QJsonValue names = object.value("firmware");
    if (!names.isArray()) fields.Fail("\"firmware\" must be a list of file names");
    for (const QJsonValue name : names.toArray()) {
      if (!name.isString()) fields.Fail("\"firmware\" must be a list of file names");
      recording.Firmware.push_back(name.toString().toStdString());
    }
  }
  error = fields.Error();
  return error.empty();
}

bool ReadDevice(const QJsonObject& object, TRecording& recording, std::string& error) {
  TFieldReader fields(object);
  const std::int64_t index = fields.Int("device", 0, MaxDevices - 1);
  if (fields.Error().empty() && index != static_cast<std::int64_t>(recording.Devices.size()))
    fields.Fail("device " + std::to_string(index) + " out of order (expected device " +
                std::to_string(recording.Devices.size()) + ")");
  TRecordedIdentity identity;
  if (fields.Has("vendor") || fields.Has("product") || fields.Has("version")) {
    THidAttributes attributes;
    attributes.VendorID = static_cast<std::uint16_t>(fields.Int("vendor", 0, 0xFFFF));
    attributes.ProductID = static_cast<std::uint16_t>(fields.Int("product", 0, 0xFFFF));
    attributes.VersionNumber = static_cast<std::uint16_t>(fields.Int("version", 0, 0xFFFF));
    identity.Attributes = attributes;
  }
  identity.Manufacturer = fields.OptionalText("manufacturer");
  identity.Product = fields.OptionalText("product_name");
  identity.SerialNumber = fields.OptionalText("serial");
  if (fields.Has("descriptor")) identity.ReportDescriptor = fields.Bytes("descriptor", MaxDescriptorBytes);
  if (fields.Has("caps")) {
    const QJsonObject capsObject = fields.Object("caps");
    TFieldReader capsFields(capsObject);
    THidCaps caps;
    caps.Usage = static_cast<std::uint16_t>(capsFields.Int("usage", 0, 0xFFFF));
    caps.UsagePage = static_cast<std::uint16_t>(capsFields.Int("usage_page", 0, 0xFFFF));
    caps.InputReportByteLength = static_cast<std::uint16_t>(capsFields.Int("input", 0, 0xFFFF));
    caps.OutputReportByteLength = static_cast<std::uint16_t>(capsFields.Int("output", 0, 0xFFFF));
    caps.FeatureReportByteLength = static_cast<std::uint16_t>(capsFields.Int("feature", 0, 0xFFFF));
    caps.NumberLinkCollectionNodes = static_cast<std::uint16_t>(capsFields.Int("link_nodes", 0, 0xFFFF));
    if (!capsFields.Error().empty()) fields.Fail("caps: " + capsFields.Error());
    identity.Caps = caps;
  }
  if (fields.Has("port")) identity.PortPath = fields.Text("port");
  error = fields.Error();
  if (!error.empty()) return false;
  recording.Devices.push_back({std::move(identity), {}});
  return true;
}

bool ReadEvent(const QJsonObject& object, TRecording& recording, std::string& error) {
  TFieldReader fields(object);
  TRecordedEvent event;
  event.TimeUs = fields.Int("t", 0, std::int64_t{1} << 52);
  const std::int64_t device = fields.Int("dev", 0, MaxDevices - 1);
  const std::string op = fields.Text("op");
  if (!fields.Error().empty()) {
    error = fields.Error();
    return false;
  }
  if (device >= static_cast<std::int64_t>(recording.Devices.size())) {
    error = "event of device " + std::to_string(device) + " before its device line";
    return false;
  }
  event.Device = static_cast<std::uint32_t>(device);
  std::vector<TRecordedEvent>& events = recording.Devices[event.Device].Events;
  if (!events.empty() && event.TimeUs < events.back().TimeUs) {
    error = "time " + std::to_string(event.TimeUs) + " us is earlier than the event before it";
    return false;
  }
  if (op == "write") {
    event.Kind = TEventKind::Write;
    event.Bytes = fields.Bytes("bytes", MaxReportBytes);
    event.Ok = !fields.Has("error");
    if (event.Ok)
      event.Written = static_cast<std::size_t>(fields.Int("written", 0, MaxReportBytes));
    else
      event.Error = static_cast<std::uint32_t>(fields.Int("error", 0, 0xFFFFFFFF));
  } else if (op == "read") {
    event.Kind = TEventKind::Read;
    if (fields.Has("bytes")) {
      event.Bytes = fields.Bytes("bytes", MaxReportBytes);
      if (fields.Error().empty() && event.Bytes.empty()) fields.Fail("a read report has no bytes");
    } else {
      const std::string status = fields.Text("status");
      if (status == "gone")
        event.Status = platform::TReadStatus::Gone;
      else if (status == "error")
        event.Status = platform::TReadStatus::Error;
      else
        fields.Fail("\"status\" of a failed read must be \"gone\" or \"error\"");
      event.Error = static_cast<std::uint32_t>(fields.Int("error", 0, 0xFFFFFFFF));
    }
  } else if (op == "cancel") {
    event.Kind = TEventKind::Cancel;
  } else if (op == "unplug") {
    event.Kind = TEventKind::Unplug;
  } else {
    fields.Fail("unknown \"op\" \"" + op + "\"");
  }
  error = fields.Error();
  if (!error.empty()) return false;
  events.push_back(std::move(event));
  return true;
}

}  // namespace

QByteArray HeaderLine(const std::vector<std::string>& firmware) {
  QJsonArray names;
  for (const std::string& name : firmware) names.append(QString::fromStdString(name));
  return Compact({{"format", RecordingFormatName}, {"version", RecordingFormatVersion}, {"firmware", names}});
}

QByteArray DeviceLine(std::uint32_t index, const TRecordedIdentity& identity) {
  QJsonObject object{{"device", static_cast<qint64>(index)}, {"port", QString::fromStdString(identity.PortPath)}};
  if (identity.Attributes) {
    object["vendor"] = identity.Attributes->VendorID;
    object["product"] = identity.Attributes->ProductID;
    object["version"] = identity.Attributes->VersionNumber;
  }
  if (identity.Manufacturer) object["manufacturer"] = QString::fromStdU16String(*identity.Manufacturer);
  if (identity.Product) object["product_name"] = QString::fromStdU16String(*identity.Product);
  if (identity.SerialNumber) object["serial"] = QString::fromStdU16String(*identity.SerialNumber);
  if (!identity.ReportDescriptor.empty()) object["descriptor"] = Hex(identity.ReportDescriptor);
  if (identity.Caps) {
    const THidCaps& caps = *identity.Caps;
    object["caps"] = QJsonObject{{"usage", caps.Usage},
                                 {"usage_page", caps.UsagePage},
                                 {"input", caps.InputReportByteLength},
                                 {"output", caps.OutputReportByteLength},
                                 {"feature", caps.FeatureReportByteLength},
                                 {"link_nodes", caps.NumberLinkCollectionNodes}};
  }
  return Compact(object);
}

QByteArray EventLine(const TRecordedEvent& event) {
  QJsonObject object{{"t", static_cast<qint64>(event.TimeUs)},
                     {"dev", static_cast<qint64>(event.Device)},
                     {"op", OpName(event)}};
  switch (event.Kind) {
    case TEventKind::Write:
      object["bytes"] = Hex(event.Bytes);
      if (event.Ok)
        object["written"] = static_cast<qint64>(event.Written);
      else
        object["error"] = static_cast<qint64>(event.Error);
      break;
    case TEventKind::Read:
      if (event.Status == platform::TReadStatus::Data) {
        object["bytes"] = Hex(event.Bytes);
      } else {
        object["status"] = event.Status == platform::TReadStatus::Gone ? "gone" : "error";
        object["error"] = static_cast<qint64>(event.Error);
      }
      break;
    case TEventKind::Cancel:
    case TEventKind::Unplug: break;
  }
  return Compact(object);
}

QByteArray EndLine(std::uint64_t eventCount) { return Compact({{"end", static_cast<qint64>(eventCount)}}); }

bool ParseRecording(const QByteArray& text, TRecording& recording, std::string& error) {
  recording = TRecording{};
  if (text.trimmed().isEmpty()) {
    error = "the recording is empty";
    return false;
  }
  const QList<QByteArray> lines = text.split('\n');
  std::uint64_t events = 0;
  bool ended = false;
  for (qsizetype i = 0; i < lines.size(); ++i) {
    const QByteArray& line = lines[i];
    const std::string where = "line " + std::to_string(i + 1) + ": ";
    if (line.trimmed().isEmpty()) {
      // Only the line end of the last line may leave an empty piece.
      if (i + 1 == lines.size()) break;
      error = where + "empty line";
      return false;
    }
    if (ended) {
      error = where + "text after the end line";
      return false;
    }
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(line, &parseError);
    if (!document.isObject()) {
      error = where + "not a JSON object" +
              (parseError.error != QJsonParseError::NoError ? " (" + parseError.errorString().toStdString() + ")"
                                                            : std::string());
      return false;
    }
    const QJsonObject object = document.object();
    bool ok;
    if (i == 0) {
      ok = ReadHeader(object, recording, error);
    } else if (object.contains("device")) {
      ok = ReadDevice(object, recording, error);
    } else if (object.contains("end")) {
      TFieldReader fields(object);
      const std::int64_t count = fields.Int("end", 0, std::int64_t{1} << 52);
      error = fields.Error();
      if (error.empty() && static_cast<std::uint64_t>(count) != events)
        error = "the end line counts " + std::to_string(count) + " events, the recording holds " +
                std::to_string(events);
      ok = error.empty();
      ended = true;
    } else {
      ok = ReadEvent(object, recording, error);
      ++events;
    }
    if (!ok) {
      error = where + error;
      return false;
    }
  }
  if (!ended) {
    const qsizetype last = lines.back().trimmed().isEmpty() ? lines.size() - 1 : lines.size();
    error = "the recording is cut short (no end line after line " + std::to_string(last) + ")";
    return false;
  }
  return true;
}

std::string SpacedHex(const std::vector<std::uint8_t>& bytes) {
  static const char* digits = "0123456789ABCDEF";
  std::string text;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (i > 0) text += ' ';
    text += digits[bytes[i] >> 4];
    text += digits[bytes[i] & 0x0F];
  }
  return text;
}

}  // namespace kvm::hid::record
