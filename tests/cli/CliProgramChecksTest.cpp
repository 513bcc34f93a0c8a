// kvmflash-cli program as a user gets it wrong: refused files, signals, the
// waiting options, the output options and a programmer this user cannot open.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "CliProgramFixture.h"
#include "WaitFor.h"
#include "firmware/ContainerHeader.h"
#include "firmware/FirmwareImage.h"

namespace kvm::test {
namespace {

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

TEST_F(CliProgram, RefusedFilesEndTheRunBeforeTheWait) {
  const auto programmer = PlugProgrammer();
  ASSERT_TRUE(QDir(folder_.path()).mkdir("folder.bin"));
  ASSERT_EQ(::mkfifo(folder_.filePath("pipe.bin").toLocal8Bit().constData(), 0644), 0);
  const QString empty = WriteFirmware("empty.bin", {});
  const QString huge = folder_.filePath("huge.bin");
  QFile(huge).open(QIODevice::WriteOnly);
  ASSERT_EQ(::truncate(huge.toLocal8Bit().constData(), firmware::MaxImageLength + 1), 0);
  std::string error;
  const QString wrongChip = folder_.filePath("chip56.usb");
  ASSERT_TRUE(cli::WriteWholeFile(wrongChip.toStdString(), firmware::BuildContainer(Image(100, 1), {56, 0, 8, 0xA5}), error));
  const QString lookalike = folder_.filePath("FW.USB");
  ASSERT_TRUE(cli::WriteWholeFile(lookalike.toStdString(), firmware::BuildContainer(Image(100, 1), {}), error));
  const QString fine = WriteFirmware("fine.bin", Image(100, 2));

  struct TCase {
    QString File;
    std::string Reason;
  };
  const std::string limit = "at most " + std::to_string(firmware::MaxImageLength) + " fit in 65536 blocks";
  for (const TCase& row : {TCase{folder_.filePath("none.bin"), "No such file or directory"},
                           TCase{folder_.filePath("folder.bin"), "is not a regular file"},
                           TCase{folder_.filePath("pipe.bin"), "is not a regular file"},
                           TCase{empty, "Firmware file is empty."}, TCase{huge, limit},
                           TCase{wrongChip, "Chip type does not match the target."},
                           TCase{lookalike, "Rename it to end in .usb (lower case) to have it unscrambled, or give "
                                            "--as-plain to program it byte for byte."}}) {
    // The good file first: nothing of it is sent either.
    const TCliResult result =
        RunCli({"program", "--usb-host", fine, "--osd", row.File, "--wait", "5"}, 5000, Environment());
    ASSERT_TRUE(result.Finished) << row.File.toStdString();
    EXPECT_EQ(result.ExitCode, 1) << row.File.toStdString() << "\n" << result.Err;
    EXPECT_TRUE(Has(result.Err, row.File.toStdString() + ": ") || Has(result.Err, row.File.toStdString() + " "))
        << result.Err;
    EXPECT_TRUE(Has(result.Err, row.Reason)) << result.Err;
    EXPECT_EQ(result.Out, "") << row.File.toStdString();
  }
  EXPECT_EQ(programmer->ReportCount(), 0u);
}

TEST_F(CliProgram, AContainerLookalikeIsProgrammedAsItIsOnlyWhenAskedTo) {
  const auto programmer = PlugProgrammer();
  const QString lookalike = folder_.filePath("OSD.OSD");
  const std::vector<std::uint8_t> bytes = firmware::BuildContainer(Image(200, 3), {});
  std::string error;
  ASSERT_TRUE(cli::WriteWholeFile(lookalike.toStdString(), bytes, error));

  const TCliResult info = RunCli({"info", lookalike, "--target", "osd", "--json"});
  EXPECT_TRUE(QJsonDocument::fromJson(QByteArray::fromStdString(info.Out)).object()["container_lookalike"].toBool())
      << info.Out;
  EXPECT_TRUE(Has(RunCli({"info", lookalike, "--target", "osd"}).Out, "Rename it to end in .osd")) ;

  const TCliResult result =
      RunCli({"program", "--osd", lookalike, "--as-plain", "--wait", "5"}, 10000, Environment());
  EXPECT_EQ(result.ExitCode, 0) << result.Err;
  EXPECT_EQ(programmer->Image(emulator::TargetOsd), bytes);
  // Asked for, the file goes as it is: the warning is on standard error, and
  // the log goes on from the file name to the programming.
  const Lines lines = result.OutLines();
  const auto file = std::find(lines.begin(), lines.end(), "File : " + lookalike.toStdString());
  ASSERT_NE(file, lines.end());
  ASSERT_NE(file + 1, lines.end());
  EXPECT_EQ(file[1], "Programming...");
  EXPECT_FALSE(Has(result.Out, "Warning:")) << result.Out;
  EXPECT_TRUE(Has(result.Err, "kvmflash-cli: Warning: the file starts like a scrambled container")) << result.Err;
}

class CliProgramSignal : public CliProgram, public ::testing::WithParamInterface<int> {};

TEST_P(CliProgramSignal, BreaksTheJobDeletesTheIntermediateFileAndExitsWithFour) {
  const auto programmer = PlugProgrammer();
  programmer->AddRule(BlockRule(TFaultAction::Delayed(4)));
  const QString usbFile = WriteFirmware("host.usb", Image(48 + 56 * 200, 6));
  const QString osdFile = WriteFirmware("osd.bin", Image(60, 7));

  TCliRun run({"program", "--usb-host", usbFile, "--osd", osdFile, "--wait", "5"}, Environment());
  ASSERT_TRUE(run.WaitForOutput("Programming...\n", 5000));
  ASSERT_TRUE(QFile::exists(folder_.filePath("kvmflash/bootsect.d0s")));
  run.SendSignal(GetParam());
  const TCliResult result = run.Finish(5000);
  EXPECT_EQ(result.ExitCode, 4) << result.Err;
  ASSERT_FALSE(result.OutLines().empty());
  EXPECT_EQ(result.OutLines().back(), "User break");
  EXPECT_FALSE(Contains(result, "Target : OSD"));
  EXPECT_LT(programmer->BlockCount(emulator::TargetUsbHost), 201);
  EXPECT_FALSE(QFile::exists(folder_.filePath("kvmflash/bootsect.d0s")));
}

INSTANTIATE_TEST_SUITE_P(CtrlCTermAndHangUp, CliProgramSignal, ::testing::Values(SIGINT, SIGTERM, SIGHUP));

TEST_F(CliProgram, WaitForeverAndWaitZero) {
  ids_.push_back(bed_->Plug(TUmockdevHid::Mouse()));
  const QString file = WriteFirmware("osd.bin", Image(60, 5));
  // Nothing to connect: 0 fails at once (the countdown alone is 3 ticks of a second).
  const TCliResult none = RunCli({"program", "--osd", file, "--wait", "0"}, 2500, QProcessEnvironment::systemEnvironment());
  ASSERT_TRUE(none.Finished);
  EXPECT_EQ(none.ExitCode, 3) << none.Err;

  // A programmer already present is still connected with 0, and "forever" waits for one.
  const auto programmer = PlugProgrammer();
  for (const char* wait : {"0", "forever"}) {
    const TCliResult result = RunCli({"program", "--osd", file, "--wait", wait}, 10000, Environment());
    EXPECT_EQ(result.ExitCode, 0) << wait << "\n" << result.Err;
    EXPECT_TRUE(Contains(result, "Program OK")) << wait;
  }
}

TEST_F(CliProgram, QuietPrintsTheResultsAndVerboseTheSteps) {
  const auto programmer = PlugProgrammer();
  programmer->SetChipID(emulator::TargetUsbHost, 0x1234);
  const QString usbFile = WriteFirmware("host.bin", Image(200, 3));
  const QString osdFile = WriteFirmware("osd.osd", Image(60, 4));

  const TCliResult quiet =
      RunCli({"program", "--usb-host", usbFile, "--osd", osdFile, "--wait", "5", "--quiet"}, 10000, Environment());
  EXPECT_EQ(quiet.ExitCode, 1);
  EXPECT_EQ(quiet.Out, "USB Host: Incompatible Chip ID: 1234\nOSD: Program OK\n");
  // A failed job's reason is on standard error in every mode.
  EXPECT_TRUE(Has(quiet.Err, "kvmflash-cli: USB Host job failed: Incompatible Chip ID: 1234")) << quiet.Err;

  const TCliResult verbose = RunCli({"program", "--osd", osdFile, "--wait", "5", "--verbose"}, 10000, Environment());
  EXPECT_EQ(verbose.ExitCode, 0) << verbose.Err;
  EXPECT_EQ(verbose.OutLines(), Join(ConnectLines(), JobLines("OSD", osdFile, "Program OK")));
  EXPECT_TRUE(Has(verbose.Err, "kvmflash-cli: status: Scanning...")) << verbose.Err;
  EXPECT_TRUE(Has(verbose.Err, "HID interface(s) present")) << verbose.Err;
  EXPECT_TRUE(Has(verbose.Err, "kvmflash-cli: * ")) << verbose.Err;

  EXPECT_EQ(RunCli({"program", "--osd", osdFile, "--quiet", "--verbose"}).ExitCode, 2);
}

TEST_F(CliProgram, AProgrammerThatCannotBeOpenedIsNotUsed) {
  TEmulatedHid locked = TUmockdevHid::Programmer();
  locked.Writable = false;
  ids_.push_back(bed_->Plug(locked));
  const std::string node = bed_->DevNode(ids_.back());
  const QString file = WriteFirmware("osd.bin", Image(60, 5));

  const TCliResult result = RunCli({"program", "--osd", file, "--wait", "5"}, 10000, Environment());
  EXPECT_EQ(result.ExitCode, 3) << result.Err;
  EXPECT_TRUE(Has(result.Err, "the KVM programmer at " + node + " cannot be opened for reading and writing"))
      << result.Err;
  EXPECT_TRUE(Has(result.Err, "install the udev rule 70-kvmflash.rules")) << result.Err;
  EXPECT_FALSE(Contains(result, "Programming..."));
  // Not connected, so not said to be.
  EXPECT_FALSE(Contains(result, ConnectLines().back())) << result.Out;

  const TCliResult list = RunCli({"list"}, 5000, Environment());
  EXPECT_TRUE(Has(list.Out, "! KVM Programmer (Serial=PRG-0001)  " + node)) << list.Out;
  EXPECT_TRUE(Has(list.Err, node + " is a KVM programmer that cannot be opened")) << list.Err;
  const QJsonArray json = QJsonDocument::fromJson(QByteArray::fromStdString(RunCli({"list", "--json"}, 5000, Environment()).Out)).array();
  ASSERT_EQ(json.size(), 1);
  EXPECT_TRUE(json[0].toObject()["access_error"].isString());
}

// Whoever connects a programmer owns it: a second process is refused and
// sends nothing that could mix with the running job.
TEST_F(CliProgram, AProgrammerHeldByAnotherProgramIsLeftAlone) {
  const auto programmer = PlugProgrammer();
  programmer->AddRule(BlockRule(TFaultAction::Delayed(20)));
  const std::string node = bed_->DevNode(ids_.back());
  const QString big = WriteFirmware("big.bin", Image(48 + 56 * 39, 3));
  const QString other = WriteFirmware("other.bin", Image(48 + 56 * 5, 4));

  TCliRun first({"program", "--osd", big, "--wait", "5"}, Environment());
  ASSERT_TRUE(WaitFor([&] { return HasReceivedBlock(*programmer, 2); }, 8000));
  const std::string holder = "in use by PID " + std::to_string(first.Pid()) + " (kvmflash-cli)";

  const TCliResult second = RunCli({"program", "--osd", other, "--wait", "0"}, 8000, Environment());
  EXPECT_EQ(second.ExitCode, 3) << second.Err;
  EXPECT_TRUE(Has(second.Err, "the KVM programmer at " + node + " is " + holder)) << second.Err;
  EXPECT_FALSE(Contains(second, ConnectLines().back())) << second.Out;
  const TCliResult list = RunCli({"list"}, 5000, Environment());
  EXPECT_TRUE(Has(list.Out, "! KVM Programmer (Serial=PRG-0001)  " + node)) << list.Out;
  EXPECT_TRUE(Has(list.Err, holder)) << list.Err;
  const TCliResult doctor = RunCli({"doctor"}, 5000, Environment());
  EXPECT_EQ(doctor.ExitCode, 1) << doctor.Out;
  EXPECT_TRUE(Has(doctor.Out, node + " is " + holder)) << doctor.Out;

  const TCliResult done = first.Finish(20000);
  EXPECT_EQ(done.ExitCode, 0) << done.Err;
  EXPECT_TRUE(Contains(done, "Program OK")) << done.Out;
  EXPECT_EQ(programmer->BlockCount(emulator::TargetOsd), 40);
}

TEST_F(CliProgram, DoctorExitsByWhatItFinds) {
  ids_.push_back(bed_->Plug(TUmockdevHid::Mouse()));
  struct TState {
    const char* Name;
    bool Plug, Writable;
    int Exit;
    std::string Finding;
  };
  for (const TState& state : {TState{"none", false, true, 3, "FAIL no KVM programmer (0B39:FF03) is plugged in"},
                              TState{"usable", true, true, 0, " opens for reading and writing"},
                              TState{"locked", true, false, 1, " cannot be opened for reading and writing"}}) {
    int id = -1;
    if (state.Plug) {
      TEmulatedHid programmer = TUmockdevHid::Programmer();
      programmer.Writable = state.Writable;
      id = bed_->Plug(programmer);
    }
    const TCliResult result = RunCli({"doctor"}, 10000, Environment());
    const TCliResult json = RunCli({"doctor", "--json"}, 10000, Environment());
    const QJsonObject findings = QJsonDocument::fromJson(QByteArray::fromStdString(json.Out)).object();
    EXPECT_EQ(json.ExitCode, state.Exit);
    EXPECT_EQ(findings["exit_code"].toInt(), state.Exit);
    int failures = 0;
    for (const QJsonValue finding : findings["findings"].toArray()) {
      failures += finding.toObject()["level"].toString() == "fail";
      EXPECT_TRUE(finding.toObject()["text"].isString());
    }
    EXPECT_EQ(failures > 0, state.Exit != 0) << json.Out;
    EXPECT_EQ(result.ExitCode, state.Exit) << state.Name << "\n" << result.Out << result.Err;
    EXPECT_TRUE(Has(result.Out, "ok   libudev is loaded")) << result.Out;
    EXPECT_TRUE(Has(result.Out, "HID interface(s) visible")) << result.Out;
    EXPECT_TRUE(Has(result.Out, state.Finding)) << state.Name << "\n" << result.Out;
    EXPECT_TRUE(Has(result.Out, "70-kvmflash.rules")) << result.Out;
    if (id >= 0) {
      EXPECT_TRUE(Has(result.Out, bed_->DevNode(id) + ": owner ")) << result.Out;
      bed_->Unplug(id);
    }
    if (!state.Writable) {
      EXPECT_TRUE(Has(result.Out, "     fix: install the udev rule")) << result.Out;
    }
    // A FAIL is what stops this user now: there is one exactly when the exit says so.
    EXPECT_EQ(Has(result.Out, "FAIL "), state.Exit != 0) << state.Name << "\n" << result.Out;
    EXPECT_FALSE(Has(result.Out, "'kvmflash-cli doctor' shows")) << result.Out;
  }
}

}  // namespace
}  // namespace kvm::test
