#include "hid/HidDeviceReadThread.h"

#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>

#include "hid/HidDeviceImpl.h"
#include "hid/ReportBatch.h"

namespace kvm::hid {

namespace {
enum class HandOverKind { Data, DataError };
}  // namespace

struct THidDeviceReadThread::State {
  explicit State(std::size_t reportLength) : Batch(reportLength) {}

  THidDevice* Device = nullptr;

  std::atomic<bool> Terminated{false};
  std::atomic<bool> Abandoned{false};
  std::atomic<bool> Finished{false};
  std::mutex WaitLock;
  std::condition_variable WaitWake;

  // The hand-over. The reader fills these, posts an empty event to Target and
  // waits until the user-interface thread has run the handlers and cleared
  // Pending. Pending travels under this lock, so the order between the two
  // threads is one that thread checkers can see (Qt's own queues synchronise
  // in ways they cannot); the reports themselves are written only while
  // nothing is pending and read only while something is.
  std::mutex HandedLock;
  std::condition_variable HandedWake;
  bool Pending = false;
  HandOverKind Kind = HandOverKind::Data;
  // The reports of one hand-over.
  TReportBatch Batch;
  std::uint32_t Err = 0;

  // User-interface thread only.
  QObject* Target = nullptr;
  bool InHandOver = false;

  void RequestTermination() {
    {
      std::lock_guard<std::mutex> lock(WaitLock);
      Terminated = true;
    }
    WaitWake.notify_all();
  }

  // A pause that a stop request ends at once.
  void PacedWait(int milliseconds) {
    std::unique_lock<std::mutex> lock(WaitLock);
    WaitWake.wait_for(lock, std::chrono::milliseconds(milliseconds), [this] { return Terminated.load(); });
  }
};

namespace {

using State = THidDeviceReadThread::State;

// Runs on the user-interface thread. A handler may stop the reader or destroy
// the device (which abandons this thread): then the reports after it are
// dropped, as unread ones would be, and nothing of the device is touched any
// more. A stop that finds a hand-over pending gets its first report, as it
// would when each report went over alone.
void Deliver(const std::shared_ptr<State>& s) {
  {
    std::lock_guard<std::mutex> lock(s->HandedLock);
    // Nothing waiting, or a handler that services events meets its own event.
    if (!s->Pending || s->InHandOver) return;
  }
  THidDevice* device = s->Device;
  s->InHandOver = true;
  if (s->Kind == HandOverKind::Data) {
    for (std::size_t i = 0; i < s->Batch.Count() && (i == 0 || !s->Terminated); ++i) {
      const std::uint8_t* report = s->Batch.Report(i);
      // Taken afresh for each report: a handler may replace itself, and a stop
      // racing the hand-over may have removed it already.
      const THidDataEvent handler = device->OnData();
      if (handler) handler(device, report[0], report + 1, static_cast<std::uint16_t>(s->Batch.Length(i) - 1));
    }
  } else {
    const THidDataErrorEvent handler = device->OnDataError;
    if (handler) handler(device, s->Err);
    // The next read start opens the read handle again, here where every
    // opening happens: a refusal that has passed is not reported forever.
    if (!s->Terminated) device->OpenFileEx(TFileMode::Read);
  }
  s->InHandOver = false;
  {
    std::lock_guard<std::mutex> lock(s->HandedLock);
    s->Pending = false;
  }
  s->HandedWake.notify_all();
}

// The reader's anchor in the user-interface thread. Its events carry nothing:
// each one means "look at the state" (a hand-over, or the reader's end).
class THandOverTarget final : public QObject {
 public:
  explicit THandOverTarget(std::shared_ptr<State> state) : state_(std::move(state)) {}

  void customEvent(QEvent*) override { Deliver(state_); }

