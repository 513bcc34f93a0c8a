// The controller over a platform with no notice descriptor (Windows): the
// platform's wake, called from another thread, leads to one rescan on the
// user-interface thread, and the controller withdraws the wake when it goes.
#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <thread>

#include "SimControllerEvents.h"
#include "WaitFor.h"
#include "hid/HidControllerClass.h"
#include "hid/platform/sim/SimHidPlatform.h"

namespace kvm::hid {
namespace {

using namespace platform;

// The simulated bus seen through a platform that only wakes.
class TWakeOnlyPlatform final : public THidPlatform {
 public:
  bool LoadEnumeration() override { return sim->LoadEnumeration(); }
  void UnloadEnumeration() override { sim->UnloadEnumeration(); }
  bool LoadHidAccess() override { return sim->LoadHidAccess(); }
  void UnloadHidAccess() override { sim->UnloadHidAccess(); }
  bool IsHidAccessLoaded() const override { return sim->IsHidAccessLoaded(); }
  std::vector<THidInterface> ScanInterfaces() override { return sim->ScanInterfaces(); }
  std::unique_ptr<THidHandle> Open(const std::string& path, TOpenMode mode, std::uint32_t& error) override {
    return sim->Open(path, mode, error);
  }
  bool GetCaps(const TPreparsedData& data, THidCaps& caps) override { return sim->GetCaps(data, caps); }
  int NoticeFd() override { return -1; }
  int DrainNotices() override { return pending.exchange(0); }
  std::string ErrorText(std::uint32_t error) override { return sim->ErrorText(error); }
  void SetNoticeWake(std::function<void()> function) override {
    std::lock_guard lock(mutex);
    wake = std::move(function);
  }

  // A notice, announced from the calling thread.
  void Notice() {
    ++pending;
    std::lock_guard lock(mutex);
    if (wake) wake();
  }
  bool HasWake() {
    std::lock_guard lock(mutex);
    return static_cast<bool>(wake);
  }

  std::shared_ptr<TSimHidPlatform> sim = std::make_shared<TSimHidPlatform>();
  std::atomic<int> pending{0};
  std::mutex mutex;
  std::function<void()> wake;
};

TEST(NoticeWake, WakeFromAnotherThreadRescansOnTheControllersThreadUntilTheControllerGoes) {
  auto platform = std::make_shared<TWakeOnlyPlatform>();
  test::TControllerEvents events;
  auto controller = std::make_unique<THidDeviceController>(platform);
  controller->SetOnArrival(THidPlugEvent(&events, &test::TControllerEvents::Arrival));
  controller->SetOnDeviceChange(TNotifyEvent(&events, &test::TControllerEvents::DeviceChange));
  ASSERT_TRUE(kvm::test::WaitFor([&] { return events.Changes == 1; }));  // its own first rescan
  ASSERT_TRUE(platform->HasWake());

  const std::uint64_t id = platform->sim->Plug(SimProgrammer());
  std::thread([&] { platform->Notice(); }).join();
  ASSERT_TRUE(kvm::test::WaitFor([&] { return events.Changes == 2; }));
  EXPECT_EQ(events.Log, (std::vector<std::string>{"change", "arrival " + std::to_string(id), "change"}));

  controller.reset();
  EXPECT_FALSE(platform->HasWake());
  platform->Notice();  // nobody to wake: nothing happens
}

}  // namespace
}  // namespace kvm::hid
