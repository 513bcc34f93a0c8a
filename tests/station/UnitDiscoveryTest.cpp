// The station's watch on the devices and a unit's view of the platform, over
// the simulated bus.
#include <gtest/gtest.h>
#include <unistd.h>

#include <memory>

#include "WaitFor.h"
#include "hid/platform/sim/SimHidPlatform.h"
#include "station/UnitDiscovery.h"
#include "station/UnitPlatform.h"

namespace kvm::station {
namespace {

using hid::platform::TSimDeviceInfo;
using hid::platform::TSimHidPlatform;
using kvm::test::WaitFor;

TSimDeviceInfo Programmer(const char16_t* serial, const char* port) {
  TSimDeviceInfo info = hid::platform::SimProgrammer();
  info.SerialNumber = serial;
  info.PortPath = port;
  return info;
}

TEST(UnitDiscovery, ReportsProgrammersOnlyWithTheirIdentityAsTheyComeAndGo) {
  auto platform = std::make_shared<TSimHidPlatform>();
  const auto first = platform->Plug(Programmer(u"PRG-1", "1-1"));
  platform->Plug(hid::platform::SimMouse());
  platform->Plug(hid::platform::SimProgrammerWithInputLength(9));
  platform->Plug(hid::platform::SimOtherProduct());
  TSimDeviceInfo noSerial = Programmer(u"", "1-2.4");
  noSerial.SerialNumber.reset();  // the query fails: an empty serial

  std::vector<TProgrammerSeen> arrived;
  std::vector<std::uint64_t> removed;
  TUnitDiscovery discovery(platform);
  discovery.OnArrival = [&](const TProgrammerSeen& seen) { arrived.push_back(seen); };
  discovery.OnRemoval = [&](std::uint64_t id) { removed.push_back(id); };
  std::string error;
  ASSERT_TRUE(discovery.Start(error)) << error;
  discovery.Rescan();
  ASSERT_EQ(arrived.size(), 1u);
  EXPECT_EQ(arrived[0].DeviceID, first);
  EXPECT_EQ(arrived[0].Identity, (TUnitIdentity{"1-1", "PRG-1", platform->PathOf(first)}));

  // Later arrivals and removals come through the platform's notices.
  const auto second = platform->Plug(noSerial);
  const auto third = platform->Plug(Programmer(u"PRG-1", "1-3"));  // the same serial on another port
  ASSERT_TRUE(WaitFor([&] { return arrived.size() == 3; }));
  EXPECT_EQ(arrived[1].Identity, (TUnitIdentity{"1-2.4", "", platform->PathOf(second)}));
  EXPECT_EQ(arrived[2].Identity.Port, "1-3");
  platform->Unplug(first);
  ASSERT_TRUE(WaitFor([&] { return removed.size() == 1; }));
  EXPECT_EQ(removed[0], first);
  discovery.Rescan();  // nothing new: nobody is reported twice
  EXPECT_EQ(arrived.size(), 3u);
  EXPECT_EQ(removed.size(), 1u);
  (void)third;
}

// The sim bus as the system lists a device being removed: its removal notice
// comes while a scan still lists it (under a new identity, its old one having
// gone with the notice), answering queries as the device it was.
class TLingeringListing final : public hid::platform::THidPlatform {
 public:
  explicit TLingeringListing(std::shared_ptr<TSimHidPlatform> sim) : sim_(std::move(sim)) {}
  // `ghost` is never listed; a lingering path answers as it does.
  void Hide(std::uint64_t ghost) { ghost_ = ghost; }
  void Linger(const std::string& path) { path_ = path; }
  void StopLingering() { path_.clear(); }

  bool LoadEnumeration() override { return sim_->LoadEnumeration(); }
  void UnloadEnumeration() override { sim_->UnloadEnumeration(); }
  bool LoadHidAccess() override { return sim_->LoadHidAccess(); }
  void UnloadHidAccess() override { sim_->UnloadHidAccess(); }
  bool IsHidAccessLoaded() const override { return sim_->IsHidAccessLoaded(); }
  std::vector<hid::platform::THidInterface> ScanInterfaces() override {
    std::vector<hid::platform::THidInterface> found;
    for (auto& device : sim_->ScanInterfaces())
      if (device.DeviceID != ghost_) found.push_back(device);
    if (!path_.empty()) found.push_back({ghostIdentity_, path_, "1-1"});
    return found;
  }
  std::unique_ptr<hid::platform::THidHandle> Open(const std::string& path, hid::platform::TOpenMode mode,
                                                  std::uint32_t& error) override {
    return sim_->Open(!path_.empty() && path == path_ ? sim_->PathOf(ghost_) : path, mode, error);
  }
  bool GetCaps(const hid::platform::TPreparsedData& data, hid::THidCaps& caps) override { return sim_->GetCaps(data, caps); }
  int NoticeFd() override { return sim_->NoticeFd(); }
  int DrainNotices() override { return sim_->DrainNotices(); }
  std::string ErrorText(std::uint32_t error) override { return sim_->ErrorText(error); }

