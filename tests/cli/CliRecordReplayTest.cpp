// kvmflash-cli program --record and --replay: jobs recorded against the
// emulated programmer over umockdev replay with the same log and exit status;
// a replay that meets other firmware, and bad recordings, exit with 1; the
// recordings under tests/data/recordings replay as they were made.
#include <gtest/gtest.h>

#include <algorithm>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "CliProcess.h"
#include "EmulatedProgrammer.h"
#include "UmockdevHid.h"
#include "WaitFor.h"
#include "cli/CommandSupport.h"

namespace kvm::test {
namespace {

using emulator::TFaultAction;
using emulator::TFaultKind;
using emulator::TFaultRule;
using emulator::TProgrammerEmulator;

QProcessEnvironment Environment(const QString& tickMs = "25") {
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert("KVMFLASH_TICK_MS", tickMs);
  return environment;
}

TFaultRule Rule(std::uint8_t command, TFaultAction action, std::optional<std::uint16_t> block = std::nullopt,
                std::optional<int> occurrence = std::nullopt) {
  return {{command, {}, block, occurrence}, std::move(action)};
}

bool HasReceivedBlock(const TProgrammerEmulator& programmer, int block) {
  for (const emulator::TReceivedReport& report : programmer.Log())
    if (report.Bytes.size() > 4 && report.Bytes[2] == emulator::CmdBlockWrite &&
        (report.Bytes[3] << 8 | report.Bytes[4]) == block)
      return true;
  return false;
}

class CliRecordReplay : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(folder_.isValid());
    firmware_ = WriteFile("host.bin", Image(200, 1));
    recording_ = folder_.filePath("session.jsonl");
  }

  static std::vector<std::uint8_t> Image(std::size_t length, std::uint8_t seed) {
    std::vector<std::uint8_t> image(length);
    for (std::size_t i = 0; i < length; ++i) image[i] = static_cast<std::uint8_t>(seed + i * 7);
    return image;
  }
  QString WriteFile(const char* name, const std::vector<std::uint8_t>& bytes) {
    const QString path = folder_.filePath(name);
    std::string error;
    EXPECT_TRUE(cli::WriteWholeFile(path.toStdString(), bytes, error)) << error;
    return path;
  }
  TCliResult Replay(const QString& firmware, bool fast = true, const char* tickMs = "25") {
    QStringList arguments{"program", "--usb-host", firmware, "--replay", recording_, "--wait", "5"};
    if (fast) arguments << "--fast";
    return RunCli(arguments, 10000, Environment(tickMs));
  }

  QTemporaryDir folder_;
  QString firmware_;
  QString recording_;
};

struct TUmockdevCase {
  const char* Name;
  std::vector<TFaultRule> Rules;
  bool UnplugAtBlock2;
  int ExitCode;
  const char* TickMs = "25";
};

void PrintTo(const TUmockdevCase& c, std::ostream* out) { *out << c.Name; }

const TUmockdevCase Cases[] = {
    {"Success", {}, false, 0},
    {"RetriedBlock", {Rule(emulator::CmdBlockWrite, TFaultKind::Drop, 1, 1)}, false, 0},
    {"SilentProgrammer", {Rule(emulator::CmdEnable, TFaultKind::Silence)}, false, 1},
    {"ChecksumMismatch", {Rule(emulator::CmdCheckSum, TFaultAction::Value16(TFaultKind::WrongValue, 0x1234))}, false, 1},
    // Slow blocks, so that the test pulls the programmer out in the middle;
    // long ticks, so that the link's countdown after the unplug ends well
    // before the block's wait, in the recorded run and in the replay alike.
    {"UnplugMidJob", {Rule(emulator::CmdBlockWrite, TFaultAction::Delayed(30))}, true, 1, "100"},
};

class CliRecordReplayJobs : public CliRecordReplay, public ::testing::WithParamInterface<TUmockdevCase> {};

