#include "cli/InterruptSignal.h"

#include "cli/ExitCodes.h"

namespace kvm::cli {

TInterruptSignal::TInterruptSignal() : wake_({3, ExitInterrupted, "\nkvmflash-cli: interrupted\n"}) {
  wake_.OnSignal = [this](int interrupts) { Announce(interrupts); };
}

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
