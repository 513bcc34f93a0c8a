// The simulated HID back end: plugging, notices, access, capabilities, and
// reads and writes that behave like hidraw.
#include <gtest/gtest.h>

#include <poll.h>

#include <cerrno>
#include <chrono>
#include <future>
#include <thread>

#include "ReportBuilder.h"
#include "emulator/ProgrammerEmulator.h"
#include "hid/platform/sim/SimHidPlatform.h"

namespace kvm::hid::platform {
namespace {

using emulator::TFaultAction;
using emulator::TFaultKind;
using emulator::TProgrammerEmulator;
using Bytes = std::vector<std::uint8_t>;
using Clock = std::chrono::steady_clock;

bool NoticePending(TSimHidPlatform& platform) {
  pollfd fd{platform.NoticeFd(), POLLIN, 0};
  return poll(&fd, 1, 0) == 1;
}

class SimHidPlatformTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(platform.LoadEnumeration());
    ASSERT_TRUE(platform.LoadHidAccess());
  }
  std::unique_ptr<THidHandle> Open(std::uint64_t id, TOpenMode mode = TOpenMode::ReadWrite) {
    std::uint32_t error = 0;
    return platform.Open(platform.PathOf(id), mode, error);
  }
  std::uint64_t PlugProgrammer() {
    return platform.Plug(SimProgrammer(), TProgrammerEmulator::Responder(emulator));
  }
  static bool Write(THidHandle& handle, const Bytes& report, std::uint32_t* errorOut = nullptr) {
    std::size_t written = 0;
    std::uint32_t error = 0;
    const bool ok = handle.Write(report.data(), report.size(), written, error);
    if (errorOut) *errorOut = error;
    return ok && written == report.size();
  }
  static TReadStatus Read(THidHandle& handle, Bytes& report, int timeoutMs = 0) {
    report.assign(64, 0);
    std::size_t got = 0;
    std::uint32_t error = 0;
    const TReadStatus status = handle.Read(report.data(), report.size(), got, timeoutMs, error);
    report.resize(got);
    return status;
  }
  static THidCaps CapsOf(TSimHidPlatform& platform, THidHandle& handle) {
    THidCaps caps;
    auto data = handle.GetPreparsedData();
    if (data) platform.GetCaps(*data, caps);
    return caps;
  }

  TSimHidPlatform platform;
  std::shared_ptr<TProgrammerEmulator> emulator = std::make_shared<TProgrammerEmulator>();
};

TEST_F(SimHidPlatformTest, PlugAndUnplugRaiseNoticesAndIdsAreNeverReused) {
  EXPECT_FALSE(NoticePending(platform));
  const std::uint64_t a = platform.Plug(SimProgrammer());
  const std::uint64_t b = platform.Plug(SimMouse());
  EXPECT_TRUE(NoticePending(platform));
  EXPECT_EQ(platform.DrainNotices(), 2);
  EXPECT_FALSE(NoticePending(platform));
  EXPECT_EQ(platform.DrainNotices(), 0);

  ASSERT_TRUE(platform.Unplug(a));
  EXPECT_FALSE(platform.Unplug(a));  // once only
  EXPECT_EQ(platform.DrainNotices(), 1);
  const std::uint64_t c = platform.Plug(SimProgrammer());
  EXPECT_NE(c, a);
  EXPECT_NE(c, b);
  const auto interfaces = platform.ScanInterfaces();
  ASSERT_EQ(interfaces.size(), 2u);
  EXPECT_EQ(interfaces[0].DeviceID, b);  // plug order
  EXPECT_EQ(interfaces[1].DeviceID, c);
  EXPECT_EQ(interfaces[1].DevicePath, "sim://hid/" + std::to_string(c));
}

TEST_F(SimHidPlatformTest, NothingIsListedWhileUnbound) {
  platform.Plug(SimProgrammer());
  platform.UnloadHidAccess();
  EXPECT_TRUE(platform.ScanInterfaces().empty());
  ASSERT_TRUE(platform.LoadHidAccess());
  ASSERT_TRUE(platform.LoadEnumeration());  // counted: two loads need two unloads
  platform.UnloadEnumeration();
  EXPECT_EQ(platform.ScanInterfaces().size(), 1u);
  platform.UnloadEnumeration();
  EXPECT_TRUE(platform.ScanInterfaces().empty());
}

