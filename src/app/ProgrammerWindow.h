// The window together with the subsystems beside it: the HID controller, the
// programmer protocol, the connection and the programming jobs, wired to the
// window's events. The HID platform decides which devices it sees (hidraw in
// the product, the simulated back end in the demo and the tests).
#pragma once

#include <memory>

#include "app/DevReader.h"
#include "app/core/MessagePump.h"

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

class TProgrammerWindow {
 public:
  TProgrammerWindow(std::shared_ptr<hid::platform::THidPlatform> platform, TMainFormOptions options = {});
  // Gives every device back before the controller and the window go.
  ~TProgrammerWindow();
  TProgrammerWindow(const TProgrammerWindow&) = delete;
  TProgrammerWindow& operator=(const TProgrammerWindow&) = delete;

  TMainForm& Form() { return *form_; }
  hid::THidDeviceController& HidCtl() { return *hidCtl_; }
  protocol::TProgrammerProtocol& Protocol() { return *protocol_; }
  link::TProgrammerLink& Link() { return *link_; }
  firmware::TProgrammingJobs& Jobs() { return *jobs_; }

 private:
  // Declared first so that it goes last: everything below reports to it.
  std::unique_ptr<TMainForm> form_;
  TQtMessagePump pump_;
  std::unique_ptr<hid::THidDeviceController> hidCtl_;
  std::unique_ptr<protocol::TProgrammerProtocol> protocol_;
  std::unique_ptr<link::TProgrammerLink> link_;
  std::unique_ptr<firmware::TProgrammingJobs> jobs_;
};

}  // namespace kvm::app
