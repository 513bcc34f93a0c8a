// The HID controller and its devices over the simulated back end: rescans,
// events, counts, check-out and give-back, handlers and reader threads.
#include <gtest/gtest.h>

#include <poll.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <functional>
#include <thread>

#include "SimControllerEvents.h"
#include "WaitFor.h"
#include "emulator/ProgrammerEmulator.h"
#include "hid/HidControllerClass.h"
#include "hid/platform/sim/SimHidPlatform.h"

namespace kvm::hid {
namespace {

using emulator::TProgrammerEmulator;
using platform::TSimHidPlatform;
using test::TControllerEvents;
using Log = std::vector<std::string>;

class ControllerSim : public ::testing::Test {
 protected:
  std::uint64_t Plug(platform::TSimDeviceInfo info = platform::SimProgrammer()) {
    return sim->Plug(std::move(info), TProgrammerEmulator::Responder(emulator));
  }
  static std::string Name(std::uint64_t id) { return std::to_string(id); }

  // Creates the controller with its handlers bound the way a stored design
  // binds them, and waits for its first rescan.
  void Start(std::shared_ptr<platform::THidPlatform> platform = nullptr) {
    sim->DrainNotices();  // plugs before the controller are not news to it
    controller = std::make_unique<THidDeviceController>(platform ? std::move(platform) : sim);
    controller->SetReadInEventLoop(readInEventLoop);
    controller->BeginLoading();
    controller->SetOnArrival(THidPlugEvent(&events, &TControllerEvents::Arrival));
    controller->SetOnRemoval(THidPlugEvent(&events, &TControllerEvents::Removal));
    controller->SetOnDeviceUnplug(THidPlugEvent(&events, &TControllerEvents::Unplug));
    controller->SetOnDeviceDataError(THidDataErrorEvent(&events, &TControllerEvents::DataError));
    controller->SetOnDeviceChange(TNotifyEvent(&events, &TControllerEvents::DeviceChange));
    controller->EndLoading();
    ASSERT_TRUE(kvm::test::WaitFor([&] { return events.Changes == 1; }));
  }
  // Waits until the controller has taken every pending notice, and so rescanned.
  bool Settle() {
    return kvm::test::WaitFor([&] {
      pollfd fd{sim->NoticeFd(), POLLIN, 0};
      return poll(&fd, 1, 0) == 0;
    });
  }
  void ClearEvents() {
    events.Log.clear();
    events.Changes = 0;
  }
  THidDevice* CheckOut(int index) {
    THidDevice* device = nullptr;
    EXPECT_TRUE(controller->CheckOutByIndex(device, index));
    return device;
  }

