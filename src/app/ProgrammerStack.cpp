#include "app/ProgrammerStack.h"

#include "firmware/ProgrammingJobs.h"
#include "hid/HidControllerClass.h"
#include "link/ProgrammerLink.h"
#include "protocol/ProgrammerProtocol.h"

namespace kvm::app {

TProgrammerStack::TProgrammerStack(std::shared_ptr<hid::platform::THidPlatform> platform, IStatusOps& status,
                                   IJobView& view, TAppState& state, IMessagePump& pump, int tickMs)
    : hidCtl_(std::make_unique<hid::THidDeviceController>(std::move(platform))),
      protocol_(std::make_unique<protocol::TProgrammerProtocol>(status, state, pump, tickMs)),
      link_(std::make_unique<link::TProgrammerLink>(*hidCtl_, status, view, state, *protocol_, tickMs)),
      jobs_(std::make_unique<firmware::TProgrammingJobs>(status, view, state, *protocol_, pump, tickMs)) {
  link_->OnAutoStart = [this] { jobs_->InProgButtonClick(); };
}

TProgrammerStack::~TProgrammerStack() {
  jobs_.reset();
  link_.reset();
  protocol_.reset();
  hidCtl_.reset();
}

}  // namespace kvm::app
