// kvmflash-cli station and program --events/--log as a separate process, on
// the real Linux back end against three or more programmers emulated with
// umockdev.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <unistd.h>

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <fstream>
#include <map>

#include "CliProcess.h"
#include "EmulatedProgrammer.h"
#include "UmockdevHid.h"
#include "WaitFor.h"

namespace kvm::test {
namespace {

using emulator::TFaultAction;
using emulator::TProgrammerEmulator;
using Lines = std::vector<std::string>;

std::vector<QJsonObject> JsonLines(const std::string& text, bool& whole) {
  std::vector<QJsonObject> objects;
  whole = text.empty() || text.back() == '\n';
  std::size_t start = 0;
  for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(text.substr(start, end - start)), &error);
    if (error.error != QJsonParseError::NoError || !document.isObject()) whole = false;
    objects.push_back(document.object());
  }
  return objects;
}

std::string ReadText(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return {};
  return file.readAll().toStdString();
}

class CliStation : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!TUmockdevHid::Available()) GTEST_SKIP() << "umockdev preload not active: hidraw emulation unavailable";
    bed_ = std::make_unique<TUmockdevHid>();
  }

  std::shared_ptr<TProgrammerEmulator> Plug(const std::string& serial) {
    auto emulator = std::make_shared<TProgrammerEmulator>();
    TEmulatedHid programmer = TUmockdevHid::Programmer();
    programmer.Serial = serial;
    ids_.push_back(bed_->Plug(programmer, ServeEmulator(emulator)));
    return emulator;
  }

  QString Firmware(const char* name, int blocks) {
    std::vector<char> image(48 + 56 * static_cast<std::size_t>(blocks - 1));
    for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<char>(i * 3 + 1);
    const QString path = folder_.filePath(name);
    std::ofstream(path.toStdString(), std::ios::binary).write(image.data(), static_cast<std::streamsize>(image.size()));
    return path;
  }

  QProcessEnvironment Environment() const {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    // Long enough that a busy machine does not make a reply miss its six-tick wait.
    environment.insert("KVMFLASH_TICK_MS", "50");
    environment.insert("XDG_RUNTIME_DIR", folder_.path());
    return environment;
  }

  // "[1-N SERIAL] ": the emulated programmers sit on USB ports 1-1, 1-2, ...
  static std::string Prefix(int port, const std::string& serial) {
    return "[1-" + std::to_string(port) + " " + serial + "] ";
  }

  QTemporaryDir folder_;
  std::unique_ptr<TUmockdevHid> bed_;
  std::vector<int> ids_;
};

TEST_F(CliStation, ProgramsThreeUnitsAndTheLogKeepsEveryRunsRecords) {
  std::vector<std::shared_ptr<TProgrammerEmulator>> programmers{Plug("PRG-1"), Plug("PRG-2"), Plug("")};
  const QString osd = Firmware("osd.bin", 30);
  const QString log = folder_.filePath("trace.jsonl");

  const TCliResult first =
      RunCli({"station", "--osd", osd, "--units", "3", "--log", log}, 20000, Environment());
  ASSERT_EQ(first.ExitCode, 0) << first.Err;
  const Lines lines = first.OutLines();
  for (const auto& [port, serial] : {std::pair{1, "PRG-1"}, std::pair{2, "PRG-2"}, std::pair{3, ""}})
    EXPECT_NE(std::find(lines.begin(), lines.end(), Prefix(port, serial) + "Program OK"), lines.end()) << first.Out;
  EXPECT_EQ(lines.back(), "Station: 3 succeeded, 0 failed");
  for (const auto& programmer : programmers) EXPECT_EQ(programmer->BlockCount(emulator::TargetOsd), 30);
  const std::string firstLog = ReadText(log);

  // Events on standard output: nothing else goes there.
  const TCliResult second =
      RunCli({"station", "--osd", osd, "--units", "3", "--log", log, "--events", "-"}, 20000, Environment());
  ASSERT_EQ(second.ExitCode, 0) << second.Err;
  bool whole = false;
  const std::vector<QJsonObject> events = JsonLines(second.Out, whole);
  EXPECT_TRUE(whole) << second.Out;
  ASSERT_FALSE(events.empty());
  EXPECT_EQ(events.front()["event"].toString(), "station-started");
  EXPECT_EQ(events.back()["event"].toString(), "station-finished");
  EXPECT_EQ(events.back()["units_ok"].toInt(), 3);

  const std::string bothLogs = ReadText(log);
  EXPECT_EQ(bothLogs.substr(0, firstLog.size()), firstLog);
  const std::vector<QJsonObject> records = JsonLines(bothLogs, whole);
  EXPECT_TRUE(whole);
  ASSERT_EQ(records.size(), 6u);
  for (const QJsonObject& record : records) EXPECT_TRUE(record["ok"].toBool());
}

