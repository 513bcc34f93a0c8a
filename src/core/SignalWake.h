// Ctrl-C, SIGTERM and SIGHUP (on Windows a console's Ctrl-C, Ctrl-Break and
// close), handed to the event loop. The handler only counts the signal and
// wakes the loop, which then calls OnSignal on its own thread with the count
// so far. Once the count reaches the last resort's, the loop may be stuck
// (that is why the user asks again), so the handler ends the program itself:
// it removes the files registered with AddLeftoverFile, writes the message to
// standard error and exits with the status given, or takes the signal's
// default action.
#pragma once

#include <functional>
#include <memory>
#include <string>

class QSocketNotifier;

namespace kvm::core {

struct TLastResort {
  static constexpr int DefaultAction = -1;
  int AtSignal = 2;               // the signal that ends the program at once
  int ExitCode = DefaultAction;   // its exit status, or the signal's own ending
  const char* Message = nullptr;  // a string that lives as long as the program
};

class TSignalWake {
 public:
  // Installs the handlers; a QCoreApplication must exist. One instance at a
  // time. Throws std::runtime_error naming the system's reason when the
  // wake-up cannot be made.
  explicit TSignalWake(TLastResort lastResort);
  // Restores the default actions.
  ~TSignalWake();
  TSignalWake(const TSignalWake&) = delete;
  TSignalWake& operator=(const TSignalWake&) = delete;

  // On the thread of the event loop, after each signal but the last resort.
  std::function<void(int count)> OnSignal;

  // Files the last resort removes (intermediate files a job may leave); set
  // before jobs start. False when the table is full or the path too long.
  static constexpr int MaxLeftoverFiles = 33;
  bool AddLeftoverFile(const std::string& path);

 private:
  // Takes the wake-up on the event loop's thread.
  void Drain();

  int pipe_[2] = {-1, -1};  // POSIX: the handler's one write, the loop's watch
  std::unique_ptr<QSocketNotifier> notifier_;
};

}  // namespace kvm::core
