// info, scramble, unscramble and the command line itself, run as a process.
#include <gtest/gtest.h>

#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include "CliProcess.h"
#include "cli/CommandSupport.h"

namespace kvm::test {
namespace {

using cli::ReadWholeFile;
using cli::WriteWholeFile;

class CliFiles : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(folder_.isValid()); }

  QString Path(const char* name) const { return folder_.filePath(name); }

  QString WriteImage(const char* name, std::size_t length, std::uint8_t seed = 3) {
    image_.resize(length);
    for (std::size_t i = 0; i < length; ++i) image_[i] = static_cast<std::uint8_t>(seed + i * 13 + (i >> 8));
    std::string error;
    EXPECT_TRUE(WriteWholeFile(Path(name).toStdString(), image_, error)) << error;
    return Path(name);
  }

  int ImageSum() const {
    int sum = 0;
    for (const auto byte : image_) sum = (sum + byte) & 0xFFFF;
    return sum;
  }

  std::vector<std::uint8_t> Read(const QString& path) const {
    std::vector<std::uint8_t> data;
    std::string error;
    EXPECT_TRUE(ReadWholeFile(path.toStdString(), data, error)) << error;
    return data;
  }

  static QJsonObject Json(const TCliResult& result) {
    QJsonParseError error{};
    const auto document = QJsonDocument::fromJson(QByteArray::fromStdString(result.Out), &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError) << result.Out;
    return document.object();
  }

  QTemporaryDir folder_;
  std::vector<std::uint8_t> image_;
};

TEST_F(CliFiles, VersionHelpAndUsageErrors) {
  EXPECT_EQ(RunCli({"--version"}).Out, "kvmflash-cli 1.0\n");
  const TCliResult help = RunCli({"program", "--help"});
  EXPECT_EQ(help.ExitCode, 0);
  EXPECT_NE(help.Out.find("KVMFLASH_TICK_MS"), std::string::npos);

  const QString image = WriteImage("a.bin", 10);
  const std::vector<QStringList> wrong{
      {},
      {"flash"},
      {"info"},
      {"info", image, "--bogus"},
      {"info", image, "--target", "keyboard"},
      {"program"},
      {"program", "--serial", "X"},
      {"program", "--usb-host", image, "--wait", "soon"},
      {"unscramble", image},
      {"scramble", image, Path("b.usb"), "--key-offset", "12"},
      {"scramble", image, Path("b.usb"), "--step", "0"},
      {"scramble", image, Path("b.usb"), "--key-byte", "256"},
  };
  for (const QStringList& arguments : wrong) {
    const TCliResult result = RunCli(arguments);
    EXPECT_EQ(result.ExitCode, 2) << arguments.join(' ').toStdString() << "\n" << result.Err;
    EXPECT_FALSE(result.Err.empty()) << arguments.join(' ').toStdString();
  }

  // What is wrong, in words, with what would be right.
  const std::string commands = "the commands are: list, program, station, info, unscramble, scramble, doctor";
  const std::vector<std::pair<QStringList, std::string>> worded{
      {{}, "no command given; " + commands},
      {{"flash"}, "unknown command 'flash'; " + commands},
      {{"info", image, "--target", "keyboard"}, "--target: the target is usb-host or osd, not 'keyboard'"},
      {{"scramble", image, Path("b.usb"), "--key-byte", "abc"},
       "--key-byte: a number from 0 to 255 is needed (decimal, or hexadecimal with 0x), not 'abc'"},
      {{"program", "--osd", image, "--wait", "soon"},
       "--wait: a number of seconds from 0 to 86400, or forever, is needed, not 'soon'"},
  };
  for (const auto& [arguments, message] : worded) {
    const TCliResult result = RunCli(arguments);
    EXPECT_EQ(result.Err.rfind("kvmflash-cli: " + message, 0), 0u) << result.Err;
  }
}

