// The controller and its devices on the real Linux back end, against an
// emulated programmer and mouse.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QThread>
#include <memory>
#include <string>
#include <vector>

#include "UmockdevHid.h"
#include "WaitFor.h"
#include "hid/HidControllerClass.h"
#include "hid/platform/linux/LinuxHidPlatform.h"

namespace kvm::hid {
namespace {

using test::TReport;
using test::TUmockdevHid;
using test::WaitFor;

// Answers every command with an acknowledgement carrying the command byte.
std::vector<TReport> Acknowledge(const std::uint8_t* report, std::size_t) {
  return {{0x01, 0x01, report[1], 0xA0, 0xA1, 0xA2, 0xA3, 0xA4}};
}

class HidControllerLinuxTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!TUmockdevHid::Available()) GTEST_SKIP() << "umockdev preload not active: hidraw emulation unavailable";
    bed_ = std::make_unique<TUmockdevHid>();
  }
  void TearDown() override {
    controller_.reset();
    bed_.reset();
  }

  // Creates the controller with recording handlers and waits for its first
  // rescan.
  void Start() {
    controller_ = std::make_unique<THidDeviceController>(platform::MakeLinuxHidPlatform());
    ASSERT_TRUE(controller_->IsBound());
    controller_->SetDevThreadSleepTime(20);
    controller_->SetOnArrival(THidPlugEvent([this](THidDevice* d) { log_.push_back("arrival " + Name(d)); }));
    controller_->SetOnRemoval(THidPlugEvent([this](THidDevice* d) { log_.push_back("removal " + Name(d)); }));
    controller_->SetOnDeviceUnplug(THidPlugEvent([this](THidDevice* d) { log_.push_back("unplug " + Name(d)); }));
    controller_->BeginLoading();
    controller_->SetOnDeviceChange(TNotifyEvent([this](THidDeviceController* c) {
      log_.push_back("change " + std::to_string(c->NumCheckedInDevices()) + "/" +
                     std::to_string(c->NumCheckedOutDevices()) + "/" + std::to_string(c->NumUnpluggedDevices()));
    }));
    controller_->EndLoading();
    ASSERT_TRUE(WaitFor([this] { return Changes() == 1; }));
  }

  static std::string Name(THidDevice* device) {
    return device->Attributes().ProductID == 0xFF03 ? "programmer" : "mouse";
  }
  int Changes() const {
    return static_cast<int>(std::count_if(log_.begin(), log_.end(), [](const std::string& e) { return e.rfind("change", 0) == 0; }));
  }
  int IndexOf(std::uint16_t productId) const {
    const auto& devices = controller_->Devices();
    for (std::size_t i = 0; i < devices.size(); ++i) {
      if (devices[i]->IsPluggedIn() && devices[i]->Attributes().ProductID == productId) return static_cast<int>(i);
    }
    return -1;
  }
  THidDevice* CheckOut(std::uint16_t productId) {
    THidDevice* device = nullptr;
    EXPECT_TRUE(controller_->CheckOutByIndex(device, IndexOf(productId)));
    return device;
  }

  std::unique_ptr<TUmockdevHid> bed_;
  std::unique_ptr<THidDeviceController> controller_;
  std::vector<std::string> log_;
};

TEST_F(HidControllerLinuxTest, FirstRescanListsEveryDeviceAndReportsAChange) {
  bed_->Plug(TUmockdevHid::Programmer());
  bed_->Plug(TUmockdevHid::Mouse());
  Start();
  EXPECT_EQ(log_, (std::vector<std::string>{"arrival programmer", "arrival mouse", "change 2/0/0"}));
  ASSERT_EQ(controller_->Devices().size(), 2u);
  EXPECT_EQ(controller_->Devices()[0]->PnPInfo().DevicePath, "/dev/hidraw0");
  EXPECT_NE(controller_->Devices()[0]->PnPInfo().DeviceID, controller_->Devices()[1]->PnPInfo().DeviceID);
}

TEST_F(HidControllerLinuxTest, CheckedOutDeviceGivesIdentityCapsAndStrings) {
  bed_->Plug(TUmockdevHid::Mouse());
  bed_->Plug(TUmockdevHid::Programmer());
  Start();
  THidDevice* programmer = CheckOut(0xFF03);
  ASSERT_NE(programmer, nullptr);
  EXPECT_TRUE(programmer->HasReadWriteAccess());
  EXPECT_EQ(programmer->Attributes().VendorID, 0x0B39);
  EXPECT_EQ(programmer->Attributes().VersionNumber, 0x0123);
  THidCaps caps;
  programmer->GetCaps(caps);
  EXPECT_EQ(caps.InputReportByteLength, 8);
  EXPECT_EQ(caps.OutputReportByteLength, 64);
  EXPECT_EQ(ToText(programmer->GetVendorName()), "KVM Switch Inc.");
  EXPECT_EQ(ToText(programmer->GetProductName()), "KVM Programmer");
  EXPECT_EQ(ToText(programmer->GetSerialNumber()), "PRG-0001");
  EXPECT_EQ(controller_->NumCheckedOutDevices(), 1);
  EXPECT_EQ(controller_->NumCheckedInDevices(), 1);
  delete programmer;
}

