#include "hid/record/RecordingHidPlatform.h"

#include <atomic>
#include <map>
#include <mutex>
#include <set>
#include <utility>

#include "hid/platform/ReportDescriptor.h"

namespace kvm::hid::record {

using platform::THidHandle;
using platform::TOpenMode;
using platform::TReadStatus;

namespace {

struct TSession {
  std::uint32_t Device = 0;
};

}  // namespace

// The devices being recorded, by path, and where they are plugged in.
struct TRecordingHidPlatform::TSessions {
  TSessions(std::shared_ptr<platform::THidPlatform> inner, std::shared_ptr<TRecordingWriter> writer)
      : Inner(std::move(inner)), Writer(std::move(writer)) {}

  // The session of a path, started (identity read and written) when there is
  // none. User-interface thread.
  std::shared_ptr<TSession> SessionOf(const std::string& path) {
    std::lock_guard lock(Mutex);
    auto found = Active.find(path);
    if (found != Active.end()) return found->second;
    auto session = std::make_shared<TSession>();
    session->Device = Writer->AddDevice(Identity(path));
    Added.push_back(session->Device);
    Active.emplace(path, session);
    return session;
  }

  // Sessions whose device is no longer listed end with an unplug.
  void Scanned(const std::vector<platform::THidInterface>& interfaces) {
    std::lock_guard lock(Mutex);
    std::set<std::string> present;
    for (const platform::THidInterface& item : interfaces) {
      present.insert(item.DevicePath);
      Ports[item.DevicePath] = item.PortPath;
    }
    for (auto it = Active.begin(); it != Active.end();) {
      if (present.count(it->first) != 0) {
        ++it;
        continue;
      }
      TRecordedEvent event;
      event.Kind = TEventKind::Unplug;
      event.Device = it->second->Device;
      Writer->Add(std::move(event));
      it = Active.erase(it);
    }
  }

  TRecordedIdentity Identity(const std::string& path) {
    TRecordedIdentity identity;
    const auto port = Ports.find(path);
    if (port != Ports.end()) identity.PortPath = port->second;
    std::uint32_t error = 0;
    std::unique_ptr<THidHandle> handle = Inner->Open(path, TOpenMode::QueryOnly, error);
    if (!handle) return identity;
    THidAttributes attributes;
    if (handle->GetAttributes(attributes)) identity.Attributes = attributes;
    std::u16string text;
    if (handle->GetManufacturerString(text)) identity.Manufacturer = text;
    if (handle->GetProductString(text)) identity.Product = text;
    if (handle->GetSerialNumberString(text)) identity.SerialNumber = text;
    if (std::unique_ptr<platform::TPreparsedData> data = handle->GetPreparsedData()) {
      // The POSIX back ends keep the descriptor itself; others only what it gives.
      if (const auto* descriptor = dynamic_cast<const platform::TDescriptorData*>(data.get()))
        identity.ReportDescriptor = descriptor->Descriptor();
      THidCaps caps;
      if (Inner->GetCaps(*data, caps)) identity.Caps = caps;
    }
    return identity;
  }

  const std::shared_ptr<platform::THidPlatform> Inner;
  const std::shared_ptr<TRecordingWriter> Writer;
  std::mutex Mutex;
  std::map<std::string, std::shared_ptr<TSession>> Active;
  std::map<std::string, std::string> Ports;
  std::vector<std::uint32_t> Added;  // every device this platform recorded
};

namespace {

// Passes every call on; queues the exchanges of the session it belongs to,
// which it keeps once it has one (so an unplugged device's late writes and
// reads stay with it).
class TRecordingHandle final : public THidHandle {
 public:
  TRecordingHandle(std::unique_ptr<THidHandle> inner, std::string path,
                   std::shared_ptr<TRecordingHidPlatform::TSessions> sessions)
      : inner_(std::move(inner)), path_(std::move(path)), sessions_(std::move(sessions)) {}

  void StartSession() { session_ = sessions_->SessionOf(path_); }

  bool GetAttributes(THidAttributes& attributes) override { return inner_->GetAttributes(attributes); }
  std::unique_ptr<platform::TPreparsedData> GetPreparsedData() override { return inner_->GetPreparsedData(); }
  bool GetManufacturerString(std::u16string& text) override { return inner_->GetManufacturerString(text); }
  bool GetProductString(std::u16string& text) override { return inner_->GetProductString(text); }
  bool GetSerialNumberString(std::u16string& text) override { return inner_->GetSerialNumberString(text); }
  bool GetNumInputBuffers(std::uint32_t& count) override { return inner_->GetNumInputBuffers(count); }
  bool SetNumInputBuffers(std::uint32_t count) override { return inner_->SetNumInputBuffers(count); }

