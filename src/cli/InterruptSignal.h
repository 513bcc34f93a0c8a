// Ctrl-C on the command line, and SIGTERM and SIGHUP alike: the first one is
// handed to the event loop (it acts as the Break button), the second one too
// (no reply is waited for any longer, so the jobs end at once and every
// record is still written); a third one ends the program at once.
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

  // Run on the user-interface thread after the first and the second Ctrl-C.
  std::function<void()> OnInterrupt;
  std::function<void()> OnSecondInterrupt;
  bool Interrupted() const { return interrupted_; }

  // A file that a third Ctrl-C removes before the program ends (the
  // intermediate file of a container job).
  void SetLeftoverFile(const std::string& path);
  // More files of that kind (the station's units each have their own); at
  // most MaxLeftoverFiles, each shorter than 512 bytes. Set before jobs start.
  static constexpr int MaxLeftoverFiles = 32;
  void AddLeftoverFile(const std::string& path);

 private:
  // Takes the signals' wake-up (per system), then Announce.
  void Drain();
  // The first interrupt's and the second's handlers, each once, after
  // `interrupts` interrupts so far.
  void Announce(int interrupts);

  int pipe_[2] = {-1, -1};
  std::unique_ptr<QSocketNotifier> notifier_;
  bool interrupted_ = false;
  bool hurried_ = false;
};

}  // namespace kvm::cli
