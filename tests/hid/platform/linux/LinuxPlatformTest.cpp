// The Linux back end against emulated hidraw devices.
#include "hid/platform/linux/LinuxHidPlatform.h"

#include <gtest/gtest.h>
#include <poll.h>

#include <algorithm>
#include <cerrno>

#include "UmockdevHid.h"
#include "hid/platform/ReportDescriptor.h"

namespace kvm::hid::platform {
namespace {

using test::TReport;
using test::TUmockdevHid;

class LinuxPlatformTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!TUmockdevHid::Available()) GTEST_SKIP() << "umockdev preload not active: hidraw emulation unavailable";
    bed_ = std::make_unique<TUmockdevHid>();
  }
  void TearDown() override {
    if (platform_) {
      platform_->UnloadHidAccess();
      platform_->UnloadEnumeration();
    }
    platform_.reset();
    bed_.reset();
  }

  // Created after the devices that must exist at start, as the udev context
  // only sees the testbed when the testbed already exists.
  THidPlatform& Platform() {
    if (!platform_) {
      platform_ = MakeLinuxHidPlatform();
      EXPECT_TRUE(platform_->LoadEnumeration());
      EXPECT_TRUE(platform_->LoadHidAccess());
    }
    return *platform_;
  }

  const THidInterface* Find(const std::vector<THidInterface>& found, const std::string& path) {
    const auto it = std::find_if(found.begin(), found.end(), [&](const THidInterface& i) { return i.DevicePath == path; });
    return it == found.end() ? nullptr : &*it;
  }

  // Waits for the notice descriptor to become readable, then drains it.
  int WaitNotices() {
    pollfd fd{Platform().NoticeFd(), POLLIN, 0};
    if (::poll(&fd, 1, 1000) <= 0) return 0;
    return Platform().DrainNotices();
  }

  std::unique_ptr<TUmockdevHid> bed_;
  std::shared_ptr<THidPlatform> platform_;
};

TEST_F(LinuxPlatformTest, ScanListsEveryNodeWithAStableIdentity) {
  const int programmer = bed_->Plug(TUmockdevHid::Programmer());
  const int mouse = bed_->Plug(TUmockdevHid::Mouse());
  const auto first = Platform().ScanInterfaces();
  ASSERT_EQ(first.size(), 2u);
  const THidInterface* p = Find(first, bed_->DevNode(programmer));
  const THidInterface* m = Find(first, bed_->DevNode(mouse));
  ASSERT_TRUE(p && m);
  EXPECT_NE(p->DeviceID, m->DeviceID);

  const auto second = Platform().ScanInterfaces();
  ASSERT_EQ(second.size(), 2u);
  EXPECT_EQ(Find(second, bed_->DevNode(programmer))->DeviceID, p->DeviceID);
  EXPECT_EQ(Find(second, bed_->DevNode(mouse))->DeviceID, m->DeviceID);
}

// Where a device is plugged in: its USB port chain, or the node's own name
// when it has no USB parent.
TEST_F(LinuxPlatformTest, ScanGivesThePortPath) {
  const int programmer = bed_->Plug(TUmockdevHid::Programmer());
  auto emulated = TUmockdevHid::Mouse();
  emulated.OnUsb = false;
  const int pen = bed_->Plug(emulated);
  const auto found = Platform().ScanInterfaces();
  const THidInterface* p = Find(found, bed_->DevNode(programmer));
  const THidInterface* n = Find(found, bed_->DevNode(pen));
  ASSERT_TRUE(p && n);
  EXPECT_EQ(p->PortPath.rfind("1-", 0), 0u) << p->PortPath;
  EXPECT_EQ(p->PortPath.find('/'), std::string::npos) << p->PortPath;
  EXPECT_EQ("/dev/" + n->PortPath, bed_->DevNode(pen));
}

TEST_F(LinuxPlatformTest, IdentityAttributesCapsAndStrings) {
  const int programmer = bed_->Plug(TUmockdevHid::Programmer());
  std::uint32_t error = 0;
  auto handle = Platform().Open(bed_->DevNode(programmer), TOpenMode::ReadWrite, error);
  ASSERT_TRUE(handle) << Platform().ErrorText(error);

  THidAttributes attributes;
  ASSERT_TRUE(handle->GetAttributes(attributes));
  EXPECT_EQ(attributes.VendorID, 0x0B39);
  EXPECT_EQ(attributes.ProductID, 0xFF03);
  EXPECT_EQ(attributes.VersionNumber, 0x0123);

  auto data = handle->GetPreparsedData();
  ASSERT_TRUE(data);
  THidCaps caps;
  ASSERT_TRUE(Platform().GetCaps(*data, caps));
  EXPECT_EQ(caps.InputReportByteLength, 8);
  EXPECT_EQ(caps.OutputReportByteLength, 64);
  EXPECT_EQ(caps.UsagePage, 0xFF00);

  std::u16string text;
  ASSERT_TRUE(handle->GetManufacturerString(text));
  EXPECT_EQ(text, u"KVM Switch Inc.");
  ASSERT_TRUE(handle->GetProductString(text));
  EXPECT_EQ(text, u"KVM Programmer");
  ASSERT_TRUE(handle->GetSerialNumberString(text));
  EXPECT_EQ(text, u"PRG-0001");
}