TEST_F(CliStation, RefusesAFileBeforeAnyProgrammerIsTouched) {
  std::vector<std::shared_ptr<TProgrammerEmulator>> programmers{Plug("A"), Plug("B"), Plug("C")};
  const QString empty = folder_.filePath("empty.bin");
  std::ofstream(empty.toStdString()).close();
  struct Case {
    QStringList Arguments;
    int Exit;
    const char* Error;
  } cases[] = {
      {{"--usb-host", empty, "--osd", Firmware("osd.bin", 3)}, 1, "Firmware file is empty."},
      {{"--osd", folder_.filePath("missing.bin")}, 1, "No such file or directory"},
      {{"--units", "2"}, 2, "give a firmware file"},
      {{"--osd", Firmware("same.bin", 3), "--log", folder_.filePath("same.bin")}, 1, "is the firmware file"},
  };
  for (const Case& c : cases) {
    const TCliResult result = RunCli(QStringList{"station"} + c.Arguments, 10000, Environment());
    EXPECT_EQ(result.ExitCode, c.Exit) << result.Err;
    EXPECT_NE(result.Err.find(c.Error), std::string::npos) << result.Err;
  }
  // The event stream of a refused run still starts and finishes, saying why.
  const TCliResult refused =
      RunCli({"station", "--usb-host", empty, "--events", "-"}, 10000, Environment());
  EXPECT_EQ(refused.ExitCode, 1) << refused.Err;
  bool whole = false;
  const std::vector<QJsonObject> events = JsonLines(refused.Out, whole);
  EXPECT_TRUE(whole) << refused.Out;
  ASSERT_EQ(events.size(), 2u) << refused.Out;
  EXPECT_EQ(events[0]["event"].toString(), "station-started");
  EXPECT_EQ(events[1]["event"].toString(), "station-finished");
  EXPECT_EQ(events[1]["exit_code"].toInt(), 1);
  EXPECT_NE(events[1]["refused"].toString().indexOf("Firmware file is empty."), -1) << refused.Out;
  for (const auto& programmer : programmers) EXPECT_EQ(programmer->ReportCount(), 0u);
}

TEST_F(CliStation, SigtermBreaksTheRunningUnits) {
  std::vector<std::shared_ptr<TProgrammerEmulator>> programmers{Plug("A"), Plug("B"), Plug("C")};
  for (const auto& programmer : programmers) programmer->AddRule({{emulator::CmdBlockWrite, {}, {}, {}}, TFaultAction::Delayed(3)});
  TCliRun run({"station", "--osd", Firmware("osd.bin", 500)}, Environment());
  ASSERT_TRUE(WaitFor([&] {
    return std::all_of(programmers.begin(), programmers.end(),
                       [](const auto& p) { return p->BlockCount(emulator::TargetOsd) >= 2; });
  }, 10000));
  run.SendSignal(SIGTERM);
  const TCliResult result = run.Finish(10000);
  EXPECT_EQ(result.ExitCode, 4) << result.Err;
  for (const auto& [port, serial] : {std::pair{1, "A"}, std::pair{2, "B"}, std::pair{3, "C"}})
    EXPECT_NE(result.Out.find(Prefix(port, serial) + "User break\n"), std::string::npos) << result.Out;
}

