#include "hid/record/ReplayHidPlatform.h"

#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>

#include "hid/platform/NoticeWake.h"
#include "hid/platform/ReportDescriptor.h"

namespace kvm::hid::record {

using platform::THidHandle;
using platform::TOpenMode;
using platform::TReadStatus;
using TClock = TReplayDevice::TClock;

namespace {

constexpr const char* PathPrefix = "replay://";

// What the device said its descriptor gives, whatever platform recorded it.
class TReplayPreparsed final : public platform::TPreparsedData {
 public:
  explicit TReplayPreparsed(THidCaps caps) : Caps(caps) {}
  const THidCaps Caps;
};

}  // namespace

// The device-node notice, raised when a device goes away: a waiter thread
// sleeps until the first departure not yet announced, raises the notice once
// and sleeps until it is armed again.
struct TReplayHidPlatform::TNotices {
  explicit TNotices(std::vector<std::shared_ptr<TReplayDevice>> devices)
      : Devices(std::move(devices)), Announced(Devices.size(), false), Waiter([this] { Wait(); }) {}
  ~TNotices() {
    {
      std::lock_guard lock(Mutex);
      Stopping = true;
    }
    Rearmed.notify_all();
    Waiter.join();
  }

  // Looks for the first departure not yet announced again.
  void Arm() {
    {
      std::lock_guard lock(Mutex);
      ++Generation;
    }
    Rearmed.notify_all();
  }

  int Drain() {
    const bool raised = Notice.Drain() > 0;
    int count = 0;
    {
      std::lock_guard lock(Mutex);
      const TClock::time_point now = TClock::now();
      for (std::size_t i = 0; i < Devices.size(); ++i) {
        const auto gone = Devices[i]->GoneAt();
        if (!Announced[i] && gone && *gone <= now) {
          Announced[i] = true;
          ++count;
        }
      }
    }
    Arm();
    return count > 0 ? count : (raised ? 1 : 0);
  }

  const std::vector<std::shared_ptr<TReplayDevice>> Devices;
  platform::TNoticeWake Notice;

 private:
  std::optional<TClock::time_point> NextDepartureLocked() const {
    std::optional<TClock::time_point> next;
    for (std::size_t i = 0; i < Devices.size(); ++i) {
      const auto gone = Devices[i]->GoneAt();
      if (!Announced[i] && gone && (!next || *gone < *next)) next = gone;
    }
    return next;
  }

  void Wait() {
    std::unique_lock lock(Mutex);
    std::uint64_t seen = Generation;
    const auto rearmed = [&] { return Stopping || Generation != seen; };
    while (!Stopping) {
      const std::optional<TClock::time_point> next = NextDepartureLocked();
      if (!next) {
        Rearmed.wait(lock, rearmed);
      } else if (!Rearmed.wait_until(lock, *next, rearmed)) {
        Notice.Raise();
        Rearmed.wait(lock, rearmed);  // off until armed again
      }
      seen = Generation;
    }
  }

  std::mutex Mutex;
  std::condition_variable Rearmed;
  std::vector<bool> Announced;
  std::uint64_t Generation = 0;
  bool Stopping = false;
  std::thread Waiter;  // last: it starts at construction
};

namespace {

class TReplayHandle final : public THidHandle {
 public:
  TReplayHandle(std::shared_ptr<TReplayDevice> device, std::shared_ptr<TReplayHidPlatform::TNotices> notices,
                TOpenMode mode)
      : device_(std::move(device)), notices_(std::move(notices)), mode_(mode) {}

  bool GetAttributes(THidAttributes& attributes) override {
    if (!device_->IsPresent() || !device_->Identity().Attributes) return false;
    attributes = *device_->Identity().Attributes;
    return true;
  }
  std::unique_ptr<platform::TPreparsedData> GetPreparsedData() override {
    const TRecordedIdentity& identity = device_->Identity();
    if (!device_->IsPresent()) return nullptr;
    if (identity.Caps) return std::make_unique<TReplayPreparsed>(*identity.Caps);
    if (!identity.ReportDescriptor.empty()) return std::make_unique<platform::TDescriptorData>(identity.ReportDescriptor);
    return nullptr;
  }
  bool GetManufacturerString(std::u16string& text) override { return String(device_->Identity().Manufacturer, text); }
  bool GetProductString(std::u16string& text) override { return String(device_->Identity().Product, text); }
  bool GetSerialNumberString(std::u16string& text) override { return String(device_->Identity().SerialNumber, text); }
  bool GetNumInputBuffers(std::uint32_t& count) override {
    count = numInputBuffers_;
    return device_->IsPresent();
  }
  bool SetNumInputBuffers(std::uint32_t count) override {
    if (!device_->IsPresent() || count < 2 || count > 512) return false;
    numInputBuffers_ = count;
    return true;
  }

