#include "hid/HidDeviceEventReader.h"

#include <QObject>
#include <QSocketNotifier>
#include <QTimer>
#include <cstdint>

#include "hid/HidDeviceImpl.h"
#include "hid/ReportBatch.h"

namespace kvm::hid {

namespace {
// A descriptor that is readable while no report is due yet (a simulated
// programmer's delayed reply) is looked at again after this pause.
constexpr int NotDueRetryMs = 1;
}  // namespace

struct THidDeviceEventReader::State {
  explicit State(std::size_t reportLength) : Batch(reportLength) {}

  THidDevice* Device = nullptr;
  // The reports of one pass; the descriptor, still readable, brings the
  // rest at once.
  TReportBatch Batch;

  bool Terminated = false;
  bool InHandler = false;
  // The pass after a failed one waits the device's slice first.
  bool LastFailed = false;

  // The notifier and the pause timer; children of Anchor, which outlives a
  // pass that is running when the reader goes.
  QObject* Anchor = nullptr;
  QTimer* Pause = nullptr;
  QSocketNotifier* Notifier = nullptr;
  // Held while it is watched, so that its descriptor stays open.
  std::shared_ptr<platform::THidHandle> Watched;

  void StopWatching() {
    if (Notifier != nullptr) {
      // It may be the notifier whose activation is running.
      Notifier->setEnabled(false);
      Notifier->deleteLater();
      Notifier = nullptr;
    }
    Watched.reset();
  }

  void Quiet() {
    if (Notifier != nullptr) Notifier->setEnabled(false);
  }

  void End() {
    Terminated = true;
    StopWatching();
    if (Pause != nullptr) Pause->stop();
  }
};

THidDeviceEventReader::THidDeviceEventReader(THidDevice* device, std::size_t reportLength)
    : state_(std::make_shared<State>(reportLength)) {
  State& s = *state_;
  s.Device = device;
  s.Anchor = new QObject;
  s.Pause = new QTimer(s.Anchor);
  s.Pause->setSingleShot(true);
  s.Pause->setTimerType(Qt::PreciseTimer);
  const std::weak_ptr<State> weak = state_;
  QObject::connect(s.Pause, &QTimer::timeout, s.Anchor, [weak] {
    if (const std::shared_ptr<State> locked = weak.lock()) Pass(locked, false);
  });
}

THidDeviceEventReader::~THidDeviceEventReader() {
  state_->End();
  // A handler of this reader may be running below us: its pass still holds
  // the state, and the anchor goes once it has returned.
  if (state_->InHandler)
    state_->Anchor->deleteLater();
  else
    delete state_->Anchor;
  state_->Anchor = nullptr;
  state_->Pause = nullptr;
}

// The first pass runs from the event loop, as the reader thread's first
// report or refusal would arrive: never inside the call that starts it.
void THidDeviceEventReader::Start() { state_->Pause->start(0); }

void THidDeviceEventReader::RequestTermination() { state_->End(); }
void THidDeviceEventReader::Stop() { state_->End(); }
bool THidDeviceEventReader::InHandOver() const { return state_->InHandler; }
void THidDeviceEventReader::Abandon() { state_->End(); }
// As a read on a closed handle ends at once: the next pass finds out why.
void THidDeviceEventReader::ReadHandleClosing() {
  state_->StopWatching();
  if (!state_->Terminated) state_->Pause->start(0);
}

void THidDeviceEventReader::Pass(const std::shared_ptr<State>& s, bool readable) {
  if (s->Terminated) return;
  if (s->InHandler) {
    // A handler that services events meets the descriptor still readable:
    // quiet until the handler has returned, instead of coming back here
    // again and again. (Not done for every pass: each switch costs the
    // event loop a wake-up of its own.)
    s->Quiet();
    return;
  }
  THidDevice* device = s->Device;
  THidDevice::Impl& impl = *device->d_;
  const int sleepTime = impl.ThreadSleepTime;
  // Looked at again at once, unless the pass before failed too: a device that
  // is gone but not yet given back refuses every start and a hung-up node
  // fails every read, and retrying those without a pause would spin.
  const auto afterFailure = [&] {
    s->StopWatching();
    s->Pause->start(s->LastFailed ? sleepTime : 0);
    s->LastFailed = true;
  };

  std::uint32_t error = 0;
  std::shared_ptr<platform::THidHandle> handle = impl.AcquireReadHandle(error);
  if (!handle) {
    s->StopWatching();
    const THidDataErrorEvent handler = device->OnDataError;
    if (handler) {
      s->InHandler = true;
      handler(device, error);
      s->InHandler = false;
    }
    if (s->Terminated) return;
    // The next start opens the read handle again: a refusal that has passed
    // is not reported forever.
    device->OpenFileEx(TFileMode::Read);
    if (!device->CanOpen()) s->LastFailed = true;
    afterFailure();
    return;
  }

  TReportBatch& batch = s->Batch;
  batch.Clear();
  platform::TReadStatus status = platform::TReadStatus::Data;
  while (!batch.Full() && batch.ReadNext(*handle, 0, status)) {
  }
  const std::size_t count = batch.Count();

  for (std::size_t i = 0; i < count && !s->Terminated; ++i) {
    const std::uint8_t* report = batch.Report(i);
    // Taken afresh for each report: a handler may replace itself.
    const THidDataEvent handler = device->OnData();
    if (!handler) continue;
    s->InHandler = true;
    handler(device, report[0], report + 1, static_cast<std::uint16_t>(batch.Length(i) - 1));
    s->InHandler = false;
  }
  if (s->Terminated) return;

  if (count == 0 && (status == platform::TReadStatus::Gone || status == platform::TReadStatus::Error)) {
    afterFailure();
    return;
  }
  s->LastFailed = false;
  if (count == 0 && readable) {
    // Readable, yet nothing to read now.
    s->Quiet();
    s->Pause->start(NotDueRetryMs);
    return;
  }
  const int fd = handle->ReadyFd();
  if (fd < 0) {
    // Nothing to wait on: look again after the device's slice.
    s->StopWatching();
    s->Pause->start(sleepTime);
    return;
  }
  if (s->Notifier == nullptr || s->Watched != handle) {
    s->StopWatching();
    s->Watched = handle;
    s->Notifier = new QSocketNotifier(fd, QSocketNotifier::Read, s->Anchor);
    const std::weak_ptr<State> weak = s;
    QObject::connect(s->Notifier, &QSocketNotifier::activated, s->Anchor, [weak] {
      if (const std::shared_ptr<State> locked = weak.lock()) Pass(locked, true);
    });
  }
  s->Notifier->setEnabled(true);
}

}  // namespace kvm::hid
