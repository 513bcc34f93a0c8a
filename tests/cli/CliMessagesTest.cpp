// What the command line says: one text per refused file whatever the command,
// usage errors in words, names that cannot forge lines, output options that
// name themselves. Run as a process, no device needed.
#include <gtest/gtest.h>

#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include "CliProcess.h"
#include "cli/CommandSupport.h"
#include "firmware/ContainerHeader.h"

namespace kvm::test {
namespace {

class CliMessages : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(folder_.isValid()); }

  std::string Write(const std::string& name, const std::vector<std::uint8_t>& bytes) {
    const std::string path = folder_.filePath(QString::fromStdString(name)).toStdString();
    std::string error;
    EXPECT_TRUE(cli::WriteWholeFile(path, bytes, error)) << error;
    return path;
  }
  static std::vector<std::uint8_t> Container(std::size_t length, int chipType) {
    firmware::TScrambleKey key;
    key.ChipType = chipType;
    return firmware::BuildContainer(std::vector<std::uint8_t>(length, 0x11), key);
  }
  static bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

  QTemporaryDir folder_;
};

TEST_F(CliMessages, EveryCommandRefusesAFileInTheSameWords) {
  struct TCase {
    std::string Name;
    std::vector<std::uint8_t> Bytes;
    std::string Reason;  // after "<path>: "
  };
  std::vector<std::uint8_t> unknown = Container(40, 300);
  unknown[0] = 0x4B;
  unknown[1] = 0x56;
  const std::vector<TCase> cases{
      {"empty.bin", {}, "Firmware file is empty."},
      {"big.bin", std::vector<std::uint8_t>(3670009, 1),
       "Firmware file is too large. (3670009 bytes; at most 3670008 fit in 65536 blocks)"},
      {"c28.28", Container(40, 28),
       "Chip type does not match the target. (chip type 28; the USB Host target takes only chip type 300)"},
      {"kv.usb", unknown, "Unknown chip type. (its header gives chip type 0x4B56; known are 28, 56 and 300)"},
      {"short.usb", {0x01, 0x2C, 0, 1}, "Invalid firmware container. (the file is shorter than its 16-byte header)"},
      {"hollow.usb", Container(0, 300), "Firmware file is empty. (the container carries no payload)"},
  };
  for (const TCase& file : cases) {
    const std::string path = Write(file.Name, file.Bytes);
    const std::string line = "kvmflash-cli: " + path + ": " + file.Reason + "\n";
    const QString arg = QString::fromStdString(path);
    std::vector<QStringList> commands{{"info", arg}, {"program", "--usb-host", arg, "--wait", "0"},
                                      {"station", "--usb-host", arg, "--idle-exit", "0.01"}};
    if (file.Name.find(".bin") == std::string::npos)
      commands.push_back({"unscramble", arg, folder_.filePath("out.bin")});
    for (const QStringList& command : commands) {
      const TCliResult result = RunCli(command);
      EXPECT_EQ(result.ExitCode, 1) << command.join(' ').toStdString();
      EXPECT_EQ(result.Err, line) << command.join(' ').toStdString();
    }
    // A refused file has no plan to show.
    EXPECT_FALSE(Has(RunCli({"info", arg}).Out, "Blocks:")) << file.Name;
    const auto json = QJsonDocument::fromJson(QByteArray::fromStdString(RunCli({"info", arg, "--json"}).Out)).object();
    EXPECT_EQ(json["error"].toString().toStdString(), path + ": " + file.Reason);
    EXPECT_EQ(json["path"].toString().toStdString(), path);
    EXPECT_EQ(json["exit_code"].toInt(), 1);
  }
  EXPECT_FALSE(QFile::exists(folder_.filePath("out.bin")));
}

TEST_F(CliMessages, FileCommandsSayWhatTheirResultIsGoodFor) {
  const std::string plain = Write("plain.bin", std::vector<std::uint8_t>(100, 7));
  const QString out = folder_.filePath("c.28");
  const std::vector<std::tuple<QStringList, int, std::string>> cases{
      {{"unscramble", QString::fromStdString(plain), folder_.filePath("o.bin")}, 1,
       plain + ": the name makes it a plain image (it does not end in .28, .usb or .osd), which a job programs byte "
               "for byte: there is nothing to unscramble"},
      {{"scramble", QString::fromStdString(plain), out, "--chip-type", "28"}, 0,
       "warning: no target accepts chip type 28 (both take only 300): every job would refuse " + out.toStdString()},
  };
  for (const auto& [arguments, exitCode, message] : cases) {
    const TCliResult result = RunCli(arguments);
    EXPECT_EQ(result.ExitCode, exitCode) << arguments.join(' ').toStdString();
    EXPECT_TRUE(Has(result.Err, "kvmflash-cli: " + message)) << result.Err;
  }
}

