// Four programming sessions at once over the simulated bus, each with its own
// emulated programmer; one programmer is silent. Nothing serializes the three
// healthy sessions behind the silent one's wait, and nothing of one session
// reaches another's sink or programmer.
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "SessionTestSupport.h"
#include "WaitFor.h"
#include "emulator/ProgrammerEmulator.h"
#include "hid/platform/sim/SimDeviceInfo.h"
#include "hid/platform/sim/SimHidPlatform.h"
#include "jobs/ProgrammingSession.h"

namespace kvm::test {
namespace {

using jobs::TSessionEventKind;

// The reply wait times out after six ticks: 1.2 s, far longer than three
// jobs of a few hundred blocks take on the simulated bus, also under Wine on
// a busy machine.
constexpr int TickMs = 200 * SanitizerSlowdown;
constexpr std::size_t Blocks = 300;
constexpr int Sessions = 4;
constexpr int Silent = 3;

struct TProgrammer {
  std::string Serial;
  std::shared_ptr<emulator::TProgrammerEmulator> Emulator = std::make_shared<emulator::TProgrammerEmulator>();
  std::vector<std::uint8_t> Image;
  std::string File;
  TEventLog Events;
  std::unique_ptr<jobs::TProgrammingSession> Session;
  std::vector<jobs::TJobOutcome> Outcomes;
  bool Done = false;
};

TEST(ParallelSessionsTest, FourSessionsProgramAtOnceAndASilentOneDelaysNone) {
  QTemporaryDir folder;
  ASSERT_TRUE(folder.isValid());
  auto platform = std::make_shared<hid::platform::TSimHidPlatform>();
  std::vector<TProgrammer> programmers(Sessions);
  for (int i = 0; i < Sessions; ++i) {
    TProgrammer& p = programmers[i];
    p.Serial = "KP00000" + std::to_string(i + 1);
    p.Image = SessionImage(Blocks, i);
    p.File = WriteImage(folder, "image" + std::to_string(i + 1) + ".bin", p.Image);
    ASSERT_FALSE(p.File.empty());
    if (i == Silent) p.Emulator->AddRule({{}, emulator::TFaultKind::Silence});
    hid::platform::TSimDeviceInfo device = hid::platform::SimProgrammer();
    device.SerialNumber = std::u16string(p.Serial.begin(), p.Serial.end());
    platform->Plug(device, emulator::TProgrammerEmulator::Responder(p.Emulator));
  }

  for (TProgrammer& p : programmers) {
    jobs::TSessionOptions options;
    options.Stack = jobs::TStackOptions::WithTick(TickMs);
    options.Stack.CountdownTickMs = 10;
    options.Stack.RequiredSerial = p.Serial;
    p.Session = std::make_unique<jobs::TProgrammingSession>(
        platform, options, [&p](const jobs::TSessionEvent& event) { p.Events.Add(event); });
  }
  for (TProgrammer& p : programmers)
    ASSERT_TRUE(WaitFor([&] { return p.Session->IsConnected(); }, 2000 * SanitizerSlowdown))
        << p.Serial << ": " << p.Events.Text();

  const TClock::time_point start = TClock::now();
  for (TProgrammer& p : programmers)
    p.Session->Program({{{TTarget::UsbHost, p.File}}}, [&p](const std::vector<jobs::TJobOutcome>& outcomes) {
      p.Outcomes = outcomes;
      p.Done = true;
    });
  ASSERT_TRUE(WaitFor([&] { return !programmers[Silent].Session->IsBusy(); }, 5000 * SanitizerSlowdown));
  for (TProgrammer& p : programmers)
    ASSERT_TRUE(WaitFor([&] { return !p.Session->IsBusy(); }, 5000 * SanitizerSlowdown)) << p.Serial;

  TEventLog::TEntry timeOut;
  ASSERT_TRUE(programmers[Silent].Events.Find(TSessionEventKind::LogLine, timeOut, "KVM Programmer is time out."));
  for (int i = 0; i < Sessions; ++i) {
    TProgrammer& p = programmers[i];
    SCOPED_TRACE(p.Serial);
    ASSERT_TRUE(p.Done);
    ASSERT_EQ(p.Outcomes.size(), 1u);
    TEventLog::TEntry ended;
    ASSERT_TRUE(p.Events.Find(TSessionEventKind::JobEnded, ended));
    if (i == Silent) {
      EXPECT_EQ(p.Outcomes[0].Result, -2);
      EXPECT_EQ(ended.Event.Text, "Enable Programmer failed : -2");
      // Only the enable command went out, and nothing was written.
      EXPECT_EQ(p.Emulator->ReportCount(), 1u);
      EXPECT_EQ(p.Emulator->BlockCount(emulator::TargetUsbHost), 0);
      continue;
    }
    EXPECT_EQ(p.Outcomes[0].Result, 0);
    EXPECT_EQ(ended.Event.Text, "Program OK");
    // Finished before the silent programmer's first wait gave up.
    EXPECT_LT(ended.At, timeOut.At);
    EXPECT_EQ(p.Emulator->Image(emulator::TargetUsbHost), p.Image);
    EXPECT_EQ(p.Emulator->BlockCount(emulator::TargetUsbHost), static_cast<int>(Blocks));
    // Enable, initialise, chip ID, the blocks, checksum, disable: its own job's reports only.
    EXPECT_EQ(p.Emulator->ReportCount(), Blocks + 5);
    TEventLog::TEntry unused;
    EXPECT_FALSE(p.Events.Find(TSessionEventKind::LogLine, unused, "KVM Programmer is time out."));
    TEventLog::TEntry progress;
    ASSERT_TRUE(p.Events.Find(TSessionEventKind::Progress, progress));
    EXPECT_EQ(progress.Event.Maximum, static_cast<int>(Blocks));
  }
  EXPECT_GT(timeOut.At - start, std::chrono::milliseconds(5 * TickMs));

  // Each sink saw its own programmer and file, and no other's.
  for (int i = 0; i < Sessions; ++i) {
    const std::vector<std::string> lines = programmers[i].Events.LogLines();
    EXPECT_NE(std::find(lines.begin(), lines.end(), "File : " + programmers[i].File), lines.end());
    EXPECT_NE(std::find(lines.begin(), lines.end(),
                        "Zorbek KVM Switch Programmer " + programmers[i].Serial + " is connected."),
              lines.end());
    for (int other = 0; other < Sessions; ++other) {
      if (other == i) continue;
      for (const std::string& line : lines) {
        EXPECT_EQ(line.find(programmers[other].Serial), std::string::npos) << line;
        EXPECT_EQ(line.find(programmers[other].File), std::string::npos) << line;
      }
    }
  }
}

}  // namespace
}  // namespace kvm::test