  bool Write(const std::uint8_t* buffer, std::size_t count, std::size_t& written, std::uint32_t& error) override {
    if (mode_ == TOpenMode::QueryOnly || mode_ == TOpenMode::Read) {
      written = 0;
      error = EBADF;
      return false;
    }
    const bool ok = device_->Write(buffer, count, written, error);
    // The write may have scheduled the device's departure.
    notices_->Arm();
    return ok;
  }
  TReadStatus Read(std::uint8_t* buffer, std::size_t capacity, std::size_t& got, int timeoutMs,
                   std::uint32_t& error) override {
    if (mode_ == TOpenMode::QueryOnly || mode_ == TOpenMode::Write) {
      got = 0;
      error = EBADF;
      return TReadStatus::Error;
    }
    return device_->Read(buffer, capacity, got, timeoutMs, error, cancelled_);
  }
  void Cancel() override {
    {
      std::lock_guard lock(device_->Mutex());
      cancelled_ = true;
    }
    device_->WakeReaders();
  }

 private:
  bool String(const std::optional<std::u16string>& source, std::u16string& text) const {
    if (!device_->IsPresent() || !source) return false;
    text = *source;
    return true;
  }

  const std::shared_ptr<TReplayDevice> device_;
  const std::shared_ptr<TReplayHidPlatform::TNotices> notices_;
  const TOpenMode mode_;
  bool cancelled_ = false;  // guarded by the device's mutex
  std::uint32_t numInputBuffers_ = 64;
};

}  // namespace

TReplayHidPlatform::TReplayHidPlatform(TRecording recording, bool fast) {
  for (std::size_t i = 0; i < recording.Devices.size(); ++i)
    devices_.push_back(
        std::make_shared<TReplayDevice>(static_cast<std::uint32_t>(i), std::move(recording.Devices[i]), fast));
  notices_ = std::make_shared<TNotices>(devices_);
  notices_->Arm();
}

TReplayHidPlatform::~TReplayHidPlatform() = default;

std::vector<platform::THidInterface> TReplayHidPlatform::ScanInterfaces() {
  std::vector<platform::THidInterface> interfaces;
  for (const auto& device : devices_)
    if (device->IsPresent())
      interfaces.push_back({device->Index() + 1, PathPrefix + std::to_string(device->Index()),
                            device->Identity().PortPath});
  return interfaces;
}

std::shared_ptr<TReplayDevice> TReplayHidPlatform::Find(const std::string& path) const {
  for (const auto& device : devices_)
    if (path == PathPrefix + std::to_string(device->Index())) return device;
  return nullptr;
}

std::unique_ptr<THidHandle> TReplayHidPlatform::Open(const std::string& devicePath, TOpenMode mode,
                                                     std::uint32_t& error) {
  std::shared_ptr<TReplayDevice> device = Find(devicePath);
  if (!device || !device->IsPresent()) {
    error = ENOENT;
    return nullptr;
  }
  return std::make_unique<TReplayHandle>(std::move(device), notices_, mode);
}

bool TReplayHidPlatform::GetCaps(const platform::TPreparsedData& data, THidCaps& caps) {
  caps = THidCaps{};
  if (const auto* replayed = dynamic_cast<const TReplayPreparsed*>(&data)) {
    caps = replayed->Caps;
    return true;
  }
  const auto* descriptor = dynamic_cast<const platform::TDescriptorData*>(&data);
  if (descriptor == nullptr || !descriptor->Valid()) return false;
  caps = descriptor->Caps();
  return true;
}

int TReplayHidPlatform::NoticeFd() { return notices_->Notice.Fd(); }

int TReplayHidPlatform::DrainNotices() { return notices_->Drain(); }

void TReplayHidPlatform::SetNoticeWake(std::function<void()> wake) { notices_->Notice.SetWake(std::move(wake)); }

std::string TReplayHidPlatform::ErrorText(std::uint32_t error) {
  char buffer[256];
  // The GNU strerror_r, which may return a static text instead of filling the buffer.
  return strerror_r(static_cast<int>(error), buffer, sizeof buffer);
}

std::optional<TReplayStop> TReplayHidPlatform::Stop() const {
  for (const auto& device : devices_)
    if (auto stop = device->Stop()) return stop;
  return std::nullopt;
}

std::vector<std::string> TReplayHidPlatform::Unfinished() const {
  std::vector<std::string> unfinished;
  for (const auto& device : devices_) {
    const std::size_t left = device->WritesLeft();
    if (left == 0 || device->Stop()) continue;
    const std::size_t all = device->RecordedWrites();
    unfinished.push_back("device " + std::to_string(device->Index()) + ": " + std::to_string(all - left) + " of " +
                         std::to_string(all) + " recorded writes made");
  }
  return unfinished;
}

}  // namespace kvm::hid::record
