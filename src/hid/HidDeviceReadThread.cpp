#include "hid/HidDeviceReadThread.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QMetaObject>
#include <QObject>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <vector>

#include "hid/HidDeviceImpl.h"

namespace kvm::hid {

struct THidDeviceReadThread::State {
  THidDevice* Device = nullptr;
  std::vector<std::uint8_t> Report;
  std::uint32_t Err = 0;
  std::uint32_t NumBytesRead = 0;

  std::atomic<bool> Terminated{false};
  std::atomic<bool> Abandoned{false};
  std::atomic<bool> Finished{false};
  std::mutex WaitLock;
  std::condition_variable WaitWake;

  // User-interface thread only.
  QObject* Target = nullptr;
  QEventLoop* StopLoop = nullptr;
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

enum class HandOverKind { Data, DataError };

// Runs on the user-interface thread. The handler may destroy the device
// (which abandons this thread), so nothing of the device is touched after it.
void Deliver(const std::shared_ptr<State>& s, HandOverKind kind) {
  THidDevice* device = s->Device;
  s->InHandOver = true;
  if (kind == HandOverKind::Data) {
    const THidDataEvent handler = device->OnData();
    // A stop racing the hand-over may have removed the handler already.
    if (handler && !s->Report.empty()) {
      handler(device, s->Report[0], s->Report.data() + 1, static_cast<std::uint16_t>(s->NumBytesRead - 1));
    }
  } else {
    const THidDataErrorEvent handler = device->OnDataError;
    if (handler) handler(device, s->Err);
  }
  s->InHandOver = false;
}

// Blocks the reader until the user-interface thread has run the step.
void HandOver(const std::shared_ptr<State>& s, HandOverKind kind) {
  QMetaObject::invokeMethod(
      s->Target, [s, kind] { Deliver(s, kind); }, Qt::BlockingQueuedConnection);
}

}  // namespace

void THidDeviceReadThread::Run(std::shared_ptr<State> s) {
  THidDevice::Impl& device = *s->Device->d_;
  while (!s->Terminated) {
    const int sleepTime = device.ThreadSleepTime;
    std::uint32_t error = 0;
    std::shared_ptr<platform::THidHandle> handle = device.AcquireReadHandle(error);
    if (!handle) {
      if (s->Terminated) break;  // the stop closed the handle
      s->Err = error;
      HandOver(s, HandOverKind::DataError);
      if (s->Terminated) break;
      // A device that is gone but not yet given back refuses every start:
      // pace the retries instead of spinning and flooding the handler.
      s->PacedWait(sleepTime);
      continue;
    }
    std::fill(s->Report.begin(), s->Report.end(), std::uint8_t{0});
    std::size_t got = 0;
    const platform::TReadStatus status = handle->Read(s->Report.data(), s->Report.size(), got, sleepTime, error);
    handle.reset();
    switch (status) {
      case platform::TReadStatus::Data:
        s->NumBytesRead = static_cast<std::uint32_t>(std::min(got, s->Report.size()));
        if (s->NumBytesRead > 0 && !s->Terminated) HandOver(s, HandOverKind::Data);
        break;
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
  s->Finished = true;
  if (!s->Abandoned) {
    QMetaObject::invokeMethod(
        s->Target,
        [s] {
          if (s->StopLoop != nullptr) s->StopLoop->quit();
        },
        Qt::QueuedConnection);
  }
}

THidDeviceReadThread::THidDeviceReadThread(THidDevice* device, std::size_t reportLength)
    : state_(std::make_shared<State>()) {
  state_->Device = device;
  state_->Report.assign(reportLength, 0);
  state_->Target = new QObject();
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
  QEventLoop loop;
  state_->StopLoop = &loop;
  state_->RequestTermination();
  // The thread may be blocked in a hand-over: keep servicing them until it
  // reports its end, and only then join.
  while (!state_->Finished) {
    loop.exec();
    // An application that is quitting ends every loop at once: keep
    // servicing the hand-overs by hand until the thread is out.
    if (!state_->Finished) {
      QCoreApplication::processEvents();
      std::this_thread::yield();
    }
  }
  state_->StopLoop = nullptr;
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
  if (state_->StopLoop != nullptr) state_->StopLoop->quit();
  thread_.detach();
}

}  // namespace kvm::hid