 private:
  std::shared_ptr<State> state_;
};

const QEvent::Type LookEvent = static_cast<QEvent::Type>(QEvent::registerEventType());

void Notify(const std::shared_ptr<State>& s) { QCoreApplication::postEvent(s->Target, new QEvent(LookEvent)); }

// Blocks the reader until the user-interface thread has run the step.
void HandOver(const std::shared_ptr<State>& s, HandOverKind kind) {
  {
    std::lock_guard<std::mutex> lock(s->HandedLock);
    s->Pending = true;
    s->Kind = kind;
  }
  // A stop in progress takes it directly; otherwise the posted event does.
  s->HandedWake.notify_all();
  Notify(s);
  std::unique_lock<std::mutex> lock(s->HandedLock);
  s->HandedWake.wait(lock, [&] { return !s->Pending; });
}

}  // namespace

void THidDeviceReadThread::Run(std::shared_ptr<State> s) {
  THidDevice::Impl& device = *s->Device->d_;
  TReportBatch& batch = s->Batch;
  // The next read follows a refused or failed one at once, unless the one
  // before failed too: a device that is gone but not yet given back refuses
  // every start and a hung-up node fails every read, and retrying those
  // without a pause would spin a core and flood the handler.
  bool lastFailed = false;
  const auto afterFailure = [&](int sleepTime) {
    if (lastFailed) s->PacedWait(sleepTime);
    lastFailed = true;
  };
  while (!s->Terminated) {
    const int sleepTime = device.ThreadSleepTime;
    std::uint32_t error = 0;
    std::shared_ptr<platform::THidHandle> handle = device.AcquireReadHandle(error);
    if (!handle) {
      if (s->Terminated) break;  // the stop closed the handle
      {
        std::lock_guard<std::mutex> lock(s->HandedLock);
        s->Err = error;
      }
      HandOver(s, HandOverKind::DataError);
      if (s->Terminated) break;
      // The hand-over opened the handle again if it could; a device that can
      // no longer be opened is gone and waits its slice each time.
      if (!device.CanOpen()) lastFailed = true;
      afterFailure(sleepTime);
      continue;
    }
    batch.Clear();
    platform::TReadStatus status = platform::TReadStatus::Timeout;
    // The reports already queued behind the first go over with it: one
    // wake-up of the user-interface thread delivers them all, each to the
    // handler in turn, and this thread still waits until the last returns.
    if (batch.ReadNext(*handle, sleepTime, status)) {
      platform::TReadStatus drained = platform::TReadStatus::Data;
      while (!batch.Full() && !s->Terminated && batch.ReadNext(*handle, 0, drained)) {
      }
    }
    handle.reset();
    if (batch.Count() > 0 && !s->Terminated) HandOver(s, HandOverKind::Data);
    // An ended or failed read delivers nothing.
    if (batch.Count() == 0 && (status == platform::TReadStatus::Gone || status == platform::TReadStatus::Error))
      afterFailure(sleepTime);
    else
      lastFailed = false;
  }
  {
    std::lock_guard<std::mutex> lock(s->HandedLock);
    s->Finished = true;
  }
  s->HandedWake.notify_all();
  // An abandoned thread's target may be gone; nobody waits for it anyway.
  if (!s->Abandoned) Notify(s);
}

THidDeviceReadThread::THidDeviceReadThread(THidDevice* device, std::size_t reportLength)
    : state_(std::make_shared<State>(reportLength)) {
  state_->Device = device;
  state_->Target = new THandOverTarget(state_);
}

THidDeviceReadThread::~THidDeviceReadThread() {
  if (thread_.joinable()) Stop();
  if (state_->Target != nullptr && !state_->Abandoned) delete state_->Target;
}

void THidDeviceReadThread::Start() {
  thread_ = std::thread(Run, state_);
}

void THidDeviceReadThread::Stop() {
  if (!thread_.joinable()) return;
  const std::shared_ptr<State> s = state_;
  s->RequestTermination();
  // The thread may be blocked in a hand-over: serve this reader's hand-overs,
  // and nothing else, until it reports its end. Clicks, ticks and device
  // notices wait in the queue until the stop is over, so none of them runs in
  // the middle of a device's destruction.
  std::unique_lock<std::mutex> lock(s->HandedLock);
  for (;;) {
    s->HandedWake.wait(lock, [&] { return s->Finished.load() || (s->Pending && !s->InHandOver); });
    if (s->Finished) break;
    lock.unlock();
    Deliver(s);
    // The handler gave the device back, which abandoned this thread.
    if (s->Abandoned) return;
    lock.lock();
  }
  lock.unlock();
  thread_.join();
}

void THidDeviceReadThread::RequestTermination() {
  state_->RequestTermination();
}

bool THidDeviceReadThread::InHandOver() const {
  return state_->InHandOver;
}

void THidDeviceReadThread::Abandon() {
  state_->Abandoned = true;
  state_->RequestTermination();
  // Deleted once the hand-over that is running on it has returned.
  state_->Target->deleteLater();
  thread_.detach();
}

}  // namespace kvm::hid
