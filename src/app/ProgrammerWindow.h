// The window together with its programming session (controller, protocol,
// connection, jobs) on the user-interface thread, wired to the window's
// events. The HID platform decides which devices it sees (hidraw in the
// product, the simulated back end in the demo and the tests).
#pragma once

#include <memory>

#include "app/DevReader.h"
#include "jobs/ProgrammingSession.h"

namespace kvm::app {

class TProgrammerWindow {
 public:
  TProgrammerWindow(std::shared_ptr<hid::platform::THidPlatform> platform, TMainFormOptions options = {});
  // Gives every device back before the controller and the window go.
  ~TProgrammerWindow();
  TProgrammerWindow(const TProgrammerWindow&) = delete;
  TProgrammerWindow& operator=(const TProgrammerWindow&) = delete;

  TMainForm& Form() { return *form_; }
  hid::THidDeviceController& HidCtl() { return session_->Stack().HidCtl(); }
  protocol::TProgrammerProtocol& Protocol() { return session_->Stack().Protocol(); }
  link::TProgrammerLink& Link() { return session_->Stack().Link(); }
  jobs::TProgrammingJobs& Jobs() { return session_->Stack().Jobs(); }

 private:
  // Declared first so that it goes last: the session reports to it.
  std::unique_ptr<TMainForm> form_;
  std::unique_ptr<jobs::TProgrammingSession> session_;
};

}  // namespace kvm::app