  // User-interface thread.
  bool Write(const std::uint8_t* buffer, std::size_t count, std::size_t& written, std::uint32_t& error) override {
    if (!session_) StartSession();
    TRecordedEvent event;
    event.Kind = TEventKind::Write;
    event.Device = session_->Device;
    event.Bytes.assign(buffer, buffer + count);
    const std::uint64_t slot = sessions_->Writer->BeginWrite(std::move(event));
    const bool ok = inner_->Write(buffer, count, written, error);
    sessions_->Writer->EndWrite(slot, ok, ok ? written : 0, ok ? 0 : error);
    return ok;
  }

  // The reader; its handle started the session when it was opened.
  TReadStatus Read(std::uint8_t* buffer, std::size_t capacity, std::size_t& got, int timeoutMs,
                   std::uint32_t& error) override {
    const TReadStatus status = inner_->Read(buffer, capacity, got, timeoutMs, error);
    // A read ended by the utility's own Cancel says nothing about the device.
    if (status == TReadStatus::Timeout || !session_ || (status == TReadStatus::Gone && cancelled_)) return status;
    TRecordedEvent event;
    event.Kind = TEventKind::Read;
    event.Device = session_->Device;
    event.Status = status;
    if (status == TReadStatus::Data)
      event.Bytes.assign(buffer, buffer + std::min(got, capacity));
    else
      event.Error = error;
    sessions_->Writer->Add(std::move(event));
    return status;
  }

  int ReadyFd() override { return inner_->ReadyFd(); }

  void Cancel() override {
    cancelled_ = true;
    inner_->Cancel();
    if (!session_) return;
    TRecordedEvent event;
    event.Kind = TEventKind::Cancel;
    event.Device = session_->Device;
    sessions_->Writer->Add(std::move(event));
  }

 private:
  const std::unique_ptr<THidHandle> inner_;
  const std::string path_;
  const std::shared_ptr<TRecordingHidPlatform::TSessions> sessions_;
  std::shared_ptr<TSession> session_;
  std::atomic<bool> cancelled_{false};
};

}  // namespace

TRecordingHidPlatform::TRecordingHidPlatform(std::shared_ptr<platform::THidPlatform> inner,
                                             std::shared_ptr<TRecordingWriter> writer)
    : inner_(inner), sessions_(std::make_shared<TSessions>(inner, std::move(writer))) {}

TRecordingHidPlatform::~TRecordingHidPlatform() = default;

bool TRecordingHidPlatform::FinishRecording(std::string& error) {
  std::vector<std::uint32_t> devices;
  {
    std::lock_guard lock(sessions_->Mutex);
    devices.swap(sessions_->Added);
  }
  error.clear();
  for (const std::uint32_t device : devices) {
    std::string failure;
    if (!sessions_->Writer->FinishDevice(device, failure)) error += (error.empty() ? "" : "; ") + failure;
  }
  return error.empty();
}

bool TRecordingHidPlatform::LoadEnumeration() { return inner_->LoadEnumeration(); }
void TRecordingHidPlatform::UnloadEnumeration() { inner_->UnloadEnumeration(); }
bool TRecordingHidPlatform::LoadHidAccess() { return inner_->LoadHidAccess(); }
void TRecordingHidPlatform::UnloadHidAccess() { inner_->UnloadHidAccess(); }
bool TRecordingHidPlatform::IsHidAccessLoaded() const { return inner_->IsHidAccessLoaded(); }

std::vector<platform::THidInterface> TRecordingHidPlatform::ScanInterfaces() {
  std::vector<platform::THidInterface> interfaces = inner_->ScanInterfaces();
  sessions_->Scanned(interfaces);
  return interfaces;
}

std::unique_ptr<THidHandle> TRecordingHidPlatform::Open(const std::string& devicePath, TOpenMode mode,
                                                        std::uint32_t& error) {
  std::unique_ptr<THidHandle> inner = inner_->Open(devicePath, mode, error);
  if (!inner) return nullptr;
  auto handle = std::make_unique<TRecordingHandle>(std::move(inner), devicePath, sessions_);
  // Only the device a reader listens to is in a session before it writes.
  if (mode == TOpenMode::Read) handle->StartSession();
  return handle;
}

bool TRecordingHidPlatform::GetCaps(const platform::TPreparsedData& data, THidCaps& caps) {
  return inner_->GetCaps(data, caps);
}

int TRecordingHidPlatform::NoticeFd() { return inner_->NoticeFd(); }
int TRecordingHidPlatform::DrainNotices() { return inner_->DrainNotices(); }
void TRecordingHidPlatform::SetNoticeWake(std::function<void()> wake) { inner_->SetNoticeWake(std::move(wake)); }
std::string TRecordingHidPlatform::ErrorText(std::uint32_t error) { return inner_->ErrorText(error); }

}  // namespace kvm::hid::record