TEST_F(HidControllerLinuxTest, WrittenCommandsReplyReachesOnDataOnTheUserInterfaceThread) {
  const int id = bed_->Plug(TUmockdevHid::Programmer(), Acknowledge);
  Start();
  THidDevice* programmer = CheckOut(0xFF03);
  ASSERT_NE(programmer, nullptr);
  std::vector<TReport> replies;
  std::vector<QThread*> threads;
  programmer->SetOnData(THidDataEvent([&](THidDevice*, std::uint8_t reportId, const std::uint8_t* data, std::uint16_t size) {
    TReport reply{reportId};
    reply.insert(reply.end(), data, data + size);
    replies.push_back(reply);
    threads.push_back(QThread::currentThread());
  }));
  ASSERT_TRUE(programmer->HasReaderThread());

  for (std::uint8_t command : {0x10, 0x11}) {
    std::uint8_t report[64] = {0x04, command};
    std::uint32_t written = 0;
    ASSERT_TRUE(programmer->WriteFile(report, sizeof report, written));
    EXPECT_EQ(written, 64u);
  }
  ASSERT_TRUE(WaitFor([&] { return replies.size() == 2; }));
  EXPECT_EQ(replies[0], (TReport{0x01, 0x01, 0x10, 0xA0, 0xA1, 0xA2, 0xA3, 0xA4}));
  EXPECT_EQ(replies[1][2], 0x11);
  EXPECT_EQ(threads, (std::vector<QThread*>{QThread::currentThread(), QThread::currentThread()}));
  EXPECT_EQ(bed_->OutputReports(id).size(), 2u);

  // A string read after the write closes the general handle again.
  EXPECT_EQ(ToText(programmer->GetProductName()), "KVM Programmer");
  programmer->SetOnData(nullptr);
  EXPECT_FALSE(programmer->HasReaderThread());
  delete programmer;
}

TEST_F(HidControllerLinuxTest, UnplugOfAListedDeviceFiresUnplugRemovalThenChange) {
  bed_->Plug(TUmockdevHid::Programmer());
  const int mouse = bed_->Plug(TUmockdevHid::Mouse());
  Start();
  log_.clear();
  bed_->Unplug(mouse);
  ASSERT_TRUE(WaitFor([this] { return Changes() == 1; }));
  EXPECT_EQ(log_, (std::vector<std::string>{"unplug mouse", "removal mouse", "change 1/0/0"}));
  EXPECT_EQ(controller_->Devices().size(), 1u);
}

TEST_F(HidControllerLinuxTest, UnpluggedReaderReportsPacedErrorsUntilGivenBack) {
  const int id = bed_->Plug(TUmockdevHid::Programmer(), Acknowledge);
  Start();
  THidDevice* programmer = CheckOut(0xFF03);
  ASSERT_NE(programmer, nullptr);
  int errors = 0;
  programmer->OnDataError = THidDataErrorEvent([&](THidDevice*, std::uint32_t) { ++errors; });
  programmer->SetOnData(THidDataEvent([](THidDevice*, std::uint8_t, const std::uint8_t*, std::uint16_t) {}));
  log_.clear();

  bed_->Unplug(id);
  ASSERT_TRUE(WaitFor([this] { return Changes() == 1; }));
  EXPECT_EQ(log_, (std::vector<std::string>{"unplug programmer", "removal programmer", "change 0/0/1"}));
  EXPECT_FALSE(programmer->IsPluggedIn());
  std::uint8_t report[64] = {0x04};
  std::uint32_t written = 0;
  EXPECT_FALSE(programmer->WriteFile(report, sizeof report, written));

  // The refused restarts come one sleep time apart, not in a flood.
  QElapsedTimer clock;
  clock.start();
  const int first = errors;
  ASSERT_TRUE(WaitFor([&] { return errors >= first + 3; }));
  EXPECT_GE(clock.elapsed(), 2 * 20 - 5);

  delete programmer;  // stops the reader and deletes the unplugged entry
  EXPECT_TRUE(controller_->Devices().empty());
  EXPECT_EQ(controller_->NumUnpluggedDevices(), 0);
}

TEST_F(HidControllerLinuxTest, ReplugWhileTheOldDeviceIsStillOutArrivesAsANewDevice) {
  const int first = bed_->Plug(TUmockdevHid::Programmer());
  Start();
  THidDevice* old = CheckOut(0xFF03);
  ASSERT_NE(old, nullptr);
  bed_->Unplug(first);
  ASSERT_TRUE(WaitFor([this] { return Changes() == 2; }));
  const int second = bed_->Plug(TUmockdevHid::Programmer());
  ASSERT_EQ(bed_->DevNode(second), bed_->DevNode(first));
  // The unplugged one is reported again at every rescan until it is given back.
  ASSERT_TRUE(WaitFor([this] { return Changes() == 3; }));
  EXPECT_EQ(log_.end()[-3], "removal programmer");
  EXPECT_EQ(log_.end()[-2], "arrival programmer");
  EXPECT_EQ(log_.end()[-1], "change 1/0/1");
  ASSERT_EQ(controller_->Devices().size(), 2u);
  EXPECT_EQ(controller_->Devices()[0], old);
  EXPECT_TRUE(controller_->Devices()[1]->IsPluggedIn());
  delete old;
  EXPECT_EQ(controller_->Devices().size(), 1u);
}

