// Ctrl-C on the command line, and SIGTERM and SIGHUP alike: the first one is
// handed to the event loop (it acts as the Break button), the second one too
// (no reply is waited for any longer, so the jobs end at once and every
// record is still written); a third one ends the program at once.
#pragma once

#include <functional>
#include <string>

#include "core/SignalWake.h"

namespace kvm::cli {

class TInterruptSignal {
 public:
  // Installs the handlers; one instance at a time.
  TInterruptSignal();

  // Run on the user-interface thread after the first and the second Ctrl-C.
  std::function<void()> OnInterrupt;
  std::function<void()> OnSecondInterrupt;
  bool Interrupted() const { return interrupted_; }

  // Files that a third Ctrl-C removes before the program ends (the
  // intermediate files of container jobs); set before jobs start.
  static constexpr int MaxLeftoverFiles = core::TSignalWake::MaxLeftoverFiles;
  void AddLeftoverFile(const std::string& path) { wake_.AddLeftoverFile(path); }

 private:
  // The first interrupt's and the second's handlers, each once, after
  // `interrupts` interrupts so far.
  void Announce(int interrupts);

  core::TSignalWake wake_;
  bool interrupted_ = false;
  bool hurried_ = false;
};

}  // namespace kvm::cli