TEST_F(CliMessages, UsageErrorsAreWordsAndPointAtTheCommandsHelp) {
  const QString file = QString::fromStdString(Write("fw.bin", std::vector<std::uint8_t>(60, 1)));
  const std::vector<std::pair<QStringList, std::string>> cases{
      {{"program", "--usb-host", file, "--serial", "A", "--serial", "B"},
       "--serial is given 2 times; give it once (see kvmflash-cli program --help)"},
      {{"station", "--usb-host", file, "--idle-exit", "-1"},
       "--idle-exit: a number of seconds from 0.001 to 604800 is needed, not '-1' (see kvmflash-cli station --help)"},
      {{"station", "--usb-host", file, "--units", "0"},
       "--units: a number from 1 to 1000000 is needed (decimal, or hexadecimal with 0x), not '0' (see kvmflash-cli "
       "station --help)"},
      {{"station", "--usb-host", file, "--port", "4"},
       "--port: '4' is not a USB port; a port is written BUS-PORT[.PORT...], as in 1-4 or 1-2.3 (see kvmflash-cli "
       "station --help)"},
      {{"program", "--usb-host"}, "--usb-host needs a value (see kvmflash-cli program --help)"},
      {{"info"}, "the argument FILE is missing (see kvmflash-cli info --help)"},
      {{"list", "--bogus"}, "not an option or argument here: --bogus (see kvmflash-cli list --help)"},
      {{"program", "--usb-host", file, "--replay", "r", "--record", "w"},
       "--record cannot be given together with --replay (see kvmflash-cli program --help)"},
      {{"scramble", file}, "the argument OUT is missing (see kvmflash-cli scramble --help)"},
  };
  for (const auto& [arguments, message] : cases) {
    const TCliResult result = RunCli(arguments);
    EXPECT_EQ(result.ExitCode, 2) << arguments.join(' ').toStdString();
    EXPECT_EQ(result.Err, "kvmflash-cli: " + message + "\n");
  }
  // A port of the right form is taken (the run then ends on its idle time).
  EXPECT_NE(RunCli({"station", "--usb-host", file, "--port", "1-2.3", "--idle-exit", "0.01"}).ExitCode, 2);
}

TEST_F(CliMessages, ControlCharactersInNamesAreWrittenAsEscapes) {
  const std::string evil = Write("evil\nProgram OK\nname.bin", {});
  const QString arg = QString::fromStdString(evil);
  const std::string shown = folder_.path().toStdString() + "/evil\\nProgram OK\\nname.bin";
  for (const QStringList& command : {QStringList{"info", arg}, QStringList{"program", "--osd", arg},
                                     QStringList{"station", "--osd", arg}}) {
    const TCliResult result = RunCli(command);
    for (const std::string& stream : {result.Out, result.Err}) {
      EXPECT_FALSE(Has(stream, "\nProgram OK")) << stream;
      EXPECT_FALSE(Has(stream, "Program OK\n")) << stream;
    }
    EXPECT_TRUE(Has(result.Err, shown)) << result.Err;
  }
  // JSON keeps the name as it is, in JSON's own escapes.
  const TCliResult json = RunCli({"info", arg, "--json"});
  EXPECT_TRUE(Has(json.Out, "evil\\nProgram OK\\nname.bin")) << json.Out;
  EXPECT_EQ(QJsonDocument::fromJson(QByteArray::fromStdString(json.Out)).object()["path"].toString().toStdString(), evil);
}

TEST_F(CliMessages, OutputOptionsNameTheOptionAndThePath) {
  const QString file = QString::fromStdString(Write("fw.bin", std::vector<std::uint8_t>(60, 1)));
  const QString logs = folder_.filePath("logs");
  ASSERT_TRUE(QDir().mkdir(logs));
  const QString nowhere = folder_.filePath("none/x.jsonl");
  for (const char* command : {"program", "station"}) {
    const std::vector<std::pair<QStringList, std::string>> cases{
        {{"--log", "-"}, "--log -: this output goes to a file, not to standard output; give a file name"},
        {{"--log", logs}, "--log " + logs.toStdString() + ": is a folder"},
        {{"--events", logs}, "--events " + logs.toStdString() + ": is a folder"},
        {{"--log", nowhere},
         "--log " + nowhere.toStdString() + ": the folder " + folder_.filePath("none").toStdString() + " does not exist"},
    };
    for (const auto& [option, message] : cases) {
      const TCliResult result = RunCli(QStringList{command, "--usb-host", file} + option);
      EXPECT_EQ(result.ExitCode, 1) << command << " " << option.join(' ').toStdString();
      EXPECT_EQ(result.Err, "kvmflash-cli: " + message + "\n");
    }
  }
  EXPECT_FALSE(QFile::exists("-"));
}

}  // namespace
}  // namespace kvm::test
