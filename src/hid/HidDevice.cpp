#include "hid/HidDevice.h"

#include <QString>
#include <cerrno>

#include "hid/HidControllerImpl.h"
#include "hid/HidDeviceEventReader.h"
#include "hid/HidDeviceImpl.h"
#include "hid/HidDeviceReadThread.h"

namespace kvm::hid {

namespace {

constexpr std::size_t MaxStringUnits = 254;

// The text up to the first zero unit, at most as long as the device's buffer.
std::u16string CutString(const std::u16string& text) {
  std::u16string result = text.substr(0, std::min(text.size(), MaxStringUnits));
  const std::size_t zero = result.find(u'\0');
  if (zero != std::u16string::npos) result.resize(zero);
  return result;
}

void CloseAllHandles(THidDevice& device) {
  device.CloseFile();
  device.CloseFileEx(TFileMode::Read);
  device.CloseFileEx(TFileMode::Write);
}

using StringQuery = bool (platform::THidHandle::*)(std::u16string&);

// Strings are fetched until the device gives one, then kept.
std::u16string CachedString(THidDevice& device, std::unique_ptr<platform::THidHandle>& handle, std::u16string& cache,
                            StringQuery query) {
  if (cache.empty() && device.OpenFile()) {
    std::u16string text;
    if ((handle.get()->*query)(text)) cache = CutString(text);
    device.CloseFile();
  }
  return cache;
}

}  // namespace

std::unique_ptr<platform::THidHandle> THidDevice::Impl::OpenGeneral(std::uint32_t& error) {
  const std::string& path = PnPInfo->DevicePath;
  auto handle = Platform->Open(path, platform::TOpenMode::ReadWrite, error);
  HasReadWriteAccess = handle != nullptr;
  AccessError = handle ? 0 : error;
  if (!handle) {
    std::uint32_t queryError = 0;
    handle = Platform->Open(path, platform::TOpenMode::QueryOnly, queryError);
    if (!handle && error == 0) error = queryError;
  }
  return handle;
}

std::shared_ptr<platform::THidHandle> THidDevice::Impl::AcquireReadHandle(std::uint32_t& error) {
  std::lock_guard<std::mutex> lock(ReadHandleLock);
  if (!CanOpen()) {
    error = ENODEV;
    return nullptr;
  }
  if (!ReadHandle) error = ReadOpenError != 0 ? ReadOpenError : ENODEV;
  return ReadHandle;
}

THidDevice::THidDevice(std::unique_ptr<THidPnPInfo> pnpInfo, THidDeviceController* controller)
    : d_(std::make_unique<Impl>()) {
  d_->PnPInfo = std::move(pnpInfo);
  d_->Controller = controller;
  if (controller != nullptr) {
    d_->Platform = controller->d_->Platform;
    SetOnData(controller->d_->OnDeviceData);
    OnDataError = controller->d_->OnDeviceDataError;
    OnUnplug = controller->d_->OnDeviceUnplug;
  }
  if (!d_->Platform || !d_->PnPInfo) throw EControllerError("device cannot be opened");

  std::uint32_t error = 0;
  d_->FileHandle = d_->OpenGeneral(error);
  if (!d_->FileHandle) throw EControllerError("device cannot be opened");
  d_->Attributes.Size = 12;
  if (!d_->FileHandle->GetAttributes(d_->Attributes)) throw EControllerError("device cannot be identified");
  d_->Attributes.Size = 12;
  CloseFile();
}

THidDevice::~THidDevice() {
  const THidDataEvent rememberedOnData = d_->OnData;
  const THidPlugEvent rememberedOnUnplug = OnUnplug;
  SetOnData(nullptr);
  OnUnplug = nullptr;
  CloseAllHandles(*this);
  d_->PreparsedData.reset();

  THidDeviceController* controller = d_->Controller;
  if (controller == nullptr) return;
  THidDeviceController::Impl& list = *controller->d_;
  const int index = list.IndexOf(this);
  if (index < 0) return;

  const bool wasCheckedOut = d_->IsCheckedOut;
  if (d_->IsPluggedIn) {
    try {
      auto fresh = std::make_unique<THidDevice>(std::move(d_->PnPInfo), controller);
      fresh->SetOnData(rememberedOnData);
      fresh->OnUnplug = rememberedOnUnplug;
      fresh->SetThreadSleepTime(ThreadSleepTime());
      list.Devices[index] = fresh.release();
      if (wasCheckedOut) {
        --list.NumCheckedOutDevices;
        ++list.NumCheckedInDevices;
      }
      return;
    } catch (const EControllerError&) {
      // The interface went away or no longer identifies: drop the entry, as
      // for a device given back after an unplug; the next rescan finds the
      // interface again if it is still there.
      list.Devices.erase(list.Devices.begin() + index);
      if (wasCheckedOut) --list.NumCheckedOutDevices;
      else --list.NumCheckedInDevices;
      return;
    }
  }
  list.Devices.erase(list.Devices.begin() + index);
  --list.NumUnpluggedDevices;
}

const THidAttributes& THidDevice::Attributes() const { return d_->Attributes; }
const THidPnPInfo& THidDevice::PnPInfo() const {
  static const THidPnPInfo none;
  return d_->PnPInfo ? *d_->PnPInfo : none;
}
THidDeviceController* THidDevice::Controller() const { return d_->Controller; }
bool THidDevice::IsPluggedIn() const { return d_->IsPluggedIn; }
bool THidDevice::IsCheckedOut() const { return d_->IsCheckedOut; }
bool THidDevice::IsEnumerated() const { return d_->IsEnumerated; }
bool THidDevice::HasReadWriteAccess() const { return d_->HasReadWriteAccess; }
std::uint32_t THidDevice::AccessError() const { return d_->AccessError; }
std::string THidDevice::InUseText() const {
  return d_->HasReadWriteAccess || !d_->PnPInfo ? std::string()
                                                : d_->Platform->InUseText(d_->PnPInfo->DevicePath, d_->AccessError);
}
std::string THidDevice::AccessErrorText() const {
  return d_->AccessError != 0 ? d_->Platform->ErrorText(d_->AccessError) : std::string();
}
int THidDevice::ThreadSleepTime() const { return d_->ThreadSleepTime; }
bool THidDevice::CanOpen() const { return d_->CanOpen(); }

bool THidDevice::OpenFile() {
  if (CanOpen() && !d_->FileHandle) {
    d_->FileHandle = d_->OpenGeneral(d_->LastError);
    if (d_->FileHandle) {
      if (d_->NumInputBuffers != 0) d_->FileHandle->SetNumInputBuffers(d_->NumInputBuffers);
      d_->FileHandle->GetNumInputBuffers(d_->NumInputBuffers);
    }
  }
  return d_->FileHandle != nullptr;
}

void THidDevice::CloseFile() {
  d_->FileHandle.reset();
  d_->NumInputBuffers = 0;
}

bool THidDevice::OpenFileEx(TFileMode mode) {
  if (!CanOpen()) return false;
  if (mode == TFileMode::Write) {
    if (!d_->WriteHandle) {
      std::uint32_t error = 0;
      d_->WriteHandle = d_->Platform->Open(d_->PnPInfo->DevicePath, platform::TOpenMode::Write, error);
    }
    return d_->WriteHandle != nullptr;
  }
  std::lock_guard<std::mutex> lock(d_->ReadHandleLock);
  if (!d_->ReadHandle) {
    std::uint32_t error = 0;
    d_->ReadHandle = d_->Platform->Open(d_->PnPInfo->DevicePath, platform::TOpenMode::Read, error);
    d_->ReadOpenError = error;
    if (d_->ReadHandle) {
      if (d_->NumOverlappedBuffers != 0) d_->ReadHandle->SetNumInputBuffers(d_->NumOverlappedBuffers);
      d_->ReadHandle->GetNumInputBuffers(d_->NumOverlappedBuffers);
    }
  }
  return d_->ReadHandle != nullptr;
}

void THidDevice::CloseFileEx(TFileMode mode) {
  if (mode == TFileMode::Write) {
    d_->WriteHandle.reset();
    return;
  }
  if (d_->DataThread) d_->DataThread->ReadHandleClosing();
  std::shared_ptr<platform::THidHandle> reader;
  {
    std::lock_guard<std::mutex> lock(d_->ReadHandleLock);
    reader = std::move(d_->ReadHandle);
  }
  // The reader may be inside Read on it: cancel, and let the last holder free it.
  if (reader) reader->Cancel();
  d_->NumOverlappedBuffers = 0;
}


const platform::TPreparsedData* THidDevice::GetPreparsedData() {
  if (!d_->PreparsedData && OpenFile()) {
    d_->PreparsedData = d_->FileHandle->GetPreparsedData();
    CloseFile();
  }
  return d_->PreparsedData.get();
}

void THidDevice::GetCaps(THidCaps& caps) {
  caps = THidCaps{};
  const platform::TPreparsedData* data = GetPreparsedData();
  if (data != nullptr && !d_->Platform->GetCaps(*data, caps)) caps = THidCaps{};
}

std::u16string THidDevice::GetVendorName() {
  return CachedString(*this, d_->FileHandle, d_->VendorName, &platform::THidHandle::GetManufacturerString);
}

std::u16string THidDevice::GetProductName() {
  return CachedString(*this, d_->FileHandle, d_->ProductName, &platform::THidHandle::GetProductString);
}

// The language-table comparison that tells a missing serial on Windows has no
// counterpart here: the back ends report a missing serial as a failure.
std::u16string THidDevice::GetSerialNumber() {
  return CachedString(*this, d_->FileHandle, d_->SerialNumber, &platform::THidHandle::GetSerialNumberString);
}

bool THidDevice::WriteFile(const void* buffer, std::uint32_t count, std::uint32_t& written) {
  written = 0;
  if (!OpenFile()) {
    if (!CanOpen()) d_->LastError = ENODEV;
    return false;
  }
  std::size_t done = 0;
  std::uint32_t error = 0;
  const bool ok = d_->FileHandle->Write(static_cast<const std::uint8_t*>(buffer), count, done, error);
  written = static_cast<std::uint32_t>(done);
  d_->LastError = ok ? 0 : error;
  return ok;
}

std::uint32_t THidDevice::LastError() const { return d_->LastError; }

void THidDevice::SetThreadSleepTime(int milliseconds) {
  if (milliseconds >= 10 && milliseconds <= 10000) d_->ThreadSleepTime = milliseconds;
}

void THidDevice::DoUnplug() {
  CloseAllHandles(*this);
  d_->IsPluggedIn = false;
  if (OnUnplug) {
    const THidPlugEvent handler = OnUnplug;
    OnUnplug = nullptr;
    handler(this);
  }
}

void THidDevice::SetOnData(THidDataEvent handler) {
  if (!handler) StopThread();
  d_->OnData = std::move(handler);
  StartThread();
}

const THidDataEvent& THidDevice::OnData() const { return d_->OnData; }

void THidDevice::StartThread() {
  if (!d_->OnData || !d_->IsPluggedIn || !d_->IsCheckedOut || !d_->HasReadWriteAccess || d_->DataThread) return;
  // Capabilities and the read handle are fetched here, on the user-interface
  // thread, so that the reader never opens anything itself. A refused read
  // handle reaches OnDataError through the reader.
  THidCaps caps;
  GetCaps(caps);
  OpenFileEx(TFileMode::Read);
  // Read in this thread's event loop where the controller asks for it and
  // the handle has a descriptor to wait on; else on a reader thread.
  bool inEventLoop = d_->Controller != nullptr && d_->Controller->d_->ReadInEventLoop;
  if (inEventLoop) {
    std::lock_guard<std::mutex> lock(d_->ReadHandleLock);
    inEventLoop = d_->ReadHandle != nullptr && d_->ReadHandle->ReadyFd() >= 0;
  }
  if (inEventLoop)
    d_->DataThread = std::make_unique<THidDeviceEventReader>(this, caps.InputReportByteLength);
  else
    d_->DataThread = std::make_unique<THidDeviceReadThread>(this, caps.InputReportByteLength);
  d_->DataThread->Start();
}

void THidDevice::StopThread() {
  if (!d_->DataThread) return;
  // Taken out of the device first, so that a handler run during the wait
  // sees no thread to stop.
  std::unique_ptr<THidDeviceReader> thread = std::move(d_->DataThread);
  thread->RequestTermination();
  // Closing the read handle ends a read in progress at once instead of after
  // its slice; the next start opens it again.
  CloseFileEx(TFileMode::Read);
  if (thread->InHandOver()) {
    thread->Abandon();
  } else {
    thread->Stop();
  }
}

bool THidDevice::HasReaderThread() const { return d_->DataThread != nullptr; }

std::string ToText(const std::u16string& text) {
  return QString::fromStdU16String(text).toStdString();
}

}  // namespace kvm::hid
