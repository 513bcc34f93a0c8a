// The builder of everything one programmer needs below its front end: the
// HID controller, the programmer protocol (reply store, wait timer), the
// connection and the programming jobs, created in that order and destroyed in
// the reverse one (the link gives its devices back before the controller
// goes). The window, the command line, the demo, the sessions, the test rigs
// and the bench all build it here. Qt Core only; everything it holds belongs
// to the thread that built it.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "core/ProgrammerState.h"
#include "core/JobView.h"
#include "core/WindowControls.h"
#include "core/MessagePump.h"
#include "core/StatusSink.h"

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

namespace kvm::jobs {

class TProgrammingJobs;

struct TStackOptions {
  // Periods in milliseconds of the one-second timers: the connection
  // countdown, the reply wait and the elapsed-time display.
  int CountdownTickMs = 1000;
  int WaitTickMs = 1000;
  int ElapsedTickMs = 1000;
  // The jobs' millisecond clock; empty: a steady clock.
  std::function<std::uint32_t()> Clock;
  // Connect only to the programmer with this serial number (empty: the
  // first one listed).
  std::string RequiredSerial;
  // The intermediate file of container jobs (empty: the window's one file).
  // Sessions that run at once each need their own.
  std::string IntermediateFile;
  // The devices' reports are read in the stack's own event loop instead of
  // on reader threads: for a thread that serves nothing but this stack (a
  // session of its own, the command line). The window keeps its readers.
  bool ReadInEventLoop = false;

  // All three timers with one period.
  static TStackOptions WithTick(int tickMs) {
    TStackOptions options;
    options.CountdownTickMs = options.WaitTickMs = options.ElapsedTickMs = tickMs;
    return options;
  }
};

// The front end a stack reports to and the state it shares with it. Layout
// and view may be null for front ends without panels, lamps or boxes.
struct TStackFrontEnd {
  IStatusSink& Sink;
  TProgrammerState& State;
  IMessagePump& Pump;
  IWindowControls* Layout = nullptr;
  IJobView* View = nullptr;
};

class TProgrammerStack {
 public:
  // The link's automatic start runs the jobs' InProgButtonClick until the
  // front end installs its own.
  TProgrammerStack(std::shared_ptr<hid::platform::THidPlatform> platform, TStackFrontEnd frontEnd,
                   TStackOptions options = {});
  ~TProgrammerStack();
  TProgrammerStack(const TProgrammerStack&) = delete;
  TProgrammerStack& operator=(const TProgrammerStack&) = delete;

  // Binds the link's handlers (the window's creation) and installs the
  // device-change handler (its first activation), which starts the scan.
  void Start();

  hid::THidDeviceController& HidCtl() { return *hidCtl_; }
  protocol::TProgrammerProtocol& Protocol() { return *protocol_; }
  link::TProgrammerLink& Link() { return *link_; }
  TProgrammingJobs& Jobs() { return *jobs_; }
  TProgrammerState& State() { return state_; }

 private:
  TNoWindowControls noWindowControls_;
  TNoJobView noView_;
  TProgrammerState& state_;
  std::unique_ptr<hid::THidDeviceController> hidCtl_;
  std::unique_ptr<protocol::TProgrammerProtocol> protocol_;
  std::unique_ptr<link::TProgrammerLink> link_;
  std::unique_ptr<TProgrammingJobs> jobs_;
};

}  // namespace kvm::jobs