// A second signal only ends the waiting sooner: every unit served still gets
// its record, and the events still end as they should.
TEST_F(CliStation, ASecondSignalStillWritesEveryRecord) {
  std::vector<std::shared_ptr<TProgrammerEmulator>> programmers{Plug("A"), Plug("B")};
  // Block 2 is never answered: each unit waits for it when the signals come.
  for (const auto& programmer : programmers)
    programmer->AddRule({{emulator::CmdBlockWrite, {}, 2, {}}, TFaultAction(emulator::TFaultKind::Silence)});
  const QString log = folder_.filePath("trace.jsonl");
  const QString events = folder_.filePath("events.jsonl");
  QProcessEnvironment environment = Environment();
  // A reply wait is six ticks (3 s): the run must end well before it would.
  environment.insert("KVMFLASH_TICK_MS", "500");
  TCliRun run({"station", "--osd", Firmware("osd.bin", 10), "--log", log, "--events", events}, environment);
  ASSERT_TRUE(WaitFor([&] {
    return std::all_of(programmers.begin(), programmers.end(), [](const auto& p) {
      for (const emulator::TReceivedReport& report : p->Log())
        if (report.Bytes.size() > 4 && report.Bytes[2] == emulator::CmdBlockWrite && report.Bytes[4] == 2) return true;
      return false;
    });
  }, 10000));
  run.SendSignal(SIGINT);
  ASSERT_TRUE(run.WaitForError("interrupted: stopping the 2 running units", 2000));
  run.SendSignal(SIGTERM);
  const TCliResult result = run.Finish(2500);
  EXPECT_EQ(result.ExitCode, 4) << result.Err;
  EXPECT_NE(result.Out.find("Station: 0 succeeded, 2 failed"), std::string::npos) << result.Out;

  bool whole = false;
  const std::vector<QJsonObject> records = JsonLines(ReadText(log), whole);
  EXPECT_TRUE(whole);
  ASSERT_EQ(records.size(), 2u);
  for (const QJsonObject& record : records)
    EXPECT_EQ(record["reason"].toString(), "the run was interrupted during the osd job, 2 of 10 blocks confirmed");
  const std::vector<QJsonObject> stream = JsonLines(ReadText(events), whole);
  ASSERT_FALSE(stream.empty());
  EXPECT_EQ(std::count_if(stream.begin(), stream.end(), [](const QJsonObject& e) { return e["event"] == "unit-finished"; }), 2);
  EXPECT_EQ(stream.back()["event"].toString(), "station-finished");
  EXPECT_EQ(stream.back()["exit_code"].toInt(), 4);
}

// Ctrl-C with no unit running says what it does: the run ends.
TEST_F(CliStation, CtrlCWithNoUnitRunningEndsTheRun) {
  Plug("A");  // left alone: the station serves only another serial number
  TCliRun run({"station", "--osd", Firmware("osd.bin", 10), "--serial", "OTHER", "--events", "-"}, Environment());
  ASSERT_TRUE(run.WaitForOutput("station-started", 3000));
  run.SendSignal(SIGINT);
  const TCliResult result = run.Finish(3000);
  EXPECT_NE(result.Err.find("interrupted: no unit is running; no new unit starts and the run ends"), std::string::npos)
      << result.Err;
  EXPECT_EQ(result.ExitCode, 3) << result.Err;
}