TEST_F(SimHidPlatformTest, BindFailureCanBeRequested) {
  TSimHidPlatform unbound;
  unbound.SetBindFailure(false, true);
  EXPECT_TRUE(unbound.LoadEnumeration());
  EXPECT_FALSE(unbound.LoadHidAccess());
  EXPECT_FALSE(unbound.IsHidAccessLoaded());
  unbound.SetBindFailure(true, false);
  EXPECT_FALSE(unbound.LoadEnumeration());
  EXPECT_EQ(unbound.EnumerationReferences(), 1);
}

TEST_F(SimHidPlatformTest, AccessRights) {
  TSimDeviceInfo none = SimProgrammer();
  none.Access = TSimAccess::None;
  const std::uint64_t keyboard = platform.Plug(SimBootKeyboard());
  const std::uint64_t locked = platform.Plug(none);
  std::uint32_t error = 0;
  EXPECT_EQ(platform.Open(platform.PathOf(keyboard), TOpenMode::ReadWrite, error), nullptr);
  EXPECT_EQ(error, static_cast<std::uint32_t>(EACCES));
  EXPECT_EQ(platform.Open(platform.PathOf(keyboard), TOpenMode::Read, error), nullptr);
  auto query = platform.Open(platform.PathOf(keyboard), TOpenMode::QueryOnly, error);
  ASSERT_NE(query, nullptr);
  THidAttributes attributes;
  EXPECT_TRUE(query->GetAttributes(attributes));
  EXPECT_EQ(attributes.VendorID, 0x046D);
  // A query-only handle neither writes nor reads.
  EXPECT_FALSE(Write(*query, Bytes(2, 0), &error));
  EXPECT_EQ(error, static_cast<std::uint32_t>(EBADF));
  Bytes report;
  EXPECT_EQ(Read(*query, report), TReadStatus::Error);

  for (TOpenMode mode : {TOpenMode::ReadWrite, TOpenMode::QueryOnly}) {
    error = 0;
    EXPECT_EQ(platform.Open(platform.PathOf(locked), mode, error), nullptr);
    EXPECT_EQ(error, static_cast<std::uint32_t>(EACCES));
  }
  EXPECT_EQ(platform.Open("sim://hid/999", TOpenMode::QueryOnly, error), nullptr);
  EXPECT_EQ(error, static_cast<std::uint32_t>(ENOENT));
}

TEST_F(SimHidPlatformTest, CapsComeFromTheDescriptors) {
  struct Case {
    TSimDeviceInfo Info;
    std::uint16_t Input, Output;
  };
  const Case cases[] = {{SimProgrammer(), 8, 64},       {SimProgrammerWithInputLength(65), 65, 64},
                        {SimOtherProduct(), 8, 64},     {SimBootKeyboard(), 9, 2},
                        {SimMouse(), 4, 0}};
  for (const Case& c : cases) {
    const std::uint64_t id = platform.Plug(c.Info);
    auto handle = Open(id, TOpenMode::QueryOnly);
    ASSERT_NE(handle, nullptr);
    const THidCaps caps = CapsOf(platform, *handle);
    EXPECT_EQ(caps.InputReportByteLength, c.Input) << id;
    EXPECT_EQ(caps.OutputReportByteLength, c.Output) << id;
  }
  EXPECT_EQ(SimOtherProduct().Attributes.ProductID, 0xFF02);
}

TEST_F(SimHidPlatformTest, StringsAndMissingAttributes) {
  TSimDeviceInfo info = SimProgrammer();
  info.SerialNumber.reset();
  info.AttributesReadable = false;
  auto handle = Open(platform.Plug(info));
  ASSERT_NE(handle, nullptr);
  std::u16string text;
  EXPECT_TRUE(handle->GetProductString(text));
  EXPECT_EQ(text, u"KVM Programmer");
  EXPECT_FALSE(handle->GetSerialNumberString(text));
  THidAttributes attributes;
  EXPECT_FALSE(handle->GetAttributes(attributes));
}

