#include "jobs/ProgrammingSession.h"

#include <QMetaObject>
#include <QObject>
#include <QThread>

#include "link/ProgrammerLink.h"

namespace kvm::jobs {

TProgrammingSession::TProgrammingSession(std::shared_ptr<hid::platform::THidPlatform> platform, TSessionOptions options,
                                         TSessionEventHandler onEvent)
    : options_(std::move(options)), onEvent_(std::move(onEvent)) {
  anchor_ = new QObject;
  if (options_.OwnThread) {
    thread_ = std::make_unique<QThread>();
    thread_->setObjectName("programming session");
    anchor_->moveToThread(thread_.get());
    thread_->start();
  }
  // The controller's notice watcher, the timers and the readers' hand-over
  // targets all belong to the thread that creates them.
  QMetaObject::invokeMethod(
      anchor_, [this, platform = std::move(platform)]() mutable { Build(std::move(platform)); },
      options_.OwnThread ? Qt::BlockingQueuedConnection : Qt::DirectConnection);
}

void TProgrammingSession::Build(std::shared_ptr<hid::platform::THidPlatform> platform) {
  IStatusSink* sink = options_.Sink;
  if (sink == nullptr) {
    eventSink_ = std::make_unique<TEventSink>(onEvent_);
    sink = eventSink_.get();
  }
  TAppState& state = options_.State != nullptr ? *options_.State : ownState_;
  stack_ = std::make_unique<TProgrammerStack>(
      std::move(platform), TStackFrontEnd{*sink, state, pump_, options_.Layout, options_.View}, options_.Stack);
  // The window's creation and, unless the window does it, its activation:
  // both before the controller's first rescan, which is queued on this
  // thread, so that the rescan's arrivals start the countdown.
  stack_->Link().BindController();
  if (options_.Activate) stack_->Link().FormActivate();
}

void TProgrammingSession::Teardown() {
  stack_.reset();
  eventSink_.reset();
}

TProgrammingSession::~TProgrammingSession() {
  // Destroying the stack inside a running job's wait would pull it from
  // under the job: stop the job first.
  {
    std::unique_lock<std::mutex> lock(busyLock_);
    if (pendingRequests_ > 0) {
      lock.unlock();
      Break();
      lock.lock();
      idle_.wait(lock, [this] { return pendingRequests_ == 0; });
    }
  }
  Invoke([this](TProgrammerStack&) { Teardown(); });
  if (thread_) {
    thread_->quit();
    thread_->wait();
  }
  // Nothing runs on the finished thread any more.
  delete anchor_;
}

void TProgrammingSession::Program(TJobRequest request, TDone done) {
  {
    std::lock_guard<std::mutex> lock(busyLock_);
    ++pendingRequests_;
  }
  Post([this, request = std::move(request), done = std::move(done)](TProgrammerStack& stack) {
    const std::vector<TJobOutcome> outcomes = stack.Jobs().Run(request);
    if (done) done(outcomes);
    {
      std::lock_guard<std::mutex> lock(busyLock_);
      --pendingRequests_;
    }
    idle_.notify_all();
  });
}

void TProgrammingSession::Break() {
  Post([this](TProgrammerStack& stack) {
    stack.State().UserBreak = true;
    if (options_.View != nullptr) options_.View->SetBreakVisible(false);
  });
}

void TProgrammingSession::Invoke(const std::function<void(TProgrammerStack&)>& fn) {
  if (QThread::currentThread() == anchor_->thread()) {
    fn(*stack_);
    return;
  }
  QMetaObject::invokeMethod(
      anchor_, [this, &fn] { fn(*stack_); }, Qt::BlockingQueuedConnection);
}

void TProgrammingSession::Post(std::function<void(TProgrammerStack&)> fn) {
  QMetaObject::invokeMethod(
      anchor_, [this, fn = std::move(fn)] { fn(*stack_); }, Qt::QueuedConnection);
}

QThread* TProgrammingSession::Thread() const { return anchor_->thread(); }

bool TProgrammingSession::IsConnected() {
  bool connected = false;
  Invoke([&connected](TProgrammerStack& stack) { connected = stack.State().Connected; });
  return connected;
}

bool TProgrammingSession::IsBusy() const {
  std::lock_guard<std::mutex> lock(busyLock_);
  return pendingRequests_ > 0;
}

}  // namespace kvm::jobs
