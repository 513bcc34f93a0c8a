// kvmflash-cli program and list as a separate process, on the real Linux back
// end against emulated programmers (umockdev).
#include <gtest/gtest.h>
#include <signal.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include "CliProgramFixture.h"
#include "WaitFor.h"

namespace kvm::test {
namespace {

TEST_F(CliProgram, ProgramsAContainerAndAPlainImageWithTheWindowsLog) {
  const auto programmer = PlugProgrammer();
  const auto usbImage = Image(110, 1);
  const auto osdImage = Image(1000, 2);
  const QString usbFile = WriteFirmware("host.usb", usbImage);
  const QString osdFile = WriteFirmware("osd.bin", osdImage);

  const TCliResult result =
      RunCli({"program", "--usb-host", usbFile, "--osd", osdFile, "--wait", "5"}, 10000, Environment());
  ASSERT_TRUE(result.Finished);
  EXPECT_EQ(result.ExitCode, 0) << result.Err;
  EXPECT_EQ(result.OutLines(), Join(Join(ConnectLines(), JobLines("USB Host", usbFile, "Program OK")),
                                    JobLines("OSD", osdFile, "Program OK")));
  EXPECT_EQ(programmer->Image(emulator::TargetUsbHost), usbImage);
  EXPECT_EQ(programmer->Image(emulator::TargetOsd), osdImage);
  EXPECT_EQ(programmer->BlockCount(emulator::TargetUsbHost), 3);
  EXPECT_FALSE(programmer->IsEnabled());
  // Not a terminal: no progress drawn.
  EXPECT_EQ(result.Err.find('\r'), std::string::npos);
}

TEST_F(CliProgram, AFailedJobExitsWithOneAndTheOtherTargetStillRuns) {
  const auto programmer = PlugProgrammer();
  programmer->SetChipID(emulator::TargetUsbHost, 0x1234);
  const QString usbFile = WriteFirmware("host.bin", Image(200, 3));
  const QString osdFile = WriteFirmware("osd.osd", Image(60, 4));

  const TCliResult result =
      RunCli({"program", "--usb-host", usbFile, "--osd", osdFile, "--wait", "5"}, 10000, Environment());
  EXPECT_EQ(result.ExitCode, 1) << result.Err;
  EXPECT_EQ(result.OutLines(),
            Join(Join(ConnectLines(), {"", "Target : USB Host", "File : " + usbFile.toStdString(),
                                       "Incompatible Chip ID: 1234"}),
                 JobLines("OSD", osdFile, "Program OK")));
  EXPECT_NE(result.Err.find("kvmflash-cli: USB Host job failed: Incompatible Chip ID: 1234\n"), std::string::npos)
      << result.Err;
}

TEST_F(CliProgram, WithoutAProgrammerExitsWithThree) {
  ids_.push_back(bed_->Plug(TUmockdevHid::Mouse()));
  const QString file = WriteFirmware("osd.bin", Image(60, 5));
  const TCliResult result = RunCli({"program", "--osd", file, "--wait", "0.3"}, 5000, Environment());
  EXPECT_EQ(result.ExitCode, 3);
  EXPECT_EQ(result.OutLines(), (Lines{"", "Scanning...", "KVM Programmer is not found."}));
  EXPECT_NE(result.Err.find("no KVM programmer connected within 0.3 s"), std::string::npos) << result.Err;
}

TEST_F(CliProgram, ASecondCtrlCEndsTheJobAtOnceAndKeepsItsRecord) {
  const auto programmer = PlugProgrammer();
  // Block 2 is never answered: each attempt waits six ticks.
  programmer->AddRule(BlockRule(TFaultKind::Silence, 2));
  const QString file = WriteFirmware("osd.bin", Image(48 + 56 * 10, 8));
  const QString log = folder_.filePath("trace.jsonl");
  const QString events = folder_.filePath("events.jsonl");

  TCliRun run({"program", "--osd", file, "--wait", "5", "--log", log, "--events", events}, Environment("200"));
  // A break before block 2 would end the job at once; it must come during its wait.
  ASSERT_TRUE(WaitFor([&] { return HasReceivedBlock(*programmer, 2); }, 5000));
  run.SendSignal(SIGINT);
  ASSERT_TRUE(run.WaitForError("interrupted", 2000));
  run.SendSignal(SIGINT);
  // Sooner than the block's wait of 1.2 s would end.
  const TCliResult result = run.Finish(1000);
  EXPECT_EQ(result.ExitCode, 4);
  // The wait was given up, not timed out.
  EXPECT_FALSE(Contains(result, "KVM Programmer is time out.")) << result.Out;
  QFile records(log);
  ASSERT_TRUE(records.open(QIODevice::ReadOnly));
  const QList<QByteArray> lines = records.readAll().split('\n');
  ASSERT_EQ(lines.size(), 2);  // one record and the end of its line
  EXPECT_NE(lines[0].indexOf("\"reason\":\"the run was interrupted during the osd job, 2 of 11 blocks confirmed\""), -1)
      << lines[0].toStdString();
  // The attempts left after the break write nothing: no resend is reported.
  QFile stream(events);
  ASSERT_TRUE(stream.open(QIODevice::ReadOnly));
  EXPECT_EQ(stream.readAll().indexOf("\"event\":\"retry\""), -1);
}

TEST_F(CliProgram, UnpluggingTheProgrammerFailsTheJob) {
  const auto programmer = PlugProgrammer();
  programmer->AddRule(BlockRule(TFaultAction::Delayed(4)));
  const QString file = WriteFirmware("host.bin", Image(48 + 56 * 200, 9));
  const QString osd = WriteFirmware("osd.bin", Image(48 + 56 * 2, 9));

  TCliRun run({"program", "--usb-host", file, "--osd", osd, "--wait", "5"}, Environment());
  ASSERT_TRUE(run.WaitForOutput("Programming...\n", 5000));
  bed_->Unplug(ids_.front());
  const TCliResult result = run.Finish(8000);
  EXPECT_EQ(result.ExitCode, 1) << result.Err;
  // The removal notice breaks the job and skips the OSD job, unless the
  // failing writes have ended the USB Host job first: then the OSD job starts
  // and fails at its first command. Either way standard error says so.
  EXPECT_TRUE(result.Err.find("OSD job skipped: the programmer's connection changed during the USB Host job") !=
                  std::string::npos ||
              result.Err.find("OSD job failed: ") != std::string::npos)
      << result.Err;
  EXPECT_TRUE(Contains(result, "Connection is changed !") || Contains(result, "Program Fail")) << result.Out;
  EXPECT_FALSE(Contains(result, "Program OK"));
}

TEST_F(CliProgram, PickingAmongProgrammersIsSaidAndTakesSerialsInAnyCase) {
  const auto first = PlugProgrammer("SN0001");
  const auto second = PlugProgrammer("SN0002");
  const QString file = WriteFirmware("osd.bin", Image(300, 10));
  struct TCase {
    const char* Serial;  // empty: none given
    int Exit;
    std::string Connected;  // the serial connected, or empty
    std::string Said;       // on standard error
  } cases[] = {
      {"sn0002", 0, "SN0002", ""},
      {"", 0, "SN0001",
       "kvmflash-cli: 2 KVM programmers are present (SN0001, SN0002); using SN0001, the first listed; give --serial "
       "SERIAL to use another\n"},
      {"sn0003", 3, "",
       "kvmflash-cli: no KVM programmer with serial number sn0003 connected within 0.3 s; present: SN0001, SN0002\n"},
  };
  for (const TCase& pick : cases) {
    QStringList arguments{"program", "--osd", file, "--wait", pick.Connected.empty() ? "0.3" : "5"};
    if (*pick.Serial) arguments << "--serial" << pick.Serial;
    const TCliResult result = RunCli(arguments, 10000, Environment());
    EXPECT_EQ(result.ExitCode, pick.Exit) << pick.Serial << result.Err;
    if (!pick.Connected.empty()) {
      EXPECT_EQ(result.OutLines(), Join(ConnectLines(pick.Connected), JobLines("OSD", file, "Program OK")));
    }
    EXPECT_EQ(result.Err, pick.Said) << pick.Serial;
  }
  EXPECT_EQ(first->BlockCount(emulator::TargetOsd), 6);
  EXPECT_EQ(second->BlockCount(emulator::TargetOsd), 6);

  // list marks the one taken without --serial, and the other as another programmer.
  const TCliResult list = RunCli({"list"}, 5000, Environment());
  EXPECT_TRUE(Contains(list, "* KVM Programmer (Serial=SN0001)  " + bed_->DevNode(ids_[0]) +
                                 "  0B39:FF03  in 8  out 64  read/write")) << list.Out;
  EXPECT_TRUE(Contains(list, "+ KVM Programmer (Serial=SN0002)  " + bed_->DevNode(ids_[1]) +
                                 "  0B39:FF03  in 8  out 64  read/write")) << list.Out;
}

TEST_F(CliProgram, JsonGivesEachJobsResultAsOneObject) {
  PlugProgrammer();
  const QString usbFile = WriteFirmware("host.usb", Image(110, 1));
  const QString osdFile = WriteFirmware("osd.bin", Image(60, 2));
  const TCliResult result =
      RunCli({"program", "--usb-host", usbFile, "--osd", osdFile, "--wait", "5", "--json"}, 10000, Environment());
  EXPECT_EQ(result.ExitCode, 0) << result.Err;
  QJsonParseError error{};
  const QJsonObject json = QJsonDocument::fromJson(QByteArray::fromStdString(result.Out), &error).object();
  ASSERT_EQ(error.error, QJsonParseError::NoError) << result.Out;
  EXPECT_EQ(json["exit_code"].toInt(), 0);
  EXPECT_FALSE(json.contains("error"));
  const QJsonArray jobs = json["jobs"].toArray();
  ASSERT_EQ(jobs.size(), 2);
  for (const auto& [index, target, file] : {std::tuple{0, "usb-host", usbFile}, {1, "osd", osdFile}}) {
    const QJsonObject job = jobs[index].toObject();
    EXPECT_EQ(job["target"].toString(), target);
    EXPECT_EQ(job["file"].toString(), file);
    EXPECT_EQ(job["result"].toString(), "Program OK");
    EXPECT_TRUE(job["ok"].toBool());
  }
}

TEST_F(CliProgram, ListJsonDescribesEveryInterface) {
  PlugProgrammer();
  ids_.push_back(bed_->Plug(TUmockdevHid::Mouse()));

  const TCliResult result = RunCli({"list", "--json"}, 5000, Environment());
  ASSERT_EQ(result.ExitCode, 0) << result.Err;
  QJsonParseError error{};
  const QJsonArray devices = QJsonDocument::fromJson(QByteArray::fromStdString(result.Out), &error).array();
  ASSERT_EQ(error.error, QJsonParseError::NoError) << result.Out;
  ASSERT_EQ(devices.size(), 2);

  const QJsonObject programmer = devices[0].toObject();
  EXPECT_EQ(programmer["path"].toString().toStdString(), bed_->DevNode(ids_[0]));
  EXPECT_EQ(programmer["vendor_id"].toInteger(), 0x0B39);
  EXPECT_EQ(programmer["product_id"].toInteger(), 0xFF03);
  EXPECT_EQ(programmer["version"].toInteger(), 0x0123);
  EXPECT_EQ(programmer["manufacturer"].toString(), "KVM Switch Inc.");
  EXPECT_EQ(programmer["product"].toString(), "KVM Programmer");
  EXPECT_EQ(programmer["serial"].toString(), "PRG-0001");
  EXPECT_EQ(programmer["input_report_length"].toInteger(), 8);
  EXPECT_EQ(programmer["output_report_length"].toInteger(), 64);
  EXPECT_TRUE(programmer["read_write"].toBool());
  EXPECT_TRUE(programmer["is_programmer"].toBool());

  const QJsonObject mouse = devices[1].toObject();
  EXPECT_FALSE(mouse["is_programmer"].toBool());
  EXPECT_TRUE(mouse["serial"].isString());

  const TCliResult text = RunCli({"list"}, 5000, Environment());
  EXPECT_EQ(text.ExitCode, 0);
  EXPECT_NE(text.Out.find("* KVM Programmer (Serial=PRG-0001)  " + bed_->DevNode(ids_[0]) + "  0B39:FF03  in 8  out 64  read/write"),
            std::string::npos)
      << text.Out;
}

}  // namespace
}  // namespace kvm::test
