// Ctrl-C on the command line, and SIGTERM and SIGHUP alike: the first one is
// handed to the event loop (it acts as the Break button), a second one ends
// the program at once.
#pragma once

#include <functional>
#include <memory>
#include <string>

class QSocketNotifier;

namespace kvm::cli {

class TInterruptSignal {
 public:
  // Installs the handler of SIGINT, SIGTERM and SIGHUP; one instance at a time.
  TInterruptSignal();
  // Restores the default action.
  ~TInterruptSignal();
  TInterruptSignal(const TInterruptSignal&) = delete;
  TInterruptSignal& operator=(const TInterruptSignal&) = delete;

  // Runs on the user-interface thread after the first Ctrl-C.
  std::function<void()> OnInterrupt;
  bool Interrupted() const { return interrupted_; }

  // A file that a second Ctrl-C removes before the program ends (the
  // intermediate file of a container job).
  void SetLeftoverFile(const std::string& path);
  // More files of that kind (the station's units each have their own); at
  // most MaxLeftoverFiles, each shorter than 512 bytes. Set before jobs start.
  static constexpr int MaxLeftoverFiles = 32;
  void AddLeftoverFile(const std::string& path);

 private:
  void Drain();

  int pipe_[2] = {-1, -1};
  std::unique_ptr<QSocketNotifier> notifier_;
  bool interrupted_ = false;
};

}  // namespace kvm::cli