TEST_P(CliRecordReplayJobs, ReplayGivesTheSameLogAndExitStatus) {
  if (!TUmockdevHid::Available()) GTEST_SKIP() << "umockdev preload not active: hidraw emulation unavailable";
  const TUmockdevCase& c = GetParam();
  TCliResult recorded;
  {
    TUmockdevHid bed;
    auto programmer = std::make_shared<TProgrammerEmulator>();
    for (const TFaultRule& rule : c.Rules) programmer->AddRule(rule);
    const int id = bed.Plug(TUmockdevHid::Programmer(), ServeEmulator(programmer));
    TCliRun run({"program", "--usb-host", firmware_, "--record", recording_, "--wait", "5"}, Environment(c.TickMs));
    if (c.UnplugAtBlock2) {
      ASSERT_TRUE(WaitFor([&] { return HasReceivedBlock(*programmer, 2); }, 5000));
      bed.Unplug(id);
    }
    recorded = run.Finish(10000);
  }
  ASSERT_EQ(recorded.ExitCode, c.ExitCode) << recorded.Err;

  // No device at all now: the recording stands in for it.
  for (const bool fast : {true, false}) {
    SCOPED_TRACE(fast ? "fast" : "recorded timing");
    const TCliResult replayed = Replay(firmware_, fast, c.TickMs);
    EXPECT_EQ(replayed.ExitCode, c.ExitCode) << replayed.Err;
    // After an unplug the reader's read fails only when it is outstanding as
    // the device goes, which the system's timing decides in either run.
    auto withoutReadErrors = [](std::vector<std::string> lines) {
      lines.erase(std::remove_if(lines.begin(), lines.end(),
                                 [](const std::string& line) { return line.rfind("READ ERROR", 0) == 0; }),
                  lines.end());
      return lines;
    };
    EXPECT_EQ(withoutReadErrors(replayed.OutLines()), withoutReadErrors(recorded.OutLines())) << replayed.Err;
  }
  QFile file(recording_);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QByteArray text = file.readAll();
  EXPECT_FALSE(text.contains(folder_.path().toUtf8()));  // the firmware's name only
  EXPECT_TRUE(text.contains("\"port\":\"1-"));
}

