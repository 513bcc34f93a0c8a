// Ctrl-C, SIGTERM and SIGHUP end the demo through its event loop, so that the
// temporary folder with the sample firmware is removed like on a normal close.
#pragma once

#include <QSocketNotifier>
#include <memory>

namespace kvm::app {

class TQuitOnSignal {
 public:
  // Installs the handlers; QCoreApplication must exist. One instance at a time.
  TQuitOnSignal();
  ~TQuitOnSignal();
  TQuitOnSignal(const TQuitOnSignal&) = delete;
  TQuitOnSignal& operator=(const TQuitOnSignal&) = delete;

 private:
  int pipe_[2] = {-1, -1};
  std::unique_ptr<QSocketNotifier> notifier_;
};

}  // namespace kvm::app