TEST_F(SimHidPlatformTest, WriteReachesTheEmulatorAndRepliesAreReadOneByOne) {
  const std::uint64_t id = PlugProgrammer();
  auto handle = Open(id);
  ASSERT_TRUE(Write(*handle, emulator::test::CommandReport(4, emulator::CmdChipID)));
  EXPECT_EQ(platform.WrittenReports(id), 1u);
  EXPECT_EQ(emulator->Log().at(0).Bytes.size(), 64u);
  Bytes report;
  ASSERT_EQ(Read(*handle, report), TReadStatus::Data);
  EXPECT_EQ(report, TProgrammerEmulator::ValueReport(0x2052));
  ASSERT_EQ(Read(*handle, report), TReadStatus::Data);
  EXPECT_EQ(report, TProgrammerEmulator::StatusReport(0x01));
  ASSERT_EQ(Read(*handle, report), TReadStatus::Data);
  EXPECT_EQ(report, TProgrammerEmulator::StatusReport(0x02));
  EXPECT_EQ(Read(*handle, report), TReadStatus::Timeout);
}

TEST_F(SimHidPlatformTest, ShortBufferGetsTheStartOfTheReport) {
  const std::uint64_t id = platform.Plug(SimProgrammer());
  auto handle = Open(id);
  ASSERT_TRUE(platform.InjectInputReport(id, {1, 2, 3, 4, 5, 6, 7, 8}));
  std::uint8_t buffer[3] = {};
  std::size_t got = 0;
  std::uint32_t error = 0;
  ASSERT_EQ(handle->Read(buffer, sizeof buffer, got, 0, error), TReadStatus::Data);
  EXPECT_EQ(got, 3u);
  EXPECT_EQ(buffer[2], 3);
  EXPECT_EQ(platform.QueuedReports(id), 0u);  // the rest of the report is gone, like hidraw
}

TEST_F(SimHidPlatformTest, ReadTimesOutAfterItsTimeOut) {
  auto handle = Open(platform.Plug(SimProgrammer()));
  Bytes report;
  const auto start = Clock::now();
  EXPECT_EQ(Read(*handle, report, 30), TReadStatus::Timeout);
  const auto waited = Clock::now() - start;
  EXPECT_GE(waited, std::chrono::milliseconds(30));
  EXPECT_LT(waited, std::chrono::milliseconds(500));
}

TEST_F(SimHidPlatformTest, DelayedRepliesAreReadableOnlyWhenDue) {
  emulator->SetReplyDelay(20);
  const std::uint64_t id = PlugProgrammer();
  auto handle = Open(id);
  const auto start = Clock::now();
  ASSERT_TRUE(Write(*handle, emulator::test::CommandReport(0, emulator::CmdEnable)));
  Bytes report;
  EXPECT_EQ(Read(*handle, report, 0), TReadStatus::Timeout);
  ASSERT_EQ(Read(*handle, report, 1000), TReadStatus::Data);
  ASSERT_EQ(Read(*handle, report, 1000), TReadStatus::Data);
  EXPECT_EQ(report, TProgrammerEmulator::StatusReport(0x02));
  // Two replies, 20 ms apart.
  EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(40));
}

TEST_F(SimHidPlatformTest, UnplugWakesAWaitingReaderWithGone) {
  const std::uint64_t id = platform.Plug(SimProgrammer());
  auto handle = Open(id);
  auto reader = std::async(std::launch::async, [&] {
    Bytes report;
    return Read(*handle, report, 5000);
  });
  // The reader is either waiting already or will find the device gone: both give Gone.
  ASSERT_TRUE(platform.Unplug(id));
  ASSERT_EQ(reader.wait_for(std::chrono::seconds(2)), std::future_status::ready);
  EXPECT_EQ(reader.get(), TReadStatus::Gone);
  std::uint32_t error = 0;
  EXPECT_FALSE(Write(*handle, Bytes(64, 4), &error));
  EXPECT_EQ(error, static_cast<std::uint32_t>(ENODEV));
  THidAttributes attributes;
  EXPECT_FALSE(handle->GetAttributes(attributes));
  EXPECT_EQ(platform.Open(platform.PathOf(id), TOpenMode::QueryOnly, error), nullptr);
}