  std::shared_ptr<TSimHidPlatform> sim = std::make_shared<TSimHidPlatform>();
  std::shared_ptr<TProgrammerEmulator> emulator = std::make_shared<TProgrammerEmulator>();
  TControllerEvents events;
  std::unique_ptr<THidDeviceController> controller;
  const std::thread::id mainThread = std::this_thread::get_id();
  bool readInEventLoop = false;
};

// The reader's behaviours, on a reader thread and in this thread's event loop.
class ControllerSimReaders : public ControllerSim, public ::testing::WithParamInterface<bool> {
 protected:
  void SetUp() override { readInEventLoop = GetParam(); }
};

INSTANTIATE_TEST_SUITE_P(ReaderKinds, ControllerSimReaders, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) { return info.param ? "EventLoop" : "Thread"; });

TEST_F(ControllerSim, FirstRescanReportsAChangeEvenWithNothingThere) {
  Start();
  EXPECT_EQ(events.Log, Log{"change"});
  EXPECT_TRUE(controller->Devices().empty());
  EXPECT_TRUE(controller->IsBound());
}

TEST_F(ControllerSim, NoticeWithoutAChangeFiresNothing) {
  Plug();
  Start();
  ClearEvents();
  sim->RaiseNotice();
  ASSERT_TRUE(Settle());
  EXPECT_TRUE(events.Log.empty());
  EXPECT_EQ(controller->Devices().size(), 1u);
}

TEST_F(ControllerSim, TwoArrivalsInOneRescan) {
  Start();
  ClearEvents();
  const std::uint64_t a = Plug(platform::SimMouse());
  const std::uint64_t b = Plug();
  ASSERT_TRUE(Settle());
  EXPECT_EQ(events.Log, (Log{"arrival " + Name(a), "arrival " + Name(b), "change"}));
  ASSERT_EQ(controller->Devices().size(), 2u);
  EXPECT_EQ(controller->Devices()[1]->Attributes().ProductID, 0xFF03);
  EXPECT_EQ(controller->NumCheckedInDevices(), 2);
}

TEST_F(ControllerSim, RemovalOfAListedDevice) {
  const std::uint64_t a = Plug();
  const std::uint64_t b = Plug(platform::SimBootKeyboard());
  Start();
  ClearEvents();
  ASSERT_TRUE(sim->Unplug(a));
  ASSERT_TRUE(Settle());
  EXPECT_EQ(events.Log, (Log{"unplug " + Name(a), "removal " + Name(a), "change"}));
  ASSERT_EQ(controller->Devices().size(), 1u);
  EXPECT_EQ(controller->Devices()[0]->PnPInfo().DeviceID, b);
  EXPECT_EQ(controller->NumCheckedInDevices(), 1);
  EXPECT_EQ(sim->OpenHandles(a), 0);
}

TEST_F(ControllerSim, RemovalOfACheckedOutDeviceLastsUntilItIsGivenBack) {
  const std::uint64_t a = Plug();
  Start();
  THidDevice* device = CheckOut(0);
  ClearEvents();
  ASSERT_TRUE(sim->Unplug(a));
  ASSERT_TRUE(Settle());
  EXPECT_EQ(events.Log, (Log{"unplug " + Name(a), "removal " + Name(a), "change"}));
  ASSERT_EQ(controller->Devices().size(), 1u);
  EXPECT_FALSE(device->IsPluggedIn());
  EXPECT_EQ(controller->NumUnpluggedDevices(), 1);
  EXPECT_EQ(controller->NumCheckedOutDevices(), 0);
  EXPECT_EQ(controller->NumCheckedInDevices(), 0);

  // Every later rescan reports it again, without a second OnUnplug.
  ClearEvents();
  sim->RaiseNotice();
  ASSERT_TRUE(Settle());
  EXPECT_EQ(events.Log, (Log{"removal " + Name(a), "change"}));

  delete device;
  EXPECT_TRUE(controller->Devices().empty());
  EXPECT_EQ(controller->NumUnpluggedDevices(), 0);
  ClearEvents();
  sim->RaiseNotice();
  ASSERT_TRUE(Settle());
  EXPECT_TRUE(events.Log.empty());
}

TEST_F(ControllerSim, ReplugIsANewDevice) {
  const std::uint64_t a = Plug();
  Start();
  THidDevice* old = CheckOut(0);
  sim->Unplug(a);
  const std::uint64_t b = Plug();
  ClearEvents();
  ASSERT_TRUE(Settle());
  EXPECT_EQ(events.Log, (Log{"unplug " + Name(a), "removal " + Name(a), "arrival " + Name(b), "change"}));
  EXPECT_EQ(controller->Devices().size(), 2u);
  delete old;
  ASSERT_EQ(controller->Devices().size(), 1u);
  EXPECT_EQ(controller->Devices()[0]->PnPInfo().DeviceID, b);
}

TEST_F(ControllerSim, EnumerateCounts) {
  Start();
  EXPECT_EQ(controller->Enumerate(), 0);
  Plug();
  Plug(platform::SimMouse());
  Plug(platform::SimOtherProduct());
  ASSERT_TRUE(Settle());
  // No handler: the first plugged-in device is counted, then the walk stops.
  EXPECT_EQ(controller->Enumerate(), 1);
  controller->SetOnEnumerate(THidEnumerateEvent(&events, &TControllerEvents::Enumerate));
  EXPECT_EQ(controller->Enumerate(), 3);
  events.OfferedIndexes.clear();
  events.StopAtOffer = 2;
  EXPECT_EQ(controller->Enumerate(), 2);
  EXPECT_EQ(events.OfferedIndexes, (std::vector<int>{0, 1}));
}

TEST_F(ControllerSim, EnumerateSkipsUnpluggedEntriesButKeepsTheirIndexes) {
  const std::uint64_t a = Plug();
  Plug();
  Start();
  THidDevice* gone = CheckOut(0);
  sim->Unplug(a);
  ASSERT_TRUE(Settle());
  controller->SetOnEnumerate(THidEnumerateEvent(&events, &TControllerEvents::Enumerate));
  EXPECT_EQ(controller->Enumerate(), 1);
  EXPECT_EQ(events.OfferedIndexes, (std::vector<int>{1}));
  delete gone;
}

TEST_F(ControllerSim, CheckOutRefusals) {
  Plug();
  Start();
  THidDevice* device = reinterpret_cast<THidDevice*>(1);
  EXPECT_FALSE(controller->CheckOutByIndex(device, -1));
  EXPECT_EQ(device, nullptr);
  device = reinterpret_cast<THidDevice*>(1);
  EXPECT_FALSE(controller->CheckOutByIndex(device, 1));
  EXPECT_EQ(device, nullptr);
  THidDevice* first = CheckOut(0);
  ASSERT_NE(first, nullptr);
  EXPECT_TRUE(first->IsCheckedOut());
  EXPECT_FALSE(controller->CheckOutByIndex(device, 0));
  EXPECT_EQ(device, nullptr);
  EXPECT_EQ(controller->NumCheckedOutDevices(), 1);
  EXPECT_EQ(controller->NumCheckedInDevices(), 0);
  delete first;
}

TEST_F(ControllerSim, DevThreadSleepTimeReachesOnlyDevicesThatFollow) {
  Plug();
  Plug();
  Start();
  controller->SetDevThreadSleepTime(20);
  EXPECT_EQ(controller->Devices()[0]->ThreadSleepTime(), 20);
  controller->Devices()[1]->SetThreadSleepTime(30);  // no longer follows
  controller->SetDevThreadSleepTime(40);
  EXPECT_EQ(controller->Devices()[0]->ThreadSleepTime(), 40);
  EXPECT_EQ(controller->Devices()[1]->ThreadSleepTime(), 30);
  // Out of the devices' range: stored by the controller only, and from then on nobody follows.
  controller->SetDevThreadSleepTime(5);
  EXPECT_EQ(controller->DevThreadSleepTime(), 5);
  EXPECT_EQ(controller->Devices()[0]->ThreadSleepTime(), 40);
  controller->SetDevThreadSleepTime(50);
  EXPECT_EQ(controller->Devices()[0]->ThreadSleepTime(), 40);
  // A device that arrives later starts at 100.
  Plug();
  ASSERT_TRUE(Settle());
  EXPECT_EQ(controller->Devices()[2]->ThreadSleepTime(), 100);
}

TEST_P(ControllerSimReaders, SetOnDataStartsReplacesAndStopsTheReader) {
  const std::uint64_t a = Plug();
  Start();
  THidDevice* device = CheckOut(0);
  EXPECT_FALSE(device->HasReaderThread());  // no handler yet
  device->SetOnData(THidDataEvent(&events, &TControllerEvents::Data));
  ASSERT_TRUE(device->HasReaderThread());
  const int openings = sim->Openings(a);
  // Replacing keeps the running thread: its read handle is not reopened.
  device->SetOnData(THidDataEvent(&events, &TControllerEvents::OtherData));
  EXPECT_TRUE(device->HasReaderThread());
  EXPECT_EQ(sim->Openings(a), openings);
  device->SetOnData(nullptr);
  EXPECT_FALSE(device->HasReaderThread());
  delete device;
}

TEST_F(ControllerSim, CheckOutStartsTheReaderOfADeviceWithAHandler) {
  Plug();
  Start();
  controller->SetOnDeviceData(THidDataEvent(&events, &TControllerEvents::Data));
  EXPECT_FALSE(controller->Devices()[0]->HasReaderThread());  // listed devices do not read
  THidDevice* device = CheckOut(0);
  EXPECT_TRUE(device->HasReaderThread());
  // Devices that follow the controller's handler follow its removal too.
  controller->SetOnDeviceData(nullptr);
  EXPECT_FALSE(device->HasReaderThread());
  delete device;
}

TEST_F(ControllerSim, GivingBackLeavesAFreshDeviceCarryingTheHandlers) {
  Plug(platform::SimMouse());
  Plug();
  Start();
  THidDevice* device = CheckOut(1);
  const THidDataEvent data(&events, &TControllerEvents::OtherData);
  const THidPlugEvent unplug(&events, &TControllerEvents::OtherUnplug);
  device->SetOnData(data);
  device->OnUnplug = unplug;
  device->SetThreadSleepTime(25);
  const std::uint64_t id = device->PnPInfo().DeviceID;
  EXPECT_EQ(controller->NumCheckedOutDevices(), 1);

  delete device;
  ASSERT_EQ(controller->Devices().size(), 2u);
  THidDevice* fresh = controller->Devices()[1];
  EXPECT_EQ(fresh->PnPInfo().DeviceID, id);
  EXPECT_FALSE(fresh->IsCheckedOut());
  EXPECT_FALSE(fresh->HasReaderThread());
  EXPECT_TRUE(fresh->OnData().SameCode(data));
  EXPECT_TRUE(fresh->OnUnplug.SameCode(unplug));
  EXPECT_EQ(fresh->ThreadSleepTime(), 25);
  EXPECT_EQ(controller->NumCheckedOutDevices(), 0);
  EXPECT_EQ(controller->NumCheckedInDevices(), 2);
}

TEST_F(ControllerSim, UnboundPlatformHasNoDevices) {
  sim->SetBindFailure(false, true);
  Plug();
  controller = std::make_unique<THidDeviceController>(sim);
  controller->SetOnDeviceChange(TNotifyEvent(&events, &TControllerEvents::DeviceChange));
  EXPECT_FALSE(controller->IsBound());
  EXPECT_EQ(controller->Enumerate(), 0);
  Plug();
  QCoreApplication::processEvents();
  EXPECT_TRUE(controller->Devices().empty());
  EXPECT_EQ(events.Changes, 0);
  // The enumeration binding it did get is released again.
  controller.reset();
  EXPECT_EQ(sim->EnumerationReferences(), 0);
}

TEST_F(ControllerSim, BindingsAreReleasedWithTheController) {
  Start();
  EXPECT_EQ(sim->EnumerationReferences(), 1);
  controller.reset();
  EXPECT_EQ(sim->EnumerationReferences(), 0);
  EXPECT_FALSE(sim->IsHidAccessLoaded());
}

TEST_F(ControllerSim, VersionCannotBeChanged) {
  Start();
  controller->SetVersion("2.0");
  EXPECT_EQ(controller->Version(), "1.0.32");
}

TEST_F(ControllerSim, DeviceRefusedReadWriteIsListedQueryOnly) {
  Plug(platform::SimBootKeyboard());
  Start();
  THidDevice* keyboard = CheckOut(0);
  EXPECT_FALSE(keyboard->HasReadWriteAccess());
  EXPECT_EQ(keyboard->Attributes().VendorID, 0x046D);
  EXPECT_EQ(ToText(keyboard->GetProductName()), "USB Keyboard");
  THidCaps caps;
  keyboard->GetCaps(caps);
  EXPECT_EQ(caps.InputReportByteLength, 9);
  keyboard->SetOnData(THidDataEvent(&events, &TControllerEvents::Data));
  EXPECT_FALSE(keyboard->HasReaderThread());
  std::uint8_t report[2] = {0, 1};
  std::uint32_t written = 0;
  EXPECT_FALSE(keyboard->WriteFile(report, sizeof report, written));
  delete keyboard;
}

TEST_F(ControllerSim, DeviceThatCannotBeOpenedIsLeftOut) {
  platform::TSimDeviceInfo locked = platform::SimProgrammer();
  locked.Access = platform::TSimAccess::None;
  platform::TSimDeviceInfo anonymous = platform::SimProgrammer();
  anonymous.AttributesReadable = false;
  Plug(locked);
  Plug(anonymous);
  const std::uint64_t good = Plug();
  Start();
  ASSERT_EQ(controller->Devices().size(), 1u);
  EXPECT_EQ(controller->Devices()[0]->PnPInfo().DeviceID, good);
}

TEST_P(ControllerSimReaders, ProgrammerRepliesReachOnDataOnTheUserInterfaceThread) {
  const std::uint64_t id = Plug();
  Start();
  THidDevice* programmer = CheckOut(0);
  programmer->SetOnData(THidDataEvent(&events, &TControllerEvents::Data));
  THidCaps caps;
  programmer->GetCaps(caps);
  ASSERT_EQ(caps.OutputReportByteLength, 64);
  std::vector<std::uint8_t> report(caps.OutputReportByteLength, 0);
  report[0] = 0x04;
  report[1] = 4;
  report[2] = emulator::CmdChipID;
  std::uint32_t written = 0;
  ASSERT_TRUE(programmer->WriteFile(report.data(), caps.OutputReportByteLength, written));
  EXPECT_EQ(written, 64u);
  EXPECT_EQ(sim->WrittenReports(id), 1u);
  // In the event loop nothing is read before this thread services its events.
  if (readInEventLoop) {
    EXPECT_EQ(sim->QueuedReports(id), 3u);
  }
  ASSERT_TRUE(kvm::test::WaitFor([&] { return events.Received.size() == 3; }));
  for (const test::TReceivedData& received : events.Received) {
    EXPECT_EQ(received.ReportID, 0x01);
    EXPECT_EQ(received.Data.size(), 7u);
    EXPECT_EQ(received.Thread, std::this_thread::get_id());
  }
  EXPECT_EQ(events.Received[0].Data, (std::vector<std::uint8_t>{0x03, 0x00, 0x20, 0x52, 0, 0, 0}));
  EXPECT_EQ(events.Received[2].Data, (std::vector<std::uint8_t>{0x01, 0x02, 0, 0, 0, 0, 0}));
  delete programmer;
}

// Reports that queue up while the user-interface thread is busy go over
// together, yet each reaches the handler alone, in order, on that thread.
TEST_P(ControllerSimReaders, QueuedReportsReachTheHandlerOneByOneInOrder) {
  const std::uint64_t id = Plug();
  Start();
  THidDevice* programmer = CheckOut(0);
  int depth = 0, deepest = 0;
  std::vector<int> order;
  programmer->SetOnData(THidDataEvent(
      std::function<void(THidDevice*, std::uint8_t, const std::uint8_t*, std::uint16_t)>(
          [&](THidDevice*, std::uint8_t, const std::uint8_t* data, std::uint16_t size) {
            deepest = std::max(deepest, ++depth);
            EXPECT_EQ(size, 7);
            order.push_back(data[0]);
            EXPECT_EQ(std::this_thread::get_id(), mainThread);
            --depth;
          })));
  // More than one hand-over carries, injected without servicing events between.
  constexpr int Reports = 40;
  for (int i = 0; i < Reports; ++i)
    ASSERT_TRUE(sim->InjectInputReport(id, {0x00, static_cast<std::uint8_t>(i), 0, 0, 0, 0, 0, 0}));
  ASSERT_TRUE(kvm::test::WaitFor([&] { return order.size() == Reports; }));
  for (int i = 0; i < Reports; ++i) EXPECT_EQ(order[i], i);
  EXPECT_EQ(deepest, 1);
  delete programmer;
}

// A handler that gives the device back ends its reader: the reports queued
// behind its own are dropped, not handed to a device that is gone.
TEST_P(ControllerSimReaders, HandlerThatGivesTheDeviceBackGetsNoMoreReports) {
  const std::uint64_t id = Plug();
  Start();
  THidDevice* programmer = CheckOut(0);
  int received = 0;
  programmer->SetOnData(THidDataEvent(std::function<void(THidDevice*, std::uint8_t, const std::uint8_t*, std::uint16_t)>(
      [&](THidDevice* device, std::uint8_t, const std::uint8_t*, std::uint16_t) {
        ++received;
        delete device;
      })));
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(sim->InjectInputReport(id, {0x00, 0x01, 0x02, 0, 0, 0, 0, 0}));
  ASSERT_TRUE(kvm::test::WaitFor([&] { return received > 0; }));
  // The abandoned reader ends by itself; nothing else arrives meanwhile.
  EXPECT_FALSE(kvm::test::WaitFor([&] { return received > 1; }, 200));
  EXPECT_EQ(received, 1);
}

// Stopping a reader serves its hand-overs only: a click or a timer tick
// queued before the stop runs after it, never in the middle of it.
TEST_F(ControllerSim, ClicksAndTicksQueuedDuringAReaderStopRunAfterIt) {
  const std::uint64_t id = Plug();
  Start();
  THidDevice* device = CheckOut(0);
  std::vector<std::string> order;
  device->SetOnData(THidDataEvent(
      std::function<void(THidDevice*, std::uint8_t, const std::uint8_t*, std::uint16_t)>(
          [&](THidDevice*, std::uint8_t, const std::uint8_t*, std::uint16_t) { order.push_back("report"); })));
  ASSERT_TRUE(device->HasReaderThread());

  // The reader takes the report and waits in its hand-over; no event is
  // serviced meanwhile.
  ASSERT_TRUE(sim->InjectInputReport(id, emulator::TProgrammerEmulator::StatusReport(0x02)));
  QElapsedTimer clock;
  clock.start();
  while (sim->QueuedReports(id) != 0 && clock.elapsed() < 2000) std::this_thread::yield();
  ASSERT_EQ(sim->QueuedReports(id), 0u);

  QMetaObject::invokeMethod(QCoreApplication::instance(), [&] { order.push_back("click"); }, Qt::QueuedConnection);
  QTimer tick;
  tick.setSingleShot(true);
  QObject::connect(&tick, &QTimer::timeout, [&] { order.push_back("tick"); });
  tick.start(0);

  device->SetOnData(nullptr);  // stops the reader
  order.push_back("stopped");
  const auto position = [&](const std::string& entry) {
    return std::find(order.begin(), order.end(), entry) - order.begin();
  };
  const auto has = [&](const std::string& entry) { return position(entry) < std::ssize(order); };
  ASSERT_TRUE(kvm::test::WaitFor([&] { return has("click") && has("tick"); }));

  // The report, if the stop came after the reader had taken it, was served
  // within the stop; the click and the tick only after it.
  EXPECT_GT(position("click"), position("stopped"));
  EXPECT_GT(position("tick"), position("stopped"));
  if (has("report")) {
    EXPECT_LT(position("report"), position("stopped"));
  }
  delete device;
}

TEST_P(ControllerSimReaders, UnplugWhileReadingReportsReadErrorsUntilGivenBack) {
  const std::uint64_t id = Plug();
  Start();
  THidDevice* programmer = CheckOut(0);
  programmer->SetThreadSleepTime(10);
  programmer->SetOnData(THidDataEvent(&events, &TControllerEvents::Data));
  ASSERT_TRUE(programmer->HasReaderThread());
  sim->Unplug(id);
  ASSERT_TRUE(Settle());
  EXPECT_FALSE(programmer->IsPluggedIn());
  // The reader stays until the device is given back and keeps failing to start reads.
  ASSERT_TRUE(kvm::test::WaitFor([&] { return events.DataErrors.size() >= 2; }));
  EXPECT_TRUE(programmer->HasReaderThread());
  std::uint8_t report[64] = {0x04};
  std::uint32_t written = 0;
  EXPECT_FALSE(programmer->WriteFile(report, sizeof report, written));
  delete programmer;
  EXPECT_TRUE(controller->Devices().empty());
}

// The simulated bus with reader handles that fail: the first `RefusedOpens`
// read openings are refused, and each handle's first `FailedReads` reads fail.
class TFailingReaderPlatform final : public platform::THidPlatform {
 public:
  explicit TFailingReaderPlatform(std::shared_ptr<TSimHidPlatform> inner) : inner_(std::move(inner)) {}
  std::atomic<int> RefusedOpens{0};
  std::atomic<int> FailedReads{0};
  std::atomic<int> Reads{0};

