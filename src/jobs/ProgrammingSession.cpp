#include "jobs/ProgrammingSession.h"

#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <QThread>

#include "link/ProgrammerLink.h"

namespace kvm::jobs {

namespace {
const QEvent::Type TasksEvent = static_cast<QEvent::Type>(QEvent::registerEventType());
}  // namespace

// The session's anchor on its thread: each posted event runs what is queued.
class TSessionAnchor final : public QObject {
 public:
  explicit TSessionAnchor(TProgrammingSession& session) : session_(session) {}
  void customEvent(QEvent*) override { session_.RunTasks(); }

 private:
  TProgrammingSession& session_;
};

TProgrammingSession::TProgrammingSession(std::shared_ptr<hid::platform::THidPlatform> platform, TSessionOptions options,
                                         TSessionEventHandler onEvent)
    : options_(std::move(options)), onEvent_(std::move(onEvent)) {
  anchor_ = new TSessionAnchor(*this);
  if (options_.OwnThread) {
    // The thread serves this session alone: its devices' reports wake it
    // directly.
    options_.Stack.ReadInEventLoop = true;
    thread_ = std::make_unique<QThread>();
    thread_->setObjectName("programming session");
    anchor_->moveToThread(thread_.get());
    thread_->start();
  }
  // The controller's notice watcher, the timers and the readers' hand-over
  // targets all belong to the thread that creates them.
  RunQueued([this, platform = std::move(platform)]() mutable { Build(std::move(platform)); });
}

void TProgrammingSession::Queue(std::function<void()> task) {
  {
    std::lock_guard<std::mutex> lock(tasksLock_);
    tasks_.push_back(std::move(task));
  }
  QCoreApplication::postEvent(anchor_, new QEvent(TasksEvent));
}

void TProgrammingSession::RunQueued(std::function<void()> task) {
  if (QThread::currentThread() == anchor_->thread()) {
    task();
    return;
  }
  bool done = false;
  Queue([this, &task, &done] {
    task();
    {
      std::lock_guard<std::mutex> lock(tasksLock_);
      done = true;
    }
    taskDone_.notify_all();
  });
  std::unique_lock<std::mutex> lock(tasksLock_);
  taskDone_.wait(lock, [&done] { return done; });
}

void TProgrammingSession::RunTasks() {
  for (;;) {
    std::function<void()> task;
    {
      std::lock_guard<std::mutex> lock(tasksLock_);
      if (tasks_.empty()) return;
      task = std::move(tasks_.front());
      tasks_.pop_front();
    }
    task();
  }
}

void TProgrammingSession::Build(std::shared_ptr<hid::platform::THidPlatform> platform) {
  IStatusSink* sink = options_.Sink;
  if (sink == nullptr) {
    eventSink_ = std::make_unique<TEventSink>(onEvent_);
    sink = eventSink_.get();
  }
  TProgrammerState& state = options_.State != nullptr ? *options_.State : ownState_;
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

void TProgrammingSession::Hurry() {
  Post([this](TProgrammerStack& stack) {
    stack.State().UserBreak = true;
    stack.State().StopWaiting = true;
    if (options_.View != nullptr) options_.View->SetBreakVisible(false);
  });
}

void TProgrammingSession::Invoke(const std::function<void(TProgrammerStack&)>& fn) {
  RunQueued([this, &fn] { fn(*stack_); });
}

void TProgrammingSession::Post(std::function<void(TProgrammerStack&)> fn) {
  Queue([this, fn = std::move(fn)] { fn(*stack_); });
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
