// Jobs recorded on the simulated bus against the emulated programmer, then
// played back from the recording: the same log lines and results, and a
// replay that meets a different image stops at the first differing block.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <cerrno>

#include "RecordingStatus.h"
#include "WaitFor.h"
#include "emulator/ProgrammerEmulator.h"
#include "hid/platform/sim/SimHidPlatform.h"
#include "hid/record/RecordingHidPlatform.h"
#include "hid/record/RecordingWriter.h"
#include "hid/record/ReplayHidPlatform.h"
#include "hid/record/ReplayReport.h"
#include "jobs/ProgrammerStack.h"
#include "jobs/ProgrammingJobs.h"
#include "link/ProgrammerLink.h"
#include "protocol/ReportNames.h"

namespace kvm::hid::record {
namespace {

using namespace emulator;
using Lines = std::vector<std::string>;

constexpr int TickMs = 10;

// The log without its READ ERROR lines. After an unplug the reader's read
// fails only when it is outstanding as the device goes, which the system's
// timing decides, in a recorded run as in its replay: where such a line
// stands (or whether it does) is no difference between the two.
std::vector<std::string> WithoutReadErrors(std::vector<std::string> log) {
  log.erase(std::remove_if(log.begin(), log.end(),
                           [](const std::string& line) { return line.rfind("READ ERROR", 0) == 0; }),
            log.end());
  return log;
}

std::vector<std::uint8_t> Image(std::size_t length, std::uint8_t seed) {
  std::vector<std::uint8_t> image(length);
  for (std::size_t i = 0; i < length; ++i) image[i] = static_cast<std::uint8_t>(seed + i * 7);
  return image;
}

// The utility below the window on any platform, with the USB Host ticked.
class TStack {
 public:
  explicit TStack(std::shared_ptr<platform::THidPlatform> platform, const std::string& serial = {})
      : stack_(std::move(platform), jobs::TStackFrontEnd{window, state, pump, &window, &window},
               jobs::TStackOptions::WithTick(TickMs)) {
    window.connected = &state.Connected;
    window.checked[TTarget::UsbHost] = true;
    if (!serial.empty()) stack_.Link().SetRequiredSerial(serial);
    stack_.Link().BindController();
    stack_.Link().FormActivate();
  }
  bool WaitConnected() {
    return test::WaitFor([&] { return state.Connected && !stack_.Link().CheckTargetTimer().Enabled(); }, 3000);
  }
  // The job, then whatever the link does after it until it settles.
  std::int32_t Run(const std::string& file) {
    const std::int32_t result = stack_.Jobs().RunProgramJob(TTarget::UsbHost, file, TargetCode(TTarget::UsbHost));
    test::WaitFor([&] { return !stack_.Link().CheckTargetTimer().Enabled(); }, 3000);
    return result;
  }

  test::TRecordingStatus window;
  TProgrammerState state;
  TQtMessagePump pump;

 private:
  jobs::TProgrammerStack stack_;
};

struct TCase {
  const char* Name;
  std::vector<TFaultRule> Rules;
  std::int32_t Result;
  const char* LastLine;
};

void PrintTo(const TCase& c, std::ostream* out) { *out << c.Name; }

TFaultRule Rule(std::uint8_t command, TFaultAction action, std::optional<std::uint16_t> block = std::nullopt,
                std::optional<int> occurrence = std::nullopt) {
  return {{command, {}, block, occurrence}, std::move(action)};
}

const TCase Cases[] = {
    {"Success", {}, 0, "Program OK"},
    {"RetriedBlock", {Rule(CmdBlockWrite, TFaultKind::Drop, 2, 1)}, 0, "Program OK"},
    {"SilentProgrammer", {Rule(CmdEnable, TFaultKind::Silence)}, -2, "Enable Programmer failed : -2"},
    {"ChecksumMismatch",
     {Rule(CmdCheckSum, TFaultAction::Value16(TFaultKind::WrongValue, 0x1234))},
     -10,
     nullptr},
    {"UnplugMidJob", {Rule(CmdBlockWrite, TFaultKind::Unplug, 2)}, -1, nullptr},
};

class RecordReplay : public ::testing::TestWithParam<TCase> {
 protected:
  void SetUp() override {
    ASSERT_TRUE(folder_.isValid());
    firmware_ = Path("fw.bin");
    WriteFile(firmware_, Image(200, 1));
  }
  std::string Path(const char* name) const { return folder_.filePath(name).toStdString(); }
  static void WriteFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    QFile file(QString::fromStdString(path));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size()));
  }

  // Runs the job against the emulator with the case's faults, recorded.
  std::pair<std::int32_t, Lines> Record(const TCase& c, const std::string& recording) {
    auto emulator = std::make_shared<TProgrammerEmulator>();
    for (const TFaultRule& rule : c.Rules) emulator->AddRule(rule);
    auto sim = std::make_shared<platform::TSimHidPlatform>();
    sim->Plug(platform::SimProgrammer(), TProgrammerEmulator::Responder(emulator));
    std::string error;
    std::shared_ptr<TRecordingWriter> writer = TRecordingWriter::ToFile(recording, {firmware_}, error);
    EXPECT_TRUE(writer) << error;
    std::pair<std::int32_t, Lines> outcome;
    {
      TStack stack(std::make_shared<TRecordingHidPlatform>(sim, writer));
      EXPECT_TRUE(stack.WaitConnected());
      outcome = {stack.Run(firmware_), stack.window.log};
    }
    EXPECT_TRUE(writer->Finish(error)) << error;
    return outcome;
  }

  std::unique_ptr<TStack> Replay(const std::string& recording, std::shared_ptr<TReplayHidPlatform>& replay,
                                 bool fast) {
    TRecording parsed;
    std::string error;
    EXPECT_TRUE(ReadRecordingFile(recording, parsed, error)) << error;
    replay = std::make_shared<TReplayHidPlatform>(std::move(parsed), fast);
    auto stack = std::make_unique<TStack>(replay);
    EXPECT_TRUE(stack->WaitConnected());
    return stack;
  }

  QTemporaryDir folder_;
  std::string firmware_;
};