  bool LoadEnumeration() override { return inner_->LoadEnumeration(); }
  void UnloadEnumeration() override { inner_->UnloadEnumeration(); }
  bool LoadHidAccess() override { return inner_->LoadHidAccess(); }
  void UnloadHidAccess() override { inner_->UnloadHidAccess(); }
  bool IsHidAccessLoaded() const override { return inner_->IsHidAccessLoaded(); }
  std::vector<platform::THidInterface> ScanInterfaces() override { return inner_->ScanInterfaces(); }
  bool GetCaps(const platform::TPreparsedData& data, THidCaps& caps) override { return inner_->GetCaps(data, caps); }
  int NoticeFd() override { return inner_->NoticeFd(); }
  int DrainNotices() override { return inner_->DrainNotices(); }
  std::string ErrorText(std::uint32_t error) override { return inner_->ErrorText(error); }
  std::unique_ptr<platform::THidHandle> Open(const std::string& path, platform::TOpenMode mode,
                                             std::uint32_t& error) override {
    if (mode == platform::TOpenMode::Read && RefusedOpens > 0) {
      --RefusedOpens;
      error = EBUSY;
      return nullptr;
    }
    std::unique_ptr<platform::THidHandle> handle = inner_->Open(path, mode, error);
    if (!handle || mode != platform::TOpenMode::Read) return handle;
    return std::make_unique<THandle>(std::move(handle), *this);
  }

