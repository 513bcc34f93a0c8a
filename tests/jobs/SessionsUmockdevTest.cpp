// Two programming sessions at once on the real Linux back end: hidraw nodes
// emulated with umockdev, one answered by the programmer emulator and one
// silent. The healthy session finishes before the silent one's wait gives up,
// and neither session's lines or reports reach the other.
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "SessionTestSupport.h"
#include "UmockdevHid.h"
#include "WaitFor.h"
#include "emulator/ProgrammerEmulator.h"
#include "hid/platform/linux/LinuxHidPlatform.h"
#include "jobs/ProgrammingSession.h"

namespace kvm::test {
namespace {

using jobs::TSessionEventKind;

// The wait gives up after six ticks (600 ms); the healthy job of 200 blocks
// takes a fraction of that.
constexpr int TickMs = 100 * SanitizerSlowdown;
constexpr std::size_t Blocks = 200;

TEST(SessionsUmockdevTest, TwoSessionsOnHidrawAndASilentOneDelaysNeither) {
  if (!TUmockdevHid::Available()) GTEST_SKIP() << "umockdev preload not active: hidraw emulation unavailable";
  TUmockdevHid bed;
  QTemporaryDir folder;
  ASSERT_TRUE(folder.isValid());

  auto emulator = std::make_shared<emulator::TProgrammerEmulator>();
  TEmulatedHid healthy = TUmockdevHid::Programmer();
  healthy.Serial = "KPHEALTHY1";
  const int healthyId = bed.Plug(healthy, emulator::TProgrammerEmulator::ReplyFunction(emulator));
  TEmulatedHid silent = TUmockdevHid::Programmer();
  silent.Serial = "KPSILENT01";
  const int silentId = bed.Plug(silent, [](const std::uint8_t*, std::size_t) { return std::vector<TReport>{}; });

  const std::vector<std::uint8_t> image = SessionImage(Blocks, 1);
  const std::string healthyFile = WriteImage(folder, "healthy.bin", image);
  const std::string silentFile = WriteImage(folder, "silent.bin", SessionImage(Blocks, 2));
  ASSERT_FALSE(healthyFile.empty());
  ASSERT_FALSE(silentFile.empty());

  TEventLog healthyEvents;
  TEventLog silentEvents;
  auto makeSession = [](const std::string& serial, TEventLog& events) {
    jobs::TSessionOptions options;
    options.Stack = jobs::TStackOptions::WithTick(TickMs);
    options.Stack.CountdownTickMs = 10;
    options.Stack.RequiredSerial = serial;
    auto session =
        std::make_unique<jobs::TProgrammingSession>(hid::platform::MakeLinuxHidPlatform(), options,
                                                    [&events](const jobs::TSessionEvent& event) { events.Add(event); });
    return session;
  };
  auto healthySession = makeSession(healthy.Serial, healthyEvents);
  auto silentSession = makeSession(silent.Serial, silentEvents);
  ASSERT_TRUE(
      WaitFor([&] { return healthySession->IsConnected() && silentSession->IsConnected(); }, 3000 * SanitizerSlowdown));

  silentSession->Program({{{TTarget::UsbHost, silentFile}}});
  healthySession->Program({{{TTarget::UsbHost, healthyFile}}});
  ASSERT_TRUE(WaitFor([&] { return !healthySession->IsBusy() && !silentSession->IsBusy(); }, 5000 * SanitizerSlowdown));

  TEventLog::TEntry timeOut;
  ASSERT_TRUE(silentEvents.Find(TSessionEventKind::LogLine, timeOut, "KVM Programmer is time out."));
  TEventLog::TEntry healthyEnd;
  TEventLog::TEntry silentEnd;
  ASSERT_TRUE(healthyEvents.Find(TSessionEventKind::JobEnded, healthyEnd));
  ASSERT_TRUE(silentEvents.Find(TSessionEventKind::JobEnded, silentEnd));
  EXPECT_EQ(healthyEnd.Event.Result, 0);
  EXPECT_EQ(healthyEnd.Event.Text, "Program OK");
  EXPECT_LT(healthyEnd.At, timeOut.At);
  EXPECT_EQ(silentEnd.Event.Result, -2);
  EXPECT_EQ(silentEnd.Event.Text, "Enable Programmer failed : -2");

  // Each programmer got its own session's reports only.
  EXPECT_EQ(emulator->Image(emulator::TargetUsbHost), image);
  EXPECT_EQ(emulator->ReportCount(), Blocks + 5);
  EXPECT_EQ(bed.OutputReports(healthyId).size(), Blocks + 5);
  ASSERT_EQ(bed.OutputReports(silentId).size(), 1u);
  EXPECT_EQ(bed.OutputReports(silentId)[0][2], emulator::CmdEnable);

  // Each sink got its own lines only.
  for (const std::string& line : healthyEvents.LogLines()) {
    EXPECT_EQ(line.find(silent.Serial), std::string::npos) << line;
    EXPECT_EQ(line.find(silentFile), std::string::npos) << line;
    EXPECT_NE(line, "KVM Programmer is time out.");
  }
  for (const std::string& line : silentEvents.LogLines()) {
    EXPECT_EQ(line.find(healthy.Serial), std::string::npos) << line;
    EXPECT_EQ(line.find(healthyFile), std::string::npos) << line;
  }
}

}  // namespace
}  // namespace kvm::test