// An output that cannot be written ends the run, is named, and the summary,
// the events and the exit status agree.
TEST_F(CliStation, AFailedOutputEndsTheRunWithOneStatus) {
  struct Case {
    const char* Name;
    QStringList Outputs;
    const char* Error;
    std::size_t Lost;
  } cases[] = {
      {"log", {"--log", "/dev/full"}, "traceability record of [1-1 A] lost: write /dev/full: No space left on device", 2},
      {"events", {"--events", "/dev/full"}, "events lost: write /dev/full: No space left on device", 1},
  };
  Plug("A");
  Plug("B");
  const QString osd = Firmware("osd.bin", 5);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    const QString events = folder_.filePath(QString("events-%1.jsonl").arg(c.Name));
    QStringList arguments{"station", "--osd", osd, "--units", "2"};
    arguments += c.Outputs;
    if (c.Outputs.front() != "--events") arguments += QStringList{"--events", events};
    const TCliResult result = RunCli(arguments, 20000, Environment());
    EXPECT_EQ(result.ExitCode, 1) << result.Err;
    EXPECT_NE(result.Err.find(c.Error), std::string::npos) << result.Err;
    EXPECT_NE(result.Out.find(", " + std::to_string(c.Lost) + " output(s) lost"), std::string::npos) << result.Out;
    if (c.Outputs.front() == "--events") continue;
    bool whole = false;
    const std::vector<QJsonObject> stream = JsonLines(ReadText(events), whole);
    ASSERT_FALSE(stream.empty());
    EXPECT_EQ(stream.back()["event"].toString(), "station-finished");
    EXPECT_EQ(stream.back()["exit_code"].toInt(), 1);
    EXPECT_EQ(static_cast<std::size_t>(stream.back()["lost"].toArray().size()), c.Lost);
    for (const QJsonObject& event : stream)
      EXPECT_TRUE(event["event"] != "unit-finished" || event["record_lost"].isString());
  }
  // program too.
  const TCliResult program = RunCli({"program", "--osd", osd, "--events", "/dev/full", "--wait", "5"}, 10000, Environment());
  EXPECT_EQ(program.ExitCode, 1) << program.Err;
  EXPECT_NE(program.Err.find("events lost: write /dev/full"), std::string::npos) << program.Err;
}

// A unit's recording is complete when the unit ends, whatever becomes of the
// station, which runs on (no --units, no --idle-exit), afterwards.
TEST_F(CliStation, AUnitsRecordingIsFinishedWhenTheUnitEnds) {
  Plug("FAST");
  const QString osd = Firmware("osd.bin", 5);
  const QString folder = folder_.filePath("records");
  TCliRun run({"station", "--osd", osd, "--record", folder}, Environment());
  ASSERT_TRUE(run.WaitForOutput(Prefix(1, "FAST") + "Program OK", 10000));
  const QString fast = folder + "/unit-1-1.jsonl";
  EXPECT_TRUE(WaitFor([&] { return ReadText(fast).find("{\"end\":") != std::string::npos; }, 3000)) << ReadText(fast);
  run.SendSignal(SIGKILL);
  run.Finish(5000);
  const TCliResult replay = RunCli({"program", "--osd", osd, "--replay", fast, "--fast", "--wait", "5"}, 10000, Environment());
  EXPECT_EQ(replay.ExitCode, 0) << replay.Err;
}

// Unplugged mid-job on the real back end: the removal notice comes before the
// device's entries are gone, and no phantom unit follows it; the station is
// idle afterwards and ends.
TEST_F(CliStation, AnUnplugLeavesNoPhantomUnit) {
  auto programmer = Plug("GONE");
  programmer->AddRule({{emulator::CmdBlockWrite, {}, {}, {}}, TFaultAction::Delayed(5)});
  const QString events = folder_.filePath("events.jsonl");
  TCliRun station({"station", "--osd", Firmware("osd.bin", 60), "--idle-exit", "0.5", "--events", events},
                  Environment());
  ASSERT_TRUE(WaitFor([&] { return programmer->BlockCount(emulator::TargetOsd) >= 5; }, 10000));
  bed_->UnplugSlowly(ids_.back(), 150);
  const TCliResult result = station.Finish(5000);
  EXPECT_TRUE(result.Finished);
  EXPECT_EQ(result.ExitCode, 1) << result.Err;
  bool whole = false;
  const std::vector<QJsonObject> stream = JsonLines(ReadText(events), whole);
  EXPECT_EQ(std::count_if(stream.begin(), stream.end(), [](const QJsonObject& e) { return e["event"] == "unit-arrived"; }), 1);
  EXPECT_EQ(std::count_if(stream.begin(), stream.end(), [](const QJsonObject& e) { return e["event"] == "unit-finished"; }), 1);
}

TEST_F(CliStation, ASigkillLeavesOnlyWholeRecords) {
  auto slow = Plug("SLOW");
  slow->AddRule({{emulator::CmdBlockWrite, {}, {}, {}}, TFaultAction::Delayed(3)});
  Plug("FAST-1");
  Plug("FAST-2");
  const QString log = folder_.filePath("trace.jsonl");
  TCliRun run({"station", "--osd", Firmware("osd.bin", 300), "--log", log}, Environment());
  ASSERT_TRUE(WaitFor([&] {
    const std::string text = ReadText(log);
    return std::count(text.begin(), text.end(), '\n') >= 2;
  }, 15000));
  run.SendSignal(SIGKILL);
  run.Finish(5000);
  bool whole = false;
  const std::vector<QJsonObject> records = JsonLines(ReadText(log), whole);
  EXPECT_TRUE(whole);
  EXPECT_GE(records.size(), 2u);
}

