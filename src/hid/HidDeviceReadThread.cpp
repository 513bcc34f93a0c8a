#include "hid/HidDeviceReadThread.h"

#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <vector>

#include "hid/HidDeviceImpl.h"

namespace kvm::hid {

namespace {
enum class HandOverKind { Data, DataError };
}  // namespace

struct THidDeviceReadThread::State {
  THidDevice* Device = nullptr;
  std::size_t ReportLength = 0;

  std::atomic<bool> Terminated{false};
  std::atomic<bool> Abandoned{false};
  std::atomic<bool> Finished{false};
  std::mutex WaitLock;
  std::condition_variable WaitWake;

  // The hand-over. The reader fills these, posts an empty event to Target and
  // waits until the user-interface thread has run the handler and cleared
  // Pending. Everything handed travels under this lock, so the order between
  // the two threads is one that thread checkers can see (Qt's own queues
  // synchronise in ways they cannot).
  std::mutex HandedLock;
  std::condition_variable HandedWake;
  bool Pending = false;
  HandOverKind Kind = HandOverKind::Data;
  std::vector<std::uint8_t> Report;  // the bytes read, report ID first
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

// Runs on the user-interface thread. The handler may destroy the device
// (which abandons this thread), so nothing of the device is touched after it.
void Deliver(const std::shared_ptr<State>& s) {
  HandOverKind kind = HandOverKind::Data;
  std::vector<std::uint8_t> report;
  std::uint32_t error = 0;
  {
    std::lock_guard<std::mutex> lock(s->HandedLock);
    // Nothing waiting, or a handler that services events meets its own event.
    if (!s->Pending || s->InHandOver) return;
    kind = s->Kind;
    report = s->Report;
    error = s->Err;
  }
  THidDevice* device = s->Device;
  s->InHandOver = true;
  if (kind == HandOverKind::Data) {
    const THidDataEvent handler = device->OnData();
    // A stop racing the hand-over may have removed the handler already.
    if (handler && !report.empty()) {
      handler(device, report[0], report.data() + 1, static_cast<std::uint16_t>(report.size() - 1));
    }
  } else {
    const THidDataErrorEvent handler = device->OnDataError;
    if (handler) handler(device, error);
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
  std::vector<std::uint8_t> buffer(s->ReportLength);
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
      // A device that is gone but not yet given back refuses every start:
      // pace the retries instead of spinning and flooding the handler.
      s->PacedWait(sleepTime);
      continue;
    }
    std::fill(buffer.begin(), buffer.end(), std::uint8_t{0});
    std::size_t got = 0;
    const platform::TReadStatus status = handle->Read(buffer.data(), buffer.size(), got, sleepTime, error);
    handle.reset();
    switch (status) {
      case platform::TReadStatus::Data: {
        const std::size_t numBytesRead = std::min(got, buffer.size());
        if (numBytesRead == 0 || s->Terminated) break;
        {
          std::lock_guard<std::mutex> lock(s->HandedLock);
          s->Report.assign(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(numBytesRead));
        }
        HandOver(s, HandOverKind::Data);
        break;
      }
      case platform::TReadStatus::Timeout:
        break;
      case platform::TReadStatus::Gone:
      case platform::TReadStatus::Error:
        // An ended or failed read delivers nothing; a hung-up node fails
        // every read at once, so wait a slice before the next one.
        s->PacedWait(sleepTime);
        break;
    }
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
    : state_(std::make_shared<State>()) {
  state_->Device = device;
  state_->ReportLength = reportLength;
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
