// Ctrl-C, SIGTERM and SIGHUP end the demo through its event loop, so that the
// temporary folder with the sample firmware is removed like on a normal close.
// A second one while the loop is stuck ends the program the default way.
#pragma once

#include "core/SignalWake.h"

namespace kvm::app {

class TQuitOnSignal {
 public:
  // Installs the handlers; QCoreApplication must exist. One instance at a time.
  TQuitOnSignal();

 private:
  core::TSignalWake wake_;
};

}  // namespace kvm::app
