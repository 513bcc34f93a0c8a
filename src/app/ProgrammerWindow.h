// The window together with the programmer stack beside it (controller,
// protocol, connection, jobs), wired to the window's events. The HID platform
// decides which devices it sees (hidraw in the product, the simulated back end
// in the demo and the tests).
#pragma once

#include <memory>

#include "app/DevReader.h"
#include "app/ProgrammerStack.h"
#include "app/core/MessagePump.h"

namespace kvm::app {

class TProgrammerWindow {
 public:
  TProgrammerWindow(std::shared_ptr<hid::platform::THidPlatform> platform, TMainFormOptions options = {});
  // Gives every device back before the controller and the window go.
  ~TProgrammerWindow();
  TProgrammerWindow(const TProgrammerWindow&) = delete;
  TProgrammerWindow& operator=(const TProgrammerWindow&) = delete;

  TMainForm& Form() { return *form_; }
  hid::THidDeviceController& HidCtl() { return stack_->HidCtl(); }
  protocol::TProgrammerProtocol& Protocol() { return stack_->Protocol(); }
  link::TProgrammerLink& Link() { return stack_->Link(); }
  firmware::TProgrammingJobs& Jobs() { return stack_->Jobs(); }

 private:
  // Declared first so that it goes last: the stack reports to it.
  std::unique_ptr<TMainForm> form_;
  TQtMessagePump pump_;
  std::unique_ptr<TProgrammerStack> stack_;
};

}  // namespace kvm::app