TEST_F(SimHidPlatformTest, CancelEndsAWaitingReadAndEveryLaterOne) {
  const std::uint64_t id = platform.Plug(SimProgrammer());
  auto handle = Open(id, TOpenMode::Read);
  auto reader = std::async(std::launch::async, [&] {
    Bytes report;
    return Read(*handle, report, -1);  // no time-out at all
  });
  handle->Cancel();
  ASSERT_EQ(reader.wait_for(std::chrono::seconds(2)), std::future_status::ready);
  EXPECT_EQ(reader.get(), TReadStatus::Gone);
  platform.InjectInputReport(id, Bytes(8, 1));
  Bytes report;
  EXPECT_EQ(Read(*handle, report), TReadStatus::Gone);
  // Other handles on the device are not affected.
  auto other = Open(id, TOpenMode::Read);
  EXPECT_EQ(Read(*other, report), TReadStatus::Data);
}

TEST_F(SimHidPlatformTest, ReaderWokenByAReportFromAnotherThread) {
  const std::uint64_t id = platform.Plug(SimProgrammer());
  auto handle = Open(id);
  auto reader = std::async(std::launch::async, [&] {
    Bytes report;
    return Read(*handle, report, 5000) == TReadStatus::Data ? report : Bytes{};
  });
  ASSERT_TRUE(platform.InjectInputReport(id, {1, 1, 2}));
  ASSERT_EQ(reader.wait_for(std::chrono::seconds(2)), std::future_status::ready);
  EXPECT_EQ(reader.get(), (Bytes{1, 1, 2}));
}

TEST_F(SimHidPlatformTest, ResponderCanFailTheWrite) {
  emulator->AddRule({{}, TFaultAction::FailWrite(EPIPE)});
  const std::uint64_t id = PlugProgrammer();
  auto handle = Open(id);
  std::uint32_t error = 0;
  EXPECT_FALSE(Write(*handle, emulator::test::CommandReport(0, emulator::CmdEnable), &error));
  EXPECT_EQ(error, static_cast<std::uint32_t>(EPIPE));
  EXPECT_EQ(platform.WrittenReports(id), 0u);
  EXPECT_EQ(platform.QueuedReports(id), 0u);
  EXPECT_EQ(platform.ErrorText(EPIPE), "Broken pipe");
}

TEST_F(SimHidPlatformTest, ResponderCanUnplugTheDevice) {
  emulator->AddRule({{emulator::CmdBlockWrite, std::nullopt, std::uint16_t{1}, std::nullopt}, TFaultKind::Unplug});
  const std::uint64_t id = PlugProgrammer();
  platform.DrainNotices();
  auto handle = Open(id);
  const auto blocks = emulator::test::ImageBlocks(Bytes(120, 3));
  ASSERT_TRUE(Write(*handle, emulator::test::BlockReport(4, 0, blocks[0])));
  EXPECT_TRUE(Write(*handle, emulator::test::BlockReport(4, 1, blocks[1])));  // accepted, then gone
  EXPECT_EQ(platform.DrainNotices(), 1);
  EXPECT_TRUE(platform.ScanInterfaces().empty());
  Bytes report;
  EXPECT_EQ(Read(*handle, report), TReadStatus::Gone);  // pending replies went with it
}

TEST_F(SimHidPlatformTest, QueueHoldsAtMost64Reports) {
  emulator->AddRule({{}, TFaultAction::Flood({0x01, 0x02}, 100)});
  const std::uint64_t id = PlugProgrammer();
  auto handle = Open(id);
  ASSERT_TRUE(Write(*handle, emulator::test::CommandReport(0, emulator::CmdEnable)));
  EXPECT_EQ(platform.QueuedReports(id), 64u);
  EXPECT_EQ(platform.DroppedReports(id), 102u - 64u);
  Bytes report;
  ASSERT_EQ(Read(*handle, report), TReadStatus::Data);
  EXPECT_EQ(report, TProgrammerEmulator::StatusReport(0x01));  // the oldest are kept
}



}  // namespace
}  // namespace kvm::hid::platform