TEST_F(LinuxPlatformTest, DeviceWithoutUsbParentTakesItsHidNameAndNoVersion) {
  auto emulated = TUmockdevHid::Mouse();
  emulated.OnUsb = false;
  emulated.Manufacturer = "Acme";
  emulated.Product = "Pen \xC3\xA9";  // UTF-8 e-acute
  emulated.Serial = "aa:bb";
  const int pen = bed_->Plug(emulated);
  std::uint32_t error = 0;
  auto handle = Platform().Open(bed_->DevNode(pen), TOpenMode::QueryOnly, error);
  ASSERT_TRUE(handle);
  THidAttributes attributes;
  ASSERT_TRUE(handle->GetAttributes(attributes));
  EXPECT_EQ(attributes.VendorID, emulated.VendorID);
  EXPECT_EQ(attributes.VersionNumber, 0);
  std::u16string text;
  EXPECT_FALSE(handle->GetManufacturerString(text));
  ASSERT_TRUE(handle->GetProductString(text));
  EXPECT_EQ(text, u"Acme Pen \u00E9");
  ASSERT_TRUE(handle->GetSerialNumberString(text));
  EXPECT_EQ(text, u"aa:bb");
}

TEST_F(LinuxPlatformTest, NodeWithoutWriteAccessIsStillDescribed) {
  auto emulated = TUmockdevHid::Programmer();
  emulated.Writable = false;
  const int locked = bed_->Plug(emulated);
  std::uint32_t error = 0;
  EXPECT_FALSE(Platform().Open(bed_->DevNode(locked), TOpenMode::ReadWrite, error));
  EXPECT_NE(error, 0u);
  auto query = Platform().Open(bed_->DevNode(locked), TOpenMode::QueryOnly, error);
  ASSERT_TRUE(query);
  THidAttributes attributes;
  EXPECT_TRUE(query->GetAttributes(attributes));
  EXPECT_EQ(attributes.ProductID, 0xFF03);
  EXPECT_TRUE(query->GetPreparsedData());
  std::size_t written = 0;
  const std::uint8_t report[64] = {4};
  EXPECT_FALSE(query->Write(report, sizeof report, written, error));
  EXPECT_EQ(error, static_cast<std::uint32_t>(EBADF));
}

TEST_F(LinuxPlatformTest, QueryOnlyOpenOfAnUnknownNodeFails) {
  std::uint32_t error = 0;
  EXPECT_FALSE(Platform().Open("/dev/hidraw7", TOpenMode::QueryOnly, error));
  EXPECT_EQ(error, static_cast<std::uint32_t>(ENODEV));
}

TEST_F(LinuxPlatformTest, WrittenReportReachesTheResponderAndTheReplyIsReadWhole) {
  const int programmer = bed_->Plug(TUmockdevHid::Programmer(), [](const std::uint8_t* report, std::size_t length) {
    // Two replies per command: both must arrive as separate reports.
    return std::vector<TReport>{{0x01, 0x01, report[1], static_cast<std::uint8_t>(length), 0, 0, 0, 0},
                                {0x01, 0x02, 0, 0, 0, 0, 0, 0x7E}};
  });
  std::uint32_t error = 0;
  auto writer = Platform().Open(bed_->DevNode(programmer), TOpenMode::ReadWrite, error);
  auto reader = Platform().Open(bed_->DevNode(programmer), TOpenMode::Read, error);
  ASSERT_TRUE(writer && reader);

  std::uint8_t command[64] = {0x04, 0x55};
  std::size_t written = 0;
  ASSERT_TRUE(writer->Write(command, sizeof command, written, error)) << Platform().ErrorText(error);
  EXPECT_EQ(written, 64u);
  const auto seen = bed_->OutputReports(programmer);
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0], TReport(command, command + 64));

  std::uint8_t report[8];
  std::size_t got = 0;
  ASSERT_EQ(reader->Read(report, sizeof report, got, 500, error), TReadStatus::Data);
  EXPECT_EQ(TReport(report, report + got), (TReport{0x01, 0x01, 0x55, 64, 0, 0, 0, 0}));
  ASSERT_EQ(reader->Read(report, sizeof report, got, 500, error), TReadStatus::Data);
  EXPECT_EQ(TReport(report, report + got), (TReport{0x01, 0x02, 0, 0, 0, 0, 0, 0x7E}));
  EXPECT_EQ(reader->Read(report, sizeof report, got, 20, error), TReadStatus::Timeout);
}

