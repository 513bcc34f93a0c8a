// Everything the front ends hold for the programmer besides their own
// display: the HID controller, the programmer protocol, the connection and the
// programming jobs, created in that order and destroyed in the reverse one
// (the link gives its devices back before the controller goes). The window and
// the command line both build on it; Qt Core only.
#pragma once

#include <memory>

#include "app/core/AppState.h"
#include "app/core/JobView.h"
#include "app/core/MessagePump.h"
#include "app/core/StatusOps.h"

namespace kvm::hid {
class THidDeviceController;
namespace platform {
class THidPlatform;
}
}  // namespace kvm::hid
namespace kvm::protocol {
class TProgrammerProtocol;
}
namespace kvm::link {
class TProgrammerLink;
}
namespace kvm::firmware {
class TProgrammingJobs;
}

namespace kvm::app {

class TProgrammerStack {
 public:
  // tickMs: the period of the countdown, reply time-out and elapsed-time
  // timers (1000 in the product). The link's automatic start runs the jobs'
  // InProgButtonClick until the front end installs its own.
  TProgrammerStack(std::shared_ptr<hid::platform::THidPlatform> platform, IStatusOps& status, IJobView& view,
                   TAppState& state, IMessagePump& pump, int tickMs);
  ~TProgrammerStack();
  TProgrammerStack(const TProgrammerStack&) = delete;
  TProgrammerStack& operator=(const TProgrammerStack&) = delete;

  hid::THidDeviceController& HidCtl() { return *hidCtl_; }
  protocol::TProgrammerProtocol& Protocol() { return *protocol_; }
  link::TProgrammerLink& Link() { return *link_; }
  firmware::TProgrammingJobs& Jobs() { return *jobs_; }

 private:
  std::unique_ptr<hid::THidDeviceController> hidCtl_;
  std::unique_ptr<protocol::TProgrammerProtocol> protocol_;
  std::unique_ptr<link::TProgrammerLink> link_;
  std::unique_ptr<firmware::TProgrammingJobs> jobs_;
};

}  // namespace kvm::app