 private:
  std::shared_ptr<TSimHidPlatform> sim_;
  std::string path_;
  std::uint64_t ghost_ = 0;
  const std::uint64_t ghostIdentity_ = 1000;
};

// A programmer still listed while it is removed is no new unit; one that is
// really there after the second look is.
TEST(UnitDiscovery, ADeviceListedWhileItIsRemovedIsNoArrival) {
  for (const bool reallyThere : {false, true}) {
    SCOPED_TRACE(reallyThere ? "plugged in again at once" : "a phantom");
    auto sim = std::make_shared<TSimHidPlatform>();
    auto platform = std::make_shared<TLingeringListing>(sim);
    const auto programmer = sim->Plug(Programmer(u"PRG-1", "1-1"));
    platform->Hide(sim->Plug(Programmer(u"PRG-1", "1-1")));
    std::vector<TProgrammerSeen> arrived;
    int removed = 0;
    TUnitDiscovery discovery(platform);
    discovery.OnArrival = [&](const TProgrammerSeen& seen) { arrived.push_back(seen); };
    discovery.OnRemoval = [&](std::uint64_t) { ++removed; };
    std::string error;
    ASSERT_TRUE(discovery.Start(error)) << error;
    discovery.Rescan();
    ASSERT_EQ(arrived.size(), 1u);

    platform->Linger(sim->PathOf(programmer));
    sim->Unplug(programmer);
    ASSERT_TRUE(WaitFor([&] { return removed == 1; }));
    EXPECT_EQ(arrived.size(), 1u);
    if (!reallyThere) platform->StopLingering();
    // The second look comes RecheckMs after the removal.
    const auto settled = [&] { return arrived.size() == (reallyThere ? 2u : 1u); };
    EXPECT_TRUE(WaitFor(settled, 4 * TUnitDiscovery::RecheckMs));
    kvm::test::WaitFor([] { return false; }, TUnitDiscovery::RecheckMs);
    EXPECT_TRUE(settled()) << arrived.size();
  }
}

TEST(UnitPlatform, ShowsOnlyItsOwnDeviceUntilItIsGone) {
  auto platform = std::make_shared<TSimHidPlatform>();
  const auto mine = platform->Plug(Programmer(u"A", "1-1"));
  const auto other = platform->Plug(Programmer(u"B", "1-2"));
  ASSERT_TRUE(platform->LoadEnumeration() && platform->LoadHidAccess());

  TUnitPlatform view(platform, platform->PathOf(mine));
  ASSERT_TRUE(view.LoadEnumeration() && view.LoadHidAccess());
  auto scan = view.ScanInterfaces();
  ASSERT_EQ(scan.size(), 1u);
  EXPECT_EQ(scan[0].DeviceID, mine);
  std::uint32_t error = 0;
  EXPECT_EQ(view.Open(platform->PathOf(other), hid::platform::TOpenMode::ReadWrite, error), nullptr);
  EXPECT_NE(view.Open(platform->PathOf(mine), hid::platform::TOpenMode::ReadWrite, error), nullptr);
  // Another unit's comings and goings raise no notice here.
  platform->Unplug(other);
  EXPECT_EQ(view.DrainNotices(), 0);

  view.MarkGone();
  EXPECT_EQ(view.DrainNotices(), 1);
  EXPECT_TRUE(view.ScanInterfaces().empty());
  EXPECT_EQ(view.Open(platform->PathOf(mine), hid::platform::TOpenMode::ReadWrite, error), nullptr);
  // A unit letting go of HID access leaves it bound for the others.
  view.UnloadHidAccess();
  EXPECT_TRUE(platform->IsHidAccessLoaded());
}

}  // namespace
}  // namespace kvm::station