 private:
  class THandle final : public platform::THidHandle {
   public:
    THandle(std::unique_ptr<platform::THidHandle> inner, TFailingReaderPlatform& owner)
        : inner_(std::move(inner)), owner_(owner), failing_(owner.FailedReads.load()) {}
    bool GetAttributes(THidAttributes& attributes) override { return inner_->GetAttributes(attributes); }
    std::unique_ptr<platform::TPreparsedData> GetPreparsedData() override { return inner_->GetPreparsedData(); }
    bool GetManufacturerString(std::u16string& text) override { return inner_->GetManufacturerString(text); }
    bool GetProductString(std::u16string& text) override { return inner_->GetProductString(text); }
    bool GetSerialNumberString(std::u16string& text) override { return inner_->GetSerialNumberString(text); }
    bool GetNumInputBuffers(std::uint32_t& count) override { return inner_->GetNumInputBuffers(count); }
    bool SetNumInputBuffers(std::uint32_t count) override { return inner_->SetNumInputBuffers(count); }
    bool Write(const std::uint8_t* buffer, std::size_t count, std::size_t& written, std::uint32_t& error) override {
      return inner_->Write(buffer, count, written, error);
    }
    platform::TReadStatus Read(std::uint8_t* buffer, std::size_t capacity, std::size_t& got, int timeoutMs,
                               std::uint32_t& error) override {
      ++owner_.Reads;
      if (failing_ > 0) {
        --failing_;
        error = EIO;
        return platform::TReadStatus::Error;
      }
      return inner_->Read(buffer, capacity, got, timeoutMs, error);
    }
    void Cancel() override { inner_->Cancel(); }
    int ReadyFd() override { return inner_->ReadyFd(); }

