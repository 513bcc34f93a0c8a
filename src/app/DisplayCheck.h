// The window's start without a display: one line saying so and exit status
// 1, instead of Qt's fatal message and an abort.
#pragma once

namespace kvm::app {

// While it lives, Qt's messages are held back; a fatal one (the platform
// plugin found no display) ends the program with "kvmflash: no display
// found ..." and status 1. Held messages are passed on when it goes.
class TDisplayCheck {
 public:
  TDisplayCheck();
  ~TDisplayCheck();
  TDisplayCheck(const TDisplayCheck&) = delete;
  TDisplayCheck& operator=(const TDisplayCheck&) = delete;
};

}  // namespace kvm::app