// A programmer the station cannot use gets no job: its record says why and
// what fixes it, and the unit counts as failed.
TEST_F(CliStation, AProgrammerItCannotUseIsNotProgrammed) {
  auto good = Plug("GOOD");
  auto locked = std::make_shared<TProgrammerEmulator>();
  TEmulatedHid lockedHid = TUmockdevHid::Programmer();
  lockedHid.Serial = "LOCKED";
  lockedHid.Writable = false;
  ids_.push_back(bed_->Plug(lockedHid, ServeEmulator(locked)));
  const std::string lockedNode = bed_->DevNode(ids_.back());
  auto held = Plug("HELD");
  const std::string heldNode = bed_->DevNode(ids_.back());
  // Another program has connected HELD: it holds the node's lock.
  const int holder = ::open(heldNode.c_str(), O_RDWR | O_CLOEXEC);
  ASSERT_GE(holder, 0);
  ASSERT_EQ(::flock(holder, LOCK_EX | LOCK_NB), 0);

  const QString log = folder_.filePath("trace.jsonl");
  const TCliResult result = RunCli({"station", "--osd", Firmware("osd.bin", 5), "--units", "3", "--log", log},
                                   20000, Environment());
  ::close(holder);
  EXPECT_EQ(result.ExitCode, 1) << result.Err;
  EXPECT_NE(result.Out.find("Station: 1 succeeded, 2 failed"), std::string::npos) << result.Out;
  bool whole = false;
  std::map<std::string, QJsonObject> bySerial;
  for (const QJsonObject& record : JsonLines(ReadText(log), whole))
    bySerial[record["unit"].toObject()["serial"].toString().toStdString()] = record;
  ASSERT_EQ(bySerial.size(), 3u);
  EXPECT_TRUE(bySerial["GOOD"]["ok"].toBool());
  const std::string lockedReason = bySerial["LOCKED"]["reason"].toString().toStdString();
  EXPECT_EQ(lockedReason.rfind("Cannot open " + lockedNode + " for reading and writing (", 0), 0u) << lockedReason;
  EXPECT_NE(lockedReason.find("install the udev rule"), std::string::npos) << lockedReason;
  EXPECT_EQ(bySerial["HELD"]["reason"].toString().toStdString(),
            "KVM programmer at " + heldNode + " is in use by PID " + std::to_string(::getpid()) + " (" +
                ReadText("/proc/self/comm").substr(0, ReadText("/proc/self/comm").find('\n')) + ")");
  EXPECT_EQ(locked->ReportCount(), 0u);
  EXPECT_EQ(held->ReportCount(), 0u);
  EXPECT_EQ(good->BlockCount(emulator::TargetOsd), 5);
}

TEST_F(CliStation, ProgramEmitsTheEventsAndRecordOfItsOneUnit) {
  Plug("PRG-9");
  Plug("OTHER");
  Plug("THIRD");
  const QString events = folder_.filePath("events.jsonl");
  const QString log = folder_.filePath("trace.jsonl");
  const TCliResult result = RunCli({"program", "--osd", Firmware("osd.bin", 10), "--serial", "PRG-9", "--events",
                                    events, "--log", log, "--wait", "5"},
                                   10000, Environment());
  ASSERT_EQ(result.ExitCode, 0) << result.Err;
  bool whole = false;
  std::vector<std::string> names;
  for (const QJsonObject& event : JsonLines(ReadText(events), whole))
    if (event["event"].toString() != "log" && event["event"].toString() != "progress")
      names.push_back(event["event"].toString().toStdString());
  EXPECT_TRUE(whole);
  EXPECT_EQ(names, (Lines{"station-started", "unit-arrived", "unit-connected", "job-started", "job-finished",
                          "unit-finished", "station-finished"}));
  const std::vector<QJsonObject> records = JsonLines(ReadText(log), whole);
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0]["unit"].toObject()["serial"].toString(), "PRG-9");
  EXPECT_EQ(records[0]["unit"].toObject()["port"].toString(), "1-1");
  EXPECT_TRUE(records[0]["ok"].toBool());
}


