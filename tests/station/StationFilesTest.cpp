// The station's firmware check and summary, and its JSON Lines files.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QCryptographicHash>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <filesystem>
#include <fstream>

#include "firmware/ContainerHeader.h"
#include "firmware/FirmwareImage.h"
#include "station/EventStream.h"
#include "station/FirmwareFiles.h"
#include "station/TraceLog.h"

namespace kvm::station {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Image(std::size_t length) {
  Bytes image(length);
  for (std::size_t i = 0; i < length; ++i) image[i] = static_cast<std::uint8_t>(i * 13 + 5);
  return image;
}

// A container of the given chip type whose payload unscrambles to `image`.
Bytes Container(const Bytes& image, std::uint16_t chipCode = 0x012C) {
  return firmware::BuildContainer(image, {chipCode, 2, 5, 0x5A});
}

void Write(const std::string& path, const Bytes& bytes) {
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                              static_cast<std::streamsize>(bytes.size()));
}

std::vector<QJsonObject> ReadLines(const std::string& path) {
  std::ifstream in(path);
  std::vector<QJsonObject> objects;
  for (std::string line; std::getline(in, line);) {
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(line), &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError) << line;
    objects.push_back(document.object());
  }
  return objects;
}

class StationFiles : public ::testing::Test {
 protected:
  std::string Path(const char* name) const { return folder_.filePath(name).toStdString(); }
  QTemporaryDir folder_;
};

TEST_F(StationFiles, AcceptedFilesAreDescribedAsTheJobProgramsThem) {
  const Bytes image = Image(1000);
  std::uint32_t sum = 0;
  for (auto byte : image) sum += byte;
  struct Case {
    const char* Name;
    Bytes Content;
    TTarget Target;
  } cases[] = {{"host.usb", Container(image), TTarget::UsbHost},
               {"osd.osd", Container(image), TTarget::Osd},
               {"plain.USB", image, TTarget::UsbHost}};  // upper case: a plain image
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    Write(Path(c.Name), c.Content);
    TFirmwareFile file;
    std::string error;
    ASSERT_TRUE(CheckFirmwareFile(c.Target, Path(c.Name), file, error)) << error;
    const QByteArray raw(reinterpret_cast<const char*>(c.Content.data()), static_cast<qsizetype>(c.Content.size()));
    EXPECT_EQ(file.Sha256, QCryptographicHash::hash(raw, QCryptographicHash::Sha256).toHex());
    EXPECT_EQ(file.ImageLength, 1000);
    EXPECT_EQ(file.CheckSum, static_cast<int>(sum & 0xFFFF));
    EXPECT_EQ(file.Blocks, firmware::BlockSequenceOf(1000).BlockCount());
    const QJsonObject json = FilesJson({file})[TargetKey(c.Target)].toObject();
    EXPECT_EQ(json["path"].toString().toStdString(), Path(c.Name));
    EXPECT_EQ(json["sha256"].toString(), file.Sha256);
    EXPECT_EQ(json["image_length"].toInt(), 1000);
    EXPECT_EQ(json["checksum"].toInt(), file.CheckSum);
  }
}

TEST_F(StationFiles, RefusedFilesNameTheFileAndTheReason) {
  Write(Path("empty.bin"), {});
  Write(Path("short.usb"), Bytes(10, 1));
  Write(Path("chip56.usb"), Container(Image(100), 0x0038));
  Write(Path("unknown.osd"), Container(Image(100), 0x0099));
  std::filesystem::create_directory(Path("folder.bin"));
  Write(Path("huge.bin"), {1});
  std::filesystem::resize_file(Path("huge.bin"), firmware::MaxImageLength + 1);
  Write(Path("locked.bin"), Image(100));
  ::chmod(Path("locked.bin").c_str(), 0);
  const bool root = ::geteuid() == 0;

  struct Case {
    const char* Name;
    const char* Reason;
  } cases[] = {{"missing.bin", "No such file or directory"},
               {"empty.bin", "Firmware file is empty."},
               {"short.usb", "Invalid firmware container."},
               {"chip56.usb", "Chip type does not match the target."},
               {"unknown.osd", "Unknown chip type."},
               {"folder.bin", "not a regular file"},
               {"huge.bin", "Firmware file is too large."},
               {"locked.bin", "Permission denied"}};
  for (const Case& c : cases) {
    if (root && std::string(c.Name) == "locked.bin") continue;
    SCOPED_TRACE(c.Name);
    TFirmwareFile file;
    std::string error;
    EXPECT_FALSE(CheckFirmwareFile(TTarget::UsbHost, Path(c.Name), file, error));
    EXPECT_NE(error.find(Path(c.Name)), std::string::npos) << error;
    EXPECT_NE(error.find(c.Reason), std::string::npos) << error;
  }
}

TEST_F(StationFiles, EveryEventLineCarriesSchemaTimeAndEvent) {
  TEventStream events;
  std::string error;
  ASSERT_TRUE(events.Open(Path("events.jsonl"), error)) << error;
  events.Emit("station-started", {{"files", QJsonObject{}}});
  events.Emit("log", {{"text", "Program OK"}, {"colour", "blue"}});

  const QRegularExpression rfc3339(R"(^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z$)");
  const std::vector<QJsonObject> lines = ReadLines(Path("events.jsonl"));
  ASSERT_EQ(lines.size(), 2u);
  for (const QJsonObject& line : lines) {
    EXPECT_EQ(line["schema"].toInt(), 1);
    EXPECT_TRUE(rfc3339.match(line["time"].toString()).hasMatch()) << line["time"].toString().toStdString();
  }
  EXPECT_EQ(lines[0]["event"].toString(), "station-started");
  EXPECT_EQ(lines[1]["text"].toString(), "Program OK");
}

TEST_F(StationFiles, TheLogKeepsItsRecordsAcrossRunsAndIsNeverTruncated) {
  Write(Path("trace.jsonl"), {'{', '}', '\n'});  // a record of an earlier run
  for (int run = 0; run < 2; ++run) {
    TTraceLog log;
    std::string error;
    ASSERT_TRUE(log.Open(Path("trace.jsonl"), error)) << error;
    ASSERT_TRUE(log.Append({{"run", run}}, error)) << error;
  }
  const std::vector<QJsonObject> lines = ReadLines(Path("trace.jsonl"));
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_TRUE(lines[0].isEmpty());
  EXPECT_EQ(lines[1]["run"].toInt(), 0);
  EXPECT_EQ(lines[2]["run"].toInt(), 1);
  EXPECT_EQ(lines[2]["schema"].toInt(), 1);

  TTraceLog unwritable;
  std::string error;
  EXPECT_FALSE(unwritable.Open(Path("no/such/folder/trace.jsonl"), error));
  EXPECT_NE(error.find("open " + Path("no/such/folder/trace.jsonl") + ": No such file"), std::string::npos) << error;
}

}  // namespace
}  // namespace kvm::station
