#include "hid/HidControllerClass.h"

#include <QMetaObject>
#include <algorithm>
#include <stdexcept>

#include "hid/HidControllerImpl.h"
#include "hid/HidDeviceImpl.h"

namespace kvm::hid {

namespace {

// Marks the controller's own first notice, so that its rescan reports a change.
constexpr int FirstNotice = -1;
constexpr int SystemNotice = 0;

}  // namespace

int THidDeviceController::Impl::IndexOf(const THidDevice* device) const {
  const auto it = std::find(Devices.begin(), Devices.end(), device);
  return it == Devices.end() ? -1 : static_cast<int>(it - Devices.begin());
}

THidDeviceController::THidDeviceController(std::shared_ptr<platform::THidPlatform> platform)
    : d_(std::make_unique<Impl>()) {
  if (!platform) throw std::invalid_argument("THidDeviceController needs a HID platform");
  d_->Platform = std::move(platform);
  d_->EnumerationLoaded = d_->Platform->LoadEnumeration();
  if (d_->EnumerationLoaded) d_->Platform->LoadHidAccess();
  if (!d_->Platform->IsHidAccessLoaded()) return;  // unbound: no devices, ever

  // A notice that arrives while a notice-driven rescan runs (a handler that
  // pumps events) is dropped; the next one is handled normally.
  const auto handleNotice = [this](int param) {
    if (d_->InDeviceChange) return;
    d_->LastChangeParam = param;
    d_->InDeviceChange = true;
    DeviceChange();
    d_->InDeviceChange = false;
  };
  d_->Notices = std::make_unique<TNoticeWatch>(*d_->Platform, [handleNotice] { handleNotice(SystemNotice); });
  QMetaObject::invokeMethod(d_->Notices->Context(), [handleNotice] { handleNotice(FirstNotice); },
                            Qt::QueuedConnection);
}

THidDeviceController::~THidDeviceController() {
  d_->OnDeviceChange = nullptr;
  d_->OnDeviceUnplug = nullptr;
  d_->OnEnumerate = nullptr;
  d_->Notices.reset();

  // Checked-out devices stay with their users, unplugged and detached.
  std::vector<THidDevice*> devices = std::move(d_->Devices);
  d_->Devices.clear();
  for (THidDevice* device : devices) {
    device->d_->Controller = nullptr;
    if (device->IsCheckedOut()) {
      device->DoUnplug();
    } else {
      delete device;
    }
  }
  if (d_->EnumerationLoaded) d_->Platform->UnloadEnumeration();
  d_->Platform->UnloadHidAccess();
}

void THidDeviceController::DeviceChange() {
  // Removals are reported before arrivals, and the change event comes last,
  // after the counts are right.
  bool changed = d_->LastChangeParam == FirstNotice;
  std::vector<THidDevice*> arrivals = ScanInterfaces();
  if (RemoveVanished(arrivals)) changed = true;
  DropListed(arrivals);
  if (AddArrivals(arrivals)) changed = true;
  Recount();
  if (changed && d_->OnDeviceChange) {
    const TNotifyEvent handler = d_->OnDeviceChange;
    handler(this);
  }
}

std::vector<THidDevice*> THidDeviceController::ScanInterfaces() {
  std::vector<THidDevice*> found;
  if (!d_->Platform->IsHidAccessLoaded()) return found;
  for (const platform::THidInterface& present : d_->Platform->ScanInterfaces()) {
    auto pnpInfo = std::make_unique<THidPnPInfo>();
    pnpInfo->DeviceID = present.DeviceID;
    pnpInfo->DevicePath = present.DevicePath;
    try {
      found.push_back(new THidDevice(std::move(pnpInfo), this));
    } catch (...) {
      // An interface that cannot be opened or identified is left out.
    }
  }
  return found;
}

bool THidDeviceController::RemoveVanished(const std::vector<THidDevice*>& present) {
  Impl& d = *d_;
  const auto hasCounterpart = [&present](THidDevice* device) {
    return device->IsPluggedIn() && std::any_of(present.begin(), present.end(), [device](THidDevice* fresh) {
             return fresh->PnPInfo().DeviceID == device->PnPInfo().DeviceID;
           });
  };
  bool removed = false;
  // Last entry first. Handlers may give devices back meanwhile, so every step
  // looks the device up again.
  for (int i = static_cast<int>(d.Devices.size()) - 1; i >= 0; --i) {
    if (i >= static_cast<int>(d.Devices.size())) continue;
    THidDevice* device = d.Devices[i];
    if (hasCounterpart(device)) continue;
    removed = true;
    device->DoUnplug();
    if (d.IndexOf(device) < 0) continue;  // given back by its OnUnplug
    device->d_->IsEnumerated = true;
    if (d.OnRemoval) d.OnRemoval(device);
    const int index = d.IndexOf(device);
    if (index < 0) continue;
    device->d_->IsEnumerated = false;
    if (!device->IsCheckedOut()) {
      d.Devices.erase(d.Devices.begin() + index);
      delete device;
    }
  }
  return removed;
}

void THidDeviceController::DropListed(std::vector<THidDevice*>& arrivals) {
  // Interfaces already listed are not new.
  for (THidDevice*& fresh : arrivals) {
    const bool listed = std::any_of(d_->Devices.begin(), d_->Devices.end(), [fresh](THidDevice* device) {
      return device->IsPluggedIn() && device->PnPInfo().DeviceID == fresh->PnPInfo().DeviceID;
    });
    if (!listed) continue;
    fresh->d_->Controller = nullptr;
    delete fresh;
    fresh = nullptr;
  }
}

bool THidDeviceController::AddArrivals(const std::vector<THidDevice*>& arrivals) {
  Impl& d = *d_;
  bool added = false;
  for (THidDevice* fresh : arrivals) {
    if (fresh == nullptr) continue;
    d.Devices.push_back(fresh);
    added = true;
    fresh->d_->IsEnumerated = true;
    if (d.OnArrival) d.OnArrival(fresh);
    if (d.IndexOf(fresh) >= 0) fresh->d_->IsEnumerated = false;
  }
  return added;
}

void THidDeviceController::Recount() {
  Impl& d = *d_;
  const auto checkedOut = std::count_if(d.Devices.begin(), d.Devices.end(), [](THidDevice* x) { return x->IsCheckedOut(); });
  const auto unplugged = std::count_if(d.Devices.begin(), d.Devices.end(), [](THidDevice* x) { return !x->IsPluggedIn(); });
  d.NumCheckedInDevices = static_cast<int>(d.Devices.size() - checkedOut);
  d.NumUnpluggedDevices = static_cast<int>(unplugged);
  d.NumCheckedOutDevices = static_cast<int>(checkedOut - unplugged);
}

int THidDeviceController::Enumerate() {
  int count = 0;
  const int n = static_cast<int>(d_->Devices.size());
  for (int i = 0; i < n && i < static_cast<int>(d_->Devices.size()); ++i) {
    THidDevice* device = d_->Devices[i];
    if (!device->IsPluggedIn()) continue;
    ++count;
    if (!d_->OnEnumerate) break;
    device->d_->IsEnumerated = true;
    const THidEnumerateEvent handler = d_->OnEnumerate;
    const bool more = handler(device, i);
    if (d_->IndexOf(device) >= 0) {
      device->d_->IsEnumerated = false;
      if (!device->IsCheckedOut()) {
        device->CloseFile();
        device->CloseFileEx(TFileMode::Read);
        device->CloseFileEx(TFileMode::Write);
      }
    }
    if (!more) break;
  }
  return count;
}

bool THidDeviceController::CheckOutByIndex(THidDevice*& HidDev, int Idx) {
  HidDev = nullptr;
  if (Idx < 0 || Idx >= static_cast<int>(d_->Devices.size())) return false;
  THidDevice* device = d_->Devices[Idx];
  if (device->IsCheckedOut()) return false;
  HidDev = device;
  device->d_->IsCheckedOut = true;
  ++d_->NumCheckedOutDevices;
  --d_->NumCheckedInDevices;
  device->StartThread();
  return true;
}

void THidDeviceController::BeginLoading() { d_->Loading = true; }
void THidDeviceController::EndLoading() { d_->Loading = false; }

void THidDeviceController::SetOnArrival(THidPlugEvent handler) { d_->OnArrival = std::move(handler); }
void THidDeviceController::SetOnRemoval(THidPlugEvent handler) { d_->OnRemoval = std::move(handler); }
void THidDeviceController::SetOnEnumerate(THidEnumerateEvent handler) { d_->OnEnumerate = std::move(handler); }

void THidDeviceController::SetOnDeviceChange(TNotifyEvent handler) {
  if (handler.SameCode(d_->OnDeviceChange)) return;
  d_->OnDeviceChange = std::move(handler);
  if (!d_->Loading) DeviceChange();
}

// The devices that still follow the controller's default take the new one.
// Starting or stopping a reader services events, so the list is re-read at
// every step.
void THidDeviceController::SetOnDeviceData(THidDataEvent handler) {
  if (handler.SameCode(d_->OnDeviceData)) return;
  for (std::size_t i = 0; i < d_->Devices.size(); ++i) {
    THidDevice* device = d_->Devices[i];
    if (device->OnData().SameCode(d_->OnDeviceData)) device->SetOnData(handler);
  }
  d_->OnDeviceData = std::move(handler);
}

void THidDeviceController::SetOnDeviceDataError(THidDataErrorEvent handler) {
  if (handler.SameCode(d_->OnDeviceDataError)) return;
  for (THidDevice* device : d_->Devices) {
    if (device->OnDataError.SameCode(d_->OnDeviceDataError)) device->OnDataError = handler;
  }
  d_->OnDeviceDataError = std::move(handler);
}

void THidDeviceController::SetOnDeviceUnplug(THidPlugEvent handler) {
  if (handler.SameCode(d_->OnDeviceUnplug)) return;
  for (THidDevice* device : d_->Devices) {
    if (device->OnUnplug.SameCode(d_->OnDeviceUnplug)) device->OnUnplug = handler;
  }
  d_->OnDeviceUnplug = std::move(handler);
}

void THidDeviceController::SetReadInEventLoop(bool inEventLoop) { d_->ReadInEventLoop = inEventLoop; }

void THidDeviceController::SetDevThreadSleepTime(int milliseconds) {
  if (milliseconds == d_->DevThreadSleepTime) return;
  for (THidDevice* device : d_->Devices) {
    if (device->ThreadSleepTime() == d_->DevThreadSleepTime) device->SetThreadSleepTime(milliseconds);
  }
  d_->DevThreadSleepTime = milliseconds;
}

void THidDeviceController::SetVersion(const std::string&) {}

const THidDataEvent& THidDeviceController::OnDeviceData() const { return d_->OnDeviceData; }
const THidDataErrorEvent& THidDeviceController::OnDeviceDataError() const { return d_->OnDeviceDataError; }
const THidPlugEvent& THidDeviceController::OnDeviceUnplug() const { return d_->OnDeviceUnplug; }
int THidDeviceController::DevThreadSleepTime() const { return d_->DevThreadSleepTime; }
std::string THidDeviceController::Version() const { return "1.0.32"; }
bool THidDeviceController::IsBound() const { return d_->EnumerationLoaded && d_->Platform->IsHidAccessLoaded(); }

int THidDeviceController::NumCheckedInDevices() const { return d_->NumCheckedInDevices; }
int THidDeviceController::NumCheckedOutDevices() const { return d_->NumCheckedOutDevices; }
int THidDeviceController::NumUnpluggedDevices() const { return d_->NumUnpluggedDevices; }
const std::vector<THidDevice*>& THidDeviceController::Devices() const { return d_->Devices; }
platform::THidPlatform& THidDeviceController::Platform() const { return *d_->Platform; }

}  // namespace kvm::hid