   private:
    std::unique_ptr<platform::THidHandle> inner_;
    TFailingReaderPlatform& owner_;
    int failing_;
  };
  std::shared_ptr<TSimHidPlatform> inner_;
};

TEST_P(ControllerSimReaders, ReadAfterARefusedOrFailedOneFollowsAtOnceButFailuresInARowArePaced) {
  struct TCase {
    const char* name;
    int refusedOpens, failedReads;
    std::size_t dataErrors;
  };
  // A slice far longer than the wait below: the report must not wait for it.
  for (const TCase& c : {TCase{"refused open", 1, 0, 1}, TCase{"failed read", 0, 1, 0}}) {
    SCOPED_TRACE(c.name);
    auto failing = std::make_shared<TFailingReaderPlatform>(sim);
    failing->RefusedOpens = c.refusedOpens;
    failing->FailedReads = c.failedReads;
    const std::uint64_t id = Plug();
    ClearEvents();
    events.Received.clear();
    events.DataErrors.clear();
    Start(failing);
    THidDevice* programmer = CheckOut(0);
    programmer->SetThreadSleepTime(10000);
    ASSERT_TRUE(sim->InjectInputReport(id, emulator::TProgrammerEmulator::StatusReport(0x02)));
    programmer->SetOnData(THidDataEvent(&events, &TControllerEvents::Data));
    EXPECT_TRUE(kvm::test::WaitFor([&] { return !events.Received.empty(); }, 1000));
    EXPECT_EQ(events.DataErrors.size(), c.dataErrors);
    delete programmer;
    controller.reset();
    sim->Unplug(id);
  }

  // Reads that keep failing wait a slice each after the second.
  auto failing = std::make_shared<TFailingReaderPlatform>(sim);
  failing->FailedReads = 1'000'000;
  Plug();
  ClearEvents();
  Start(failing);
  THidDevice* programmer = CheckOut(0);
  programmer->SetThreadSleepTime(50);
  programmer->SetOnData(THidDataEvent(&events, &TControllerEvents::Data));
  QElapsedTimer clock;
  clock.start();
  kvm::test::WaitFor([&] { return clock.elapsed() >= 200; });
  EXPECT_LE(failing->Reads, 2 + clock.elapsed() / 50 + 1);
  delete programmer;
}

TEST_F(ControllerSim, ControllerDestructionDetachesCheckedOutDevices) {
  const std::uint64_t id = Plug();
  Start();
  THidDevice* device = CheckOut(0);
  controller.reset();
  EXPECT_FALSE(device->IsPluggedIn());
  EXPECT_EQ(device->Controller(), nullptr);
  EXPECT_EQ(events.Log.back(), "unplug " + Name(id));
  delete device;  // gives back to nobody
}

}  // namespace
}  // namespace kvm::hid