INSTANTIATE_TEST_SUITE_P(Jobs, CliRecordReplayJobs, ::testing::ValuesIn(Cases),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST_F(CliRecordReplay, OtherFirmwareStopsTheReplayAtItsFirstDifferingBlock) {
  if (!TUmockdevHid::Available()) GTEST_SKIP() << "umockdev preload not active: hidraw emulation unavailable";
  {
    TUmockdevHid bed;
    auto programmer = std::make_shared<TProgrammerEmulator>();
    bed.Plug(TUmockdevHid::Programmer(), ServeEmulator(programmer));
    const TCliResult recorded =
        RunCli({"program", "--usb-host", firmware_, "--record", recording_, "--wait", "5"}, 10000, Environment());
    ASSERT_EQ(recorded.ExitCode, 0) << recorded.Err;
  }
  std::vector<std::uint8_t> image = Image(200, 1);
  image[150] ^= 0x55;  // block 2 holds image bytes 104..159
  const TCliResult replayed = Replay(WriteFile("other.bin", image));
  EXPECT_EQ(replayed.ExitCode, 1);
  EXPECT_NE(replayed.Err.find("replay stopped at write 6 (block 2): expected 04 04 06 00 02"), std::string::npos)
      << replayed.Err;
  EXPECT_EQ(replayed.OutLines().back(), "Program Fail");
}

TEST_F(CliRecordReplay, BadRecordingsAreRefusedWithOne) {
  const struct {
    const char* Content;
    const char* Message;
  } bad[] = {
      {"", "the recording is empty"},
      {"{\"firmware\":[],\"format\":\"kvmflash-recording\",\"version\":1}\n{\"device\":0,\"port\":\"1-1\"}\n",
       "the recording is cut short"},
      {"{\"firmware\":[],\"format\":\"kvmflash-recording\",\"version\":1}\n{\"dev", "line 2: not a JSON object"},
      {"\x7f" "ELF\x02\x01", "line 1: not a JSON object"},
  };
  for (const auto& b : bad) {
    QFile file(recording_);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(b.Content);
    file.close();
    const TCliResult result = Replay(firmware_);
    EXPECT_EQ(result.ExitCode, 1) << b.Message;
    EXPECT_NE(result.Err.find("replay " + recording_.toStdString() + ": " + b.Message), std::string::npos)
        << result.Err;
    EXPECT_TRUE(result.Out.empty());
  }
  const QString none = folder_.filePath("none.jsonl");
  const TCliResult missing = RunCli({"program", "--usb-host", firmware_, "--replay", none}, 5000, Environment());
  EXPECT_EQ(missing.ExitCode, 1);
  EXPECT_NE(missing.Err.find("replay " + none.toStdString() + ": "), std::string::npos) << missing.Err;
}

TEST_F(CliRecordReplay, AnExistingFileIsNeverRecordedOver) {
  const TCliResult result =
      RunCli({"program", "--usb-host", firmware_, "--record", firmware_, "--wait", "0"}, 5000, Environment());
  EXPECT_EQ(result.ExitCode, 1);
  EXPECT_NE(result.Err.find("--record: create " + firmware_.toStdString() + ": file exists"), std::string::npos)
      << result.Err;
  EXPECT_EQ(QFile(firmware_).size(), 200);
  EXPECT_EQ(RunCli({"program", "--usb-host", firmware_, "--fast"}).ExitCode, 2);
  EXPECT_EQ(RunCli({"program", "--usb-host", firmware_, "--record", "a", "--replay", "b"}).ExitCode, 2);
}

// The recording being replayed is an input: no output of the run may be it,
// by its own name or a link.
TEST(CliRecordingInputs, TheRecordingReplayedIsNoOutput) {
  QTemporaryDir folder;
  const QString fixture = QString(KVM_RECORDINGS_DIR) + "/success/";
  const QString recording = folder.filePath("ok.jsonl");
  const QString firmware = folder.filePath("host.bin");
  ASSERT_TRUE(QFile::copy(fixture + "recording.jsonl", recording));
  ASSERT_TRUE(QFile::copy(fixture + "host.bin", firmware));
  const QString link = folder.filePath("link.jsonl");
  ASSERT_TRUE(QFile::link(recording, link));
  const qint64 size = QFile(recording).size();
  for (const QStringList& output : {QStringList{"--events", recording}, QStringList{"--log", link}}) {
    const TCliResult result = RunCli(QStringList{"program", "--usb-host", firmware, "--replay", recording, "--fast"} +
                                     output, 10000);
    EXPECT_EQ(result.ExitCode, 1) << result.Err;
    EXPECT_NE(result.Err.find(output[1].toStdString() + " is the recording being replayed " +
                              recording.toStdString() + ": it is not appended to"),
              std::string::npos)
        << result.Err;
    EXPECT_EQ(QFile(recording).size(), size);
  }
}

// Each folder of tests/data/recordings: recording.jsonl, the firmware it
// was made with, `arguments` (one per line, files named relative to the
// folder), `expected.log` and `exit-status`; see scripts/recording-to-fixture.
TEST(CliRecordingFixtures, ReplayAsTheyWereMade) {
  const QDir root(KVM_RECORDINGS_DIR);
  const QStringList fixtures = root.entryList(QDir::Dirs | QDir::NoDotAndDotDot);
  ASSERT_FALSE(fixtures.isEmpty()) << KVM_RECORDINGS_DIR;
  const QString previous = QDir::currentPath();
  for (const QString& name : fixtures) {
    SCOPED_TRACE(name.toStdString());
    const QDir fixture(root.filePath(name));
    const auto read = [&](const char* file) {
      QFile f(fixture.filePath(file));
      EXPECT_TRUE(f.open(QIODevice::ReadOnly)) << file;
      return QString::fromUtf8(f.readAll());
    };
    QStringList arguments{"program", "--replay", "recording.jsonl", "--fast"};
    arguments += read("arguments").split('\n', Qt::SkipEmptyParts);
    const QString tick = fixture.exists("tick-ms") ? read("tick-ms").trimmed() : QString("1000");
    // The log names the files as given, relative to the fixture.
    QDir::setCurrent(fixture.path());
    const TCliResult result = RunCli(arguments, 30000, Environment(tick));
    QDir::setCurrent(previous);
    EXPECT_EQ(QString::number(result.ExitCode), read("exit-status").trimmed()) << result.Err;
    EXPECT_EQ(QString::fromStdString(result.Out), read("expected.log")) << result.Err;
  }
}

}  // namespace
}  // namespace kvm::test