TEST_F(CliFiles, WithJsonErrorsAreJsonOnStandardOutput) {
  const std::vector<std::tuple<QStringList, int, std::string>> cases{
      {{"info", Path("missing.bin"), "--json"}, 1, Path("missing.bin").toStdString() + ": Cannot read the firmware file. (open: No such file"},
      {{"info", Path("missing.bin"), "--json", "--target", "keyboard"}, 2, "--target: the target is usb-host or osd"},
      {{"list", "--json", "--bogus"}, 2, "--bogus"},
  };
  for (const auto& [arguments, exitCode, error] : cases) {
    const TCliResult result = RunCli(arguments);
    EXPECT_EQ(result.ExitCode, exitCode) << arguments.join(' ').toStdString();
    const QJsonObject json = Json(result);
    EXPECT_EQ(json["exit_code"].toInteger(), exitCode);
    EXPECT_NE(json["error"].toString().toStdString().find(error), std::string::npos) << result.Out;
  }
}

TEST_F(CliFiles, ScrambleInfoUnscrambleRoundTrip) {
  const QString image = WriteImage("image.bin", 110);
  const QString container = Path("fw.usb");
  ASSERT_EQ(RunCli({"scramble", image, container, "--key-offset", "3", "--step", "5", "--key-byte", "0x5A"}).ExitCode,
            0);
  EXPECT_NE(Read(container), image_);

  const TCliResult info = RunCli({"info", container, "--json"});
  ASSERT_EQ(info.ExitCode, 0) << info.Err;
  const QJsonObject json = Json(info);
  EXPECT_EQ(json["kind"].toString(), "container");
  EXPECT_EQ(json["chip_type"].toInteger(), 300);
  EXPECT_EQ(json["key_offset"].toInteger(), 3);
  EXPECT_EQ(json["step_length"].toInteger(), 5);
  EXPECT_EQ(json["key_byte"].toInteger(), 0x5A);
  EXPECT_EQ(json["payload_length"].toInteger(), 110);
  EXPECT_TRUE(json["accepted"].toBool());
  EXPECT_FALSE(json.contains("error"));
  EXPECT_EQ(json["path"].toString(), container);
  EXPECT_EQ(json["image_length"].toInteger(), 110);
  EXPECT_EQ(json["length_bytes"].toString(), "0000006E");
  EXPECT_EQ(json["checksum"].toInteger(), ImageSum());
  EXPECT_EQ(json["blocks"].toInteger(), 3);
  EXPECT_EQ(json["last_block_size"].toInteger(), 6);

  const QString output = Path("payload.bin");
  const TCliResult unscrambled = RunCli({"unscramble", container, output, "--target", "osd"});
  ASSERT_EQ(unscrambled.ExitCode, 0) << unscrambled.Err;
  EXPECT_EQ(Read(output), image_);
}

TEST_F(CliFiles, PlainImagesHaveNoContainerFields) {
  // ".USB" differs from ".usb" in case, so the file goes out byte for byte.
  const QString image = WriteImage("FW.USB", 104);
  const TCliResult info = RunCli({"info", image, "--json"});
  ASSERT_EQ(info.ExitCode, 0) << info.Err;
  const QJsonObject json = Json(info);
  EXPECT_EQ(json["kind"].toString(), "plain");
  for (const char* key : {"chip_type", "key_offset", "step_length", "key_byte", "payload_length"})
    EXPECT_TRUE(json[key].isNull()) << key;
  EXPECT_TRUE(json["accepted"].toBool());
  EXPECT_EQ(json["blocks"].toInteger(), 2);
  EXPECT_EQ(json["last_block_size"].toInteger(), 56);
  EXPECT_EQ(json["checksum"].toInteger(), ImageSum());

  const QString tiny = WriteImage("tiny.hex", 20);
  const QJsonObject small = Json(RunCli({"info", tiny, "--json"}));
  EXPECT_EQ(small["blocks"].toInteger(), 1);
  EXPECT_EQ(small["last_block_size"].toInteger(), 52);
  EXPECT_EQ(small["length_bytes"].toString(), "00000014");
}

TEST_F(CliFiles, InfoTextNamesTheFields) {
  const QString image = WriteImage("image.bin", 300);
  const QString container = Path("fw.osd");
  ASSERT_EQ(RunCli({"scramble", image, container}).ExitCode, 0);
  const TCliResult info = RunCli({"info", container, "--target", "osd"});
  ASSERT_EQ(info.ExitCode, 0) << info.Err;
  char checksum[8];
  std::snprintf(checksum, sizeof checksum, "%04X", static_cast<unsigned>(ImageSum()));
  for (const std::string& expected :
       std::vector<std::string>{"scrambled container", "300 (0x012C)", "OSD: accepted", "300 bytes (length bytes 00 00 01 2C)",
        std::string("Checksum:        ") + checksum, "Blocks:          6, the last of 28 bytes"})
    EXPECT_NE(info.Out.find(expected), std::string::npos) << expected << "\n" << info.Out;
}