TEST_F(HidControllerLinuxTest, GivingBackLeavesAFreshDeviceAtTheSameIndex) {
  bed_->Plug(TUmockdevHid::Mouse());
  bed_->Plug(TUmockdevHid::Programmer(), Acknowledge);
  Start();
  THidDevice* programmer = CheckOut(0xFF03);
  ASSERT_NE(programmer, nullptr);
  const THidDataEvent onData([](THidDevice*, std::uint8_t, const std::uint8_t*, std::uint16_t) {});
  programmer->SetOnData(onData);
  programmer->SetThreadSleepTime(30);
  const std::uint64_t id = programmer->PnPInfo().DeviceID;
  delete programmer;

  const THidDevice* fresh = controller_->Devices()[1];
  EXPECT_NE(fresh, nullptr);
  EXPECT_FALSE(fresh->IsCheckedOut());
  EXPECT_FALSE(fresh->HasReaderThread());
  EXPECT_EQ(fresh->PnPInfo().DeviceID, id);
  EXPECT_TRUE(fresh->OnData().SameCode(onData));
  EXPECT_EQ(fresh->ThreadSleepTime(), 30);
  EXPECT_EQ(controller_->NumCheckedOutDevices(), 0);
  EXPECT_EQ(controller_->NumCheckedInDevices(), 2);
}

TEST_F(HidControllerLinuxTest, DeviceWithoutWriteAccessIsListedButNeverReadOrWritten) {
  auto locked = TUmockdevHid::Programmer();
  locked.Writable = false;
  bed_->Plug(locked);
  Start();
  THidDevice* programmer = CheckOut(0xFF03);
  ASSERT_NE(programmer, nullptr);
  EXPECT_FALSE(programmer->HasReadWriteAccess());
  EXPECT_EQ(ToText(programmer->GetSerialNumber()), "PRG-0001");
  programmer->SetOnData(THidDataEvent([](THidDevice*, std::uint8_t, const std::uint8_t*, std::uint16_t) {}));
  EXPECT_FALSE(programmer->HasReaderThread());
  std::uint8_t report[64] = {0x04};
  std::uint32_t written = 0;
  EXPECT_FALSE(programmer->WriteFile(report, sizeof report, written));
  EXPECT_NE(programmer->LastError(), 0u);
  delete programmer;
}

TEST_F(HidControllerLinuxTest, HandlerMayGiveTheDeviceBackFromItsOwnReport) {
  const int id = bed_->Plug(TUmockdevHid::Programmer());
  Start();
  THidDevice* programmer = CheckOut(0xFF03);
  ASSERT_NE(programmer, nullptr);
  bool given = false;
  programmer->SetOnData(THidDataEvent([&](THidDevice* device, std::uint8_t, const std::uint8_t*, std::uint16_t) {
    delete device;  // stops its own reader from inside the hand-over
    given = true;
  }));
  ASSERT_TRUE(bed_->SendInputReport(id, {0x01, 1, 2, 3, 4, 5, 6, 7}));
  ASSERT_TRUE(WaitFor([&] { return given; }));
  ASSERT_EQ(controller_->Devices().size(), 1u);
  EXPECT_FALSE(controller_->Devices()[0]->IsCheckedOut());
  // The abandoned reader ends by itself; the new owner can read again.
  THidDevice* again = CheckOut(0xFF03);
  ASSERT_NE(again, nullptr);
  int reports = 0;
  again->SetOnData(THidDataEvent([&](THidDevice*, std::uint8_t, const std::uint8_t*, std::uint16_t) { ++reports; }));
  ASSERT_TRUE(bed_->SendInputReport(id, {0x01, 1, 2, 3, 4, 5, 6, 7}));
  ASSERT_TRUE(WaitFor([&] { return reports == 1; }));
  delete again;
}

TEST_F(HidControllerLinuxTest, DestructionLeavesCheckedOutDevicesUnpluggedAndDetached) {
  bed_->Plug(TUmockdevHid::Programmer());
  Start();
  THidDevice* programmer = CheckOut(0xFF03);
  ASSERT_NE(programmer, nullptr);
  int unplugs = 0;
  programmer->OnUnplug = THidPlugEvent([&](THidDevice*) { ++unplugs; });
  controller_.reset();
  EXPECT_EQ(unplugs, 1);
  EXPECT_FALSE(programmer->IsPluggedIn());
  EXPECT_EQ(programmer->Controller(), nullptr);
  EXPECT_EQ(programmer->Attributes().ProductID, 0xFF03);
  delete programmer;
}

}  // namespace
}  // namespace kvm::hid