TEST_P(RecordReplay, ReplayGivesTheRecordedLogAndResult) {
  const TCase& c = GetParam();
  const std::string recording = Path("session.jsonl");
  const auto [result, log] = Record(c, recording);
  ASSERT_EQ(result, c.Result);
  if (c.LastLine != nullptr) {
    EXPECT_EQ(log.back(), c.LastLine);
  }

  for (const bool fast : {false, true}) {
    SCOPED_TRACE(fast ? "fast" : "recorded timing");
    std::shared_ptr<TReplayHidPlatform> replay;
    auto stack = Replay(recording, replay, fast);
    EXPECT_EQ(stack->Run(firmware_), c.Result);
    EXPECT_EQ(WithoutReadErrors(stack->window.log), WithoutReadErrors(log));
    EXPECT_FALSE(replay->Stop());
    EXPECT_EQ(replay->Unfinished(), std::vector<std::string>{});
  }
}

INSTANTIATE_TEST_SUITE_P(Jobs, RecordReplay, ::testing::ValuesIn(Cases),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST_F(RecordReplay, ADifferentImageStopsAtTheFirstDifferingBlock) {
  const std::string recording = Path("session.jsonl");
  ASSERT_EQ(Record(Cases[0], recording).first, 0);
  // Same length, so the same commands up to block 2 (image bytes 104..159).
  std::vector<std::uint8_t> other = Image(200, 1);
  other[52 + 56 + 10] ^= 0xFF;
  const std::string otherFile = Path("other.bin");
  WriteFile(otherFile, other);

  std::shared_ptr<TReplayHidPlatform> replay;
  auto stack = Replay(recording, replay, true);
  EXPECT_NE(stack->Run(otherFile), 0);
  EXPECT_EQ(stack->window.log.back(), "Program Fail");
  const std::optional<TReplayStop> stop = replay->Stop();
  ASSERT_TRUE(stop);
  EXPECT_EQ(stop->WriteNumber, 6u);  // enable, initialise, chip ID, blocks 0 and 1, then block 2
  const std::string text = ReplayStopText(*stop, protocol::ReportStepName);
  EXPECT_EQ(text.rfind("replay stopped at write 6 (block 2): expected 04 04 06 00 02", 0), 0u) << text;
  EXPECT_NE(text.find("(first difference at byte 22)"), std::string::npos) << text;
}

// What a recording holds: the device's identity and its port, the firmware's
// name without its folder, every exchange in order.
TEST_F(RecordReplay, TheRecordingHoldsTheIdentityAndNoFolders) {
  const std::string recording = Path("session.jsonl");
  ASSERT_EQ(Record(Cases[0], recording).first, 0);
  TRecording parsed;
  std::string error;
  ASSERT_TRUE(ReadRecordingFile(recording, parsed, error)) << error;
  EXPECT_EQ(parsed.Firmware, std::vector<std::string>{"fw.bin"});
  ASSERT_EQ(parsed.Devices.size(), 1u);
  const TRecordedIdentity& identity = parsed.Devices[0].Identity;
  ASSERT_TRUE(identity.Attributes && identity.Caps);
  EXPECT_EQ(identity.Attributes->VendorID, 0x0B39);
  EXPECT_EQ(identity.Caps->InputReportByteLength, 8);
  EXPECT_EQ(identity.SerialNumber, std::u16string(u"KP000001"));
  EXPECT_EQ(identity.PortPath, "sim-1");
  EXPECT_EQ(identity.ReportDescriptor, platform::SimProgrammer().ReportDescriptor);
  std::size_t writes = 0, reads = 0;
  for (const TRecordedEvent& event : parsed.Devices[0].Events) {
    writes += event.Kind == TEventKind::Write;
    reads += event.Kind == TEventKind::Read && event.Status == platform::TReadStatus::Data;
  }
  EXPECT_EQ(writes, 3u + 4u + 2u);  // enable, initialise, chip ID, 4 blocks, checksum, disable
  EXPECT_GE(reads, 2 * writes);
  QFile file(QString::fromStdString(recording));
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  EXPECT_FALSE(file.readAll().contains(folder_.path().toUtf8()));
}

// Into a folder, each device gets a file of its own, named by its port,
// which replays like a single recording: two stacks, a programmer each.
TEST_F(RecordReplay, AFolderGetsOneFilePerDevice) {
  const std::string folder = Path("units");
  auto sim = std::make_shared<platform::TSimHidPlatform>();
  platform::TSimDeviceInfo second = platform::SimProgrammer();
  second.SerialNumber = u"KP000002";
  second.PortPath = "3-1.4";
  for (const platform::TSimDeviceInfo& info : {platform::SimProgrammer(), second})
    sim->Plug(info, TProgrammerEmulator::Responder(std::make_shared<TProgrammerEmulator>()));
  std::string error;
  std::shared_ptr<TRecordingWriter> writer = TRecordingWriter::ToFolder(folder, {firmware_}, error);
  ASSERT_TRUE(writer) << error;
  Lines secondLog;
  {
    auto recording = std::make_shared<TRecordingHidPlatform>(sim, writer);
    TStack first(recording, "KP000001");
    TStack second(recording, "KP000002");
    ASSERT_TRUE(first.WaitConnected() && second.WaitConnected());
    ASSERT_EQ(first.Run(firmware_), 0);
    ASSERT_EQ(second.Run(firmware_), 0);
    secondLog = second.window.log;
  }
  ASSERT_TRUE(writer->Finish(error)) << error;
  EXPECT_EQ(QDir(QString::fromStdString(folder)).entryList(QDir::Files, QDir::Name),
            (QStringList{"unit-3-1.4.jsonl", "unit-sim-1.jsonl"}));
  std::shared_ptr<TReplayHidPlatform> replay;
  auto stack = Replay(folder + "/unit-3-1.4.jsonl", replay, true);
  EXPECT_EQ(stack->Run(firmware_), 0);
  EXPECT_EQ(stack->window.log, secondLog);
  EXPECT_EQ(TRecordingWriter::DeviceFileName(1, ""), "unit-2.jsonl");
}

// A file that exists is never replaced by a recording.
TEST_F(RecordReplay, AnExistingFileIsNotOverwritten) {
  std::string error;
  EXPECT_FALSE(TRecordingWriter::ToFile(firmware_, {}, error));
  EXPECT_EQ(error, "create " + firmware_ + ": file exists");
  QFile file(QString::fromStdString(firmware_));
  EXPECT_EQ(file.size(), 200);
}

// A folder that cannot be made says what is in its way.
TEST_F(RecordReplay, AFolderThatCannotBeMadeSaysWhy) {
  const std::string inFile = firmware_ + "/units";
  const struct {
    std::string Folder, Reason;
  } cases[] = {
      {firmware_, "it exists and is not a folder"},
      {inFile, firmware_ + " is not a folder"},
  };
  for (const auto& c : cases) {
    std::string error;
    EXPECT_FALSE(TRecordingWriter::ToFolder(c.Folder, {}, error));
    EXPECT_EQ(error, "create folder " + c.Folder + ": " + c.Reason);
  }
}

// A recording that holds no exchange is removed, said so, and its name is
// free for the next run; one with an exchange stays.
TEST_F(RecordReplay, ARecordingWithNoExchangeIsRemoved) {
  QTemporaryDir folder;
  TRecordedIdentity identity;
  identity.PortPath = "1-2";
  TRecordedEvent unplug;
  unplug.Kind = TEventKind::Unplug;
  TRecordedEvent write;
  write.Bytes = {1, 2, 3};
  struct Case {
    const char* Name;
    bool Folder;
    std::vector<TRecordedEvent> Events;
    bool Kept;
  } cases[] = {
      {"file, no device", false, {}, false},
      {"file, a device and its unplug", false, {unplug}, false},
      {"folder, a device and its unplug", true, {unplug}, false},
      {"file, one report written", false, {write}, true},
      {"folder, one report written", true, {write}, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    const std::string target = folder.filePath(c.Folder ? "units" : "out.jsonl").toStdString();
    const std::string file = c.Folder ? target + "/unit-1-2.jsonl" : target;
    QFile::remove(QString::fromStdString(file));
    for (int run = 0; run < 2; ++run) {  // the second run takes the name again
      std::string error;
      std::shared_ptr<TRecordingWriter> writer = c.Folder ? TRecordingWriter::ToFolder(target, {}, error)
                                                          : TRecordingWriter::ToFile(target, {}, error);
      ASSERT_TRUE(writer) << error;
      std::vector<std::string> removed;
      writer->OnRemoved = [&removed](const std::string& message) { removed.push_back(message); };
      if (c.Folder || !c.Events.empty()) writer->AddDevice(identity);
      for (const TRecordedEvent& event : c.Events) writer->Add(event);
      ASSERT_TRUE(writer->Finish(error)) << error;
      EXPECT_EQ(QFile::exists(QString::fromStdString(file)), c.Kept);
      EXPECT_EQ(removed, c.Kept ? Lines{} : Lines{file + ": removed, it holds no exchange with a device"});
      if (c.Kept) break;
    }
  }
}

}  // namespace
}  // namespace kvm::hid::record
