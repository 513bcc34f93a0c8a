// TProgrammingSession: one engine per programmer. It holds everything one
// programmer needs (controller, protocol with its reply store and wait timer,
// link, jobs with their repeat count, last file name, busy flag and
// UserBreak, its sink and its message pump) and lives on one thread: an
// event-loop thread of its own, or the thread that creates it (the window).
// Its devices' reports reach it on that thread (read in its own event loop
// when the thread is its own, else handed over by reader threads), so
// several sessions run at once in one process and no session's wait blocks,
// nests inside or delays another's.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "core/ProgrammerState.h"
#include "core/MessagePump.h"
#include "jobs/ProgrammerStack.h"
#include "jobs/ProgrammingJobs.h"
#include "jobs/SessionEvents.h"

class QObject;
class QThread;

namespace kvm::jobs {

struct TSessionOptions {
  // Tick periods, clock and the programmer's serial number.
  TStackOptions Stack;
  // True: the session runs on an event-loop thread of its own. False: on the
  // thread that creates it, which must run a Qt event loop.
  bool OwnThread = true;
  // A front end of its own (the window). Null: the session reports through
  // a TEventSink to the event handler and has no layout, view or shared state.
  IStatusSink* Sink = nullptr;
  IWindowControls* Layout = nullptr;
  IJobView* View = nullptr;
  TProgrammerState* State = nullptr;
  // Install the device-change handler at once, which starts the scan. The
  // window does it itself when it is first activated.
  bool Activate = true;
};

class TProgrammingSession {
 public:
  using TDone = std::function<void(const std::vector<TJobOutcome>&)>;

  // Builds the stack on the session's thread and returns once it is built;
  // the scan starts at once (see Activate) and the countdown then connects
  // the programmer (the one with the options' serial number, if given).
  // `onEvent` runs on the session's thread (unused with a sink of its own).
  TProgrammingSession(std::shared_ptr<hid::platform::THidPlatform> platform, TSessionOptions options,
                      TSessionEventHandler onEvent = {});
  // Breaks a running job, waits for it to end and tears the stack down on
  // its thread (every device given back, every reader stopped).
  ~TProgrammingSession();
  TProgrammingSession(const TProgrammingSession&) = delete;
  TProgrammingSession& operator=(const TProgrammingSession&) = delete;

  // Runs the request's jobs on the session's thread; `done` is called there
  // with each target's result. Returns at once.
  void Program(TJobRequest request, TDone done = {});
  // The Break button: the running job stops before its next block.
  void Break();
  // A second interrupt: Break, and the reply being waited for is not waited
  // for any longer.
  void Hurry();

  // Runs `fn` on the session's thread and returns after it has run (at once
  // when called on that thread). For reading the stack's state.
  void Invoke(const std::function<void(TProgrammerStack&)>& fn);
  // Queues `fn` to run on the session's thread.
  void Post(std::function<void(TProgrammerStack&)> fn);

  // The thread the session lives on.
  QThread* Thread() const;
  // Whether the link has connected a programmer (read on the session's thread).
  bool IsConnected();
  // True from Program until its jobs have ended.
  bool IsBusy() const;

  // The stack itself, for the session's own thread only.
  TProgrammerStack& Stack() { return *stack_; }
  IMessagePump& Pump() { return pump_; }

 private:
  void Build(std::shared_ptr<hid::platform::THidPlatform> platform);
  void Teardown();
  // Calls cross to the session's thread through this queue, under our own
  // lock, and an empty posted event that says "look at the queue": what a
  // call carries is never handed over by Qt's queue alone, so the order
  // between the threads is one that thread checkers can see.
  void Queue(std::function<void()> task);
  void RunQueued(std::function<void()> task);  // and waits until it has run
  friend class TSessionAnchor;
  void RunTasks();

  TSessionOptions options_;
  TSessionEventHandler onEvent_;
  std::unique_ptr<QThread> thread_;
  QObject* anchor_ = nullptr;  // lives on the session's thread; carries posted calls
  TProgrammerState ownState_;
  TQtMessagePump pump_;
  std::unique_ptr<TEventSink> eventSink_;
  std::unique_ptr<TProgrammerStack> stack_;

  mutable std::mutex busyLock_;
  std::condition_variable idle_;
  int pendingRequests_ = 0;
  std::mutex tasksLock_;
  std::condition_variable taskDone_;
  std::deque<std::function<void()>> tasks_;
};

}  // namespace kvm::jobs