// A recipe holds the files to their size and SHA-256: saved once, it starts
// the station with the files locked, its hashes go into every record, and a
// changed file is refused before any programmer is touched.
TEST_F(CliStation, ARecipeLocksTheFilesAndIsNeverWrittenOverAnInput) {
  std::vector<std::shared_ptr<TProgrammerEmulator>> programmers{Plug("A"), Plug("B"), Plug("C")};
  const QString osd = Firmware("osd.bin", 4);
  const QString log = folder_.filePath("trace.jsonl");
  const QString recipe = folder_.filePath("line.json");
  struct Save {
    QStringList Arguments;
    int Exit;
    const char* Said;
  } saves[] = {
      {{"--save-recipe", recipe}, 0, "Recipe written to"},
      {{"--save-recipe", recipe}, 1, "exists: give --replace-recipe"},
      {{"--save-recipe", recipe, "--replace-recipe"}, 0, "Recipe written to"},
      {{"--save-recipe", osd, "--replace-recipe"}, 1, "an input of the station"},
  };
  for (const Save& save : saves) {
    const TCliResult result = RunCli(QStringList{"station", "--osd", osd, "--log", log} + save.Arguments, 10000, Environment());
    EXPECT_EQ(result.ExitCode, save.Exit) << result.Err;
    EXPECT_NE((result.Out + result.Err).find(save.Said), std::string::npos) << result.Out << result.Err;
  }
  EXPECT_EQ(QFileInfo(osd).size(), 48 + 56 * 3) << "the firmware file was written over";
  EXPECT_FALSE(QFileInfo::exists(log)) << "saving a recipe opens no output";
  for (const auto& programmer : programmers) EXPECT_EQ(programmer->ReportCount(), 0u);
  const QJsonObject saved = QJsonDocument::fromJson(QByteArray::fromStdString(ReadText(recipe))).object();
  const QString sha = saved["files"].toObject()["osd"].toObject()["sha256"].toString();
  ASSERT_EQ(sha.size(), 64) << ReadText(recipe);

  const TCliResult locked = RunCli({"station", "--recipe", recipe, "--osd", osd}, 10000, Environment());
  EXPECT_EQ(locked.ExitCode, 2) << locked.Err;

  const TCliResult run = RunCli({"station", "--recipe", recipe, "--units", "3"}, 20000, Environment());
  ASSERT_EQ(run.ExitCode, 0) << run.Err;
  bool whole = false;
  const std::vector<QJsonObject> records = JsonLines(ReadText(log), whole);
  ASSERT_EQ(records.size(), 3u);
  for (const QJsonObject& record : records)
    EXPECT_EQ(record["recipe"].toObject()["sha256"].toObject()["osd"].toString(), sha);

  // One byte changed, same size: refused, naming the file and both hashes.
  {
    QFile file(osd);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    file.seek(100);
    file.write("\x7f", 1);
  }
  std::vector<std::size_t> reports;
  for (const auto& programmer : programmers) reports.push_back(programmer->ReportCount());
  const TCliResult changed = RunCli({"station", "--recipe", recipe, "--units", "3"}, 10000, Environment());
  EXPECT_EQ(changed.ExitCode, 1);
  EXPECT_NE(changed.Err.find(osd.toStdString() + " differs from the recipe"), std::string::npos) << changed.Err;
  EXPECT_NE(changed.Err.find(sha.toStdString()), std::string::npos) << changed.Err;
  EXPECT_NE(changed.Err.find("its SHA-256 is "), std::string::npos) << changed.Err;
  for (std::size_t i = 0; i < programmers.size(); ++i) EXPECT_EQ(programmers[i]->ReportCount(), reports[i]);
  EXPECT_EQ(JsonLines(ReadText(log), whole).size(), 3u);
}

}  // namespace
}  // namespace kvm::test