TEST_F(LinuxPlatformTest, ReportsOfADeviceWithoutReportIdsStartWithIdZero) {
  const int mouse = bed_->Plug(TUmockdevHid::Mouse());
  std::uint32_t error = 0;
  auto reader = Platform().Open(bed_->DevNode(mouse), TOpenMode::Read, error);
  ASSERT_TRUE(reader);
  // The kernel gives the mouse's 3-byte report without an ID byte.
  ASSERT_TRUE(bed_->SendInputReport(mouse, {0x01, 0x05, 0xFB}));
  std::uint8_t report[4];
  std::size_t got = 0;
  ASSERT_EQ(reader->Read(report, sizeof report, got, 500, error), TReadStatus::Data);
  EXPECT_EQ(TReport(report, report + got), (TReport{0x00, 0x01, 0x05, 0xFB}));
}

TEST_F(LinuxPlatformTest, CancelEndsAReadAtOnceAndEveryLaterOne) {
  const int programmer = bed_->Plug(TUmockdevHid::Programmer());
  std::uint32_t error = 0;
  auto reader = Platform().Open(bed_->DevNode(programmer), TOpenMode::Read, error);
  ASSERT_TRUE(reader);
  reader->Cancel();
  std::uint8_t report[8];
  std::size_t got = 0;
  EXPECT_EQ(reader->Read(report, sizeof report, got, 10000, error), TReadStatus::Gone);
  EXPECT_EQ(reader->Read(report, sizeof report, got, 10000, error), TReadStatus::Gone);
}

TEST_F(LinuxPlatformTest, UnplugFailsOpenFilesAndIsNoticed) {
  const int programmer = bed_->Plug(TUmockdevHid::Programmer());
  ASSERT_GE(Platform().NoticeFd(), 0);
  std::uint32_t error = 0;
  auto writer = Platform().Open(bed_->DevNode(programmer), TOpenMode::ReadWrite, error);
  auto reader = Platform().Open(bed_->DevNode(programmer), TOpenMode::Read, error);
  ASSERT_TRUE(writer && reader);

  bed_->Unplug(programmer);
  EXPECT_GE(WaitNotices(), 1);
  std::uint8_t report[64] = {4};
  std::size_t got = 0;
  EXPECT_EQ(reader->Read(report, 8, got, 1000, error), TReadStatus::Gone);
  EXPECT_FALSE(writer->Write(report, sizeof report, got, error));
  EXPECT_TRUE(Platform().ScanInterfaces().empty());
}

TEST_F(LinuxPlatformTest, ReplugUnderTheSameNameIsANewDevice) {
  const int first = bed_->Plug(TUmockdevHid::Programmer());
  ASSERT_GE(Platform().NoticeFd(), 0);
  const auto before = Platform().ScanInterfaces();
  ASSERT_EQ(before.size(), 1u);

  // Both notices are drained before the next scan sees the node again.
  bed_->Unplug(first);
  const int second = bed_->Plug(TUmockdevHid::Programmer());
  ASSERT_EQ(bed_->DevNode(second), bed_->DevNode(first));
  ASSERT_EQ(bed_->SysPath(second), bed_->SysPath(first));
  int notices = 0;
  for (int i = 0; i < 10 && notices < 2; ++i) notices += WaitNotices();
  EXPECT_EQ(notices, 2);
  const auto after = Platform().ScanInterfaces();
  ASSERT_EQ(after.size(), 1u);
  EXPECT_NE(after[0].DeviceID, before[0].DeviceID);
}

TEST_F(LinuxPlatformTest, ArrivalIsNoticed) {
  ASSERT_GE(Platform().NoticeFd(), 0);
  EXPECT_EQ(Platform().DrainNotices(), 0);
  bed_->Plug(TUmockdevHid::Mouse());
  EXPECT_EQ(WaitNotices(), 1);
  EXPECT_EQ(Platform().ScanInterfaces().size(), 1u);
}

}  // namespace
}  // namespace kvm::hid::platform