TEST_F(CliFiles, RefusedContainersExitWithOneAndWriteNothing) {
  const QString image = WriteImage("image.bin", 64);
  const QString container = Path("old.28");
  ASSERT_EQ(RunCli({"scramble", image, container, "--chip-type", "56"}).ExitCode, 0);

  const TCliResult info = RunCli({"info", container, "--json"});
  EXPECT_EQ(info.ExitCode, 1);
  const QJsonObject json = Json(info);
  EXPECT_EQ(json["chip_type"].toInteger(), 56);
  EXPECT_FALSE(json["accepted"].toBool());
  EXPECT_EQ(json["error"].toString(),
            container + ": Chip type does not match the target. (chip type 56; the USB Host target takes only chip type 300)");
  EXPECT_EQ(json["exit_code"].toInteger(), 1);
  EXPECT_EQ(json["path"].toString(), container);
  EXPECT_TRUE(json["image_length"].isNull());
  EXPECT_TRUE(json["checksum"].isNull());

  const QString output = Path("never.bin");
  const TCliResult unscrambled = RunCli({"unscramble", container, output});
  EXPECT_EQ(unscrambled.ExitCode, 1);
  EXPECT_NE(unscrambled.Err.find("chip type 56"), std::string::npos) << unscrambled.Err;
  EXPECT_FALSE(QFile::exists(output));

  // A key byte past the header: the header is shown, the reason named.
  std::vector<std::uint8_t> badKey(40, 0);
  badKey[1] = 0x2C;
  badKey[0] = 0x01;
  badKey[2] = 0x0E;
  std::string error;
  ASSERT_TRUE(WriteWholeFile(Path("key.usb").toStdString(), badKey, error));
  const QJsonObject key = Json(RunCli({"info", Path("key.usb"), "--json"}));
  EXPECT_EQ(key["key_offset"].toInteger(), 14);
  EXPECT_TRUE(key["key_byte"].isNull());
  EXPECT_NE(key["error"].toString().indexOf("key offset 14"), -1);

  ASSERT_TRUE(WriteWholeFile(Path("short.usb").toStdString(), {0x01, 0x2C, 0, 1}, error));
  const QJsonObject shortOne = Json(RunCli({"info", Path("short.usb"), "--json"}));
  EXPECT_TRUE(shortOne["chip_type"].isNull());
  EXPECT_NE(shortOne["error"].toString().indexOf("shorter than its 16-byte header"), -1);
}

TEST_F(CliFiles, UnreadableAndEmptyFilesFailWithTheReason) {
  const TCliResult missing = RunCli({"info", Path("missing.bin")});
  EXPECT_EQ(missing.ExitCode, 1);
  EXPECT_NE(missing.Err.find("No such file or directory"), std::string::npos) << missing.Err;

  const QString empty = WriteImage("empty.bin", 0);
  EXPECT_EQ(RunCli({"scramble", empty, Path("empty.usb")}).ExitCode, 1);
  EXPECT_FALSE(QFile::exists(Path("empty.usb")));
  const TCliResult info = RunCli({"info", empty, "--json"});
  EXPECT_EQ(info.ExitCode, 1);
  EXPECT_FALSE(Json(info)["accepted"].toBool());

  const TCliResult folder = RunCli({"scramble", WriteImage("x.bin", 5), folder_.path()});
  EXPECT_EQ(folder.ExitCode, 1);
  EXPECT_FALSE(folder.Err.empty());

  // A container that a job would program byte for byte is worth a warning.
  const TCliResult plainName = RunCli({"scramble", WriteImage("i.bin", 50), Path("c.bin")});
  EXPECT_EQ(plainName.ExitCode, 0);
  EXPECT_NE(plainName.Err.find("plain image"), std::string::npos) << plainName.Err;
}

}  // namespace
}  // namespace kvm::test
