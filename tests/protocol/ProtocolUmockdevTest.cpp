// The protocol over the real Linux back end: hidraw nodes emulated with
// umockdev, answered by the programmer emulator.
#include <gtest/gtest.h>

#include <memory>

#include "RecordingStatus.h"
#include "UmockdevHid.h"
#include "WaitFor.h"
#include "core/MessagePump.h"
#include "emulator/ProgrammerEmulator.h"
#include "hid/HidControllerClass.h"
#include "hid/platform/linux/LinuxHidPlatform.h"
#include "protocol/ProgrammerProtocol.h"

namespace kvm::protocol {
namespace {

using test::TReport;
using test::TUmockdevHid;

class ProtocolUmockdevTest : public ::testing::Test {
 protected:
  ProtocolUmockdevTest() : protocol(status, state, pump, 20) {}

  void SetUp() override {
    if (!TUmockdevHid::Available()) GTEST_SKIP() << "umockdev preload not active: hidraw emulation unavailable";
    bed = std::make_unique<TUmockdevHid>();
  }

  // Plugs the programmer in and connects to it the way the window does.
  void Connect(test::TOutputResponder responder) {
    deviceId = bed->Plug(TUmockdevHid::Programmer(), std::move(responder));
    controller = std::make_unique<hid::THidDeviceController>(hid::platform::MakeLinuxHidPlatform());
    ASSERT_TRUE(controller->IsBound());
    controller->SetDevThreadSleepTime(20);
    controller->SetOnDeviceDataError(hid::THidDataErrorEvent(&protocol, &TProgrammerProtocol::HidCtlDeviceDataError));
    ASSERT_TRUE(test::WaitFor([this] { return !controller->Devices().empty(); }));
    ASSERT_TRUE(controller->CheckOutByIndex(device, 0));
    device->SetOnData(hid::THidDataEvent(&protocol, &TProgrammerProtocol::HidDevData));
    state.ProgrammerDevice = device;
  }

  void TearDown() override {
    state.ProgrammerDevice = nullptr;
    delete device;
    controller.reset();
    bed.reset();
  }

  test::TRecordingStatus status;
  TProgrammerState state;
  TQtMessagePump pump;
  TProgrammerProtocol protocol;
  std::unique_ptr<TUmockdevHid> bed;
  std::unique_ptr<hid::THidDeviceController> controller;
  hid::THidDevice* device = nullptr;
  int deviceId = 0;
};

TEST_F(ProtocolUmockdevTest, ProgrammingSequenceOverHidraw) {
  auto emulator = std::make_shared<emulator::TProgrammerEmulator>();
  Connect(emulator::TProgrammerEmulator::ReplyFunction(emulator));
  if (HasFatalFailure()) return;

  EXPECT_EQ(protocol.EnableProgrammer(), 0);
  EXPECT_EQ(status.statusText, "KVM Programmer is enabled.");
  EXPECT_EQ(protocol.InitProgrammer(4), 0);
  std::int32_t chipId = 0;
  EXPECT_EQ(protocol.GetChipID(4, chipId), 0);
  EXPECT_EQ(chipId, 0x2052);

  // Block 0 carries the image length (4 bytes) ahead of the image bytes.
  std::array<std::uint8_t, 64> block{0x00, 0x00, 0x00, 0x03, 0x10, 0x20, 0x30};
  EXPECT_EQ(protocol.ProgramBlock(4, 0, 7, block), 0);
  std::int32_t checkSum = 0;
  EXPECT_EQ(protocol.GetCheckSum(4, checkSum), 0);
  EXPECT_EQ(checkSum, 0x60);
  EXPECT_EQ(protocol.DisableProgrammer(), 0);

  EXPECT_TRUE(status.log.empty());
  const std::vector<TReport> written = bed->OutputReports(deviceId);
  ASSERT_EQ(written.size(), 6u);
  for (const TReport& report : written) EXPECT_EQ(report.size(), 64u);
  const TReport head(written[3].begin(), written[3].begin() + 12);
  EXPECT_EQ(head, (TReport{0x04, 0x04, 0x06, 0x00, 0x00, 0x07, 0x00, 0x00, 0x00, 0x00, 0x00, 0x03}));
}

TEST_F(ProtocolUmockdevTest, SilentProgrammerTimesOut) {
  Connect([](const std::uint8_t*, std::size_t) { return std::vector<TReport>{}; });
  if (HasFatalFailure()) return;
  EXPECT_EQ(protocol.EnableProgrammer(), -2);
  EXPECT_EQ(protocol.WaitTimer().Tag, 6);
  EXPECT_EQ(status.log, (std::vector<std::string>{"KVM Programmer is time out."}));
}

TEST_F(ProtocolUmockdevTest, WriteToAVanishedProgrammerIsLogged) {
  auto emulator = std::make_shared<emulator::TProgrammerEmulator>();
  Connect(emulator::TProgrammerEmulator::ReplyFunction(emulator));
  if (HasFatalFailure()) return;
  bed->Unplug(deviceId);
  EXPECT_EQ(protocol.EnableProgrammer(), -1);
  ASSERT_FALSE(status.log.empty());
  EXPECT_EQ(status.log.back(), "WRITE ERROR: No such device (13)");
}

}  // namespace
}  // namespace kvm::protocol
