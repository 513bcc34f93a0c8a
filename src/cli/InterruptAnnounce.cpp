// What an interrupt means to the program, the same on every system; how it
// arrives is InterruptSignal.cpp's or InterruptSignalWindows.cpp's.
#include "cli/InterruptSignal.h"

namespace kvm::cli {

void TInterruptSignal::Announce(int interrupts) {
  if (!interrupted_) {
    interrupted_ = true;
    if (OnInterrupt) OnInterrupt();
  }
  if (interrupts >= 2 && !hurried_) {
    hurried_ = true;
    if (OnSecondInterrupt) OnSecondInterrupt();
  }
}

}  // namespace kvm::cli
