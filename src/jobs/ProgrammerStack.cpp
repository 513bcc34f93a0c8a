#include "jobs/ProgrammerStack.h"

#include "hid/HidControllerClass.h"
#include "jobs/ProgrammingJobs.h"
#include "link/ProgrammerLink.h"
#include "protocol/ProgrammerProtocol.h"

namespace kvm::jobs {

TProgrammerStack::TProgrammerStack(std::shared_ptr<hid::platform::THidPlatform> platform, TStackFrontEnd frontEnd,
                                   TStackOptions options)
    : state_(frontEnd.State),
      hidCtl_(std::make_unique<hid::THidDeviceController>(std::move(platform))),
      protocol_(std::make_unique<protocol::TProgrammerProtocol>(frontEnd.Sink, frontEnd.State, frontEnd.Pump,
                                                                options.WaitTickMs)) {
  hidCtl_->SetReadInEventLoop(options.ReadInEventLoop);
  IWindowControls& layout = frontEnd.Layout != nullptr ? *frontEnd.Layout : noWindowControls_;
  IJobView& view = frontEnd.View != nullptr ? *frontEnd.View : noView_;
  link_ = std::make_unique<link::TProgrammerLink>(*hidCtl_, frontEnd.Sink, layout, view, frontEnd.State, *protocol_,
                                                  options.CountdownTickMs);
  if (!options.RequiredSerial.empty()) link_->SetRequiredSerial(options.RequiredSerial);
  jobs_ = std::make_unique<TProgrammingJobs>(frontEnd.Sink, layout, view, frontEnd.State, *protocol_, frontEnd.Pump,
                                             options.ElapsedTickMs, std::move(options.Clock));
  jobs_->SetIntermediateFile(std::move(options.IntermediateFile));
  link_->OnAutoStart = [this] { jobs_->InProgButtonClick(); };
}

TProgrammerStack::~TProgrammerStack() {
  jobs_.reset();
  link_.reset();
  protocol_.reset();
  hidCtl_.reset();
}

void TProgrammerStack::Start() {
  link_->BindController();
  link_->FormActivate();
}

}  // namespace kvm::jobs
