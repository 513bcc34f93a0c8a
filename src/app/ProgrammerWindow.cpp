#include "app/ProgrammerWindow.h"

#include "firmware/ProgrammingJobs.h"
#include "hid/HidControllerClass.h"
#include "link/ProgrammerLink.h"
#include "protocol/ProgrammerProtocol.h"

namespace kvm::app {

TProgrammerWindow::TProgrammerWindow(std::shared_ptr<hid::platform::THidPlatform> platform, TMainFormOptions options)
    : form_(std::make_unique<TMainForm>(std::move(options))) {
  const int tickMs = form_->TickMs();
  TMainForm& form = *form_;
  TAppState& state = form.State();

  hidCtl_ = std::make_unique<hid::THidDeviceController>(std::move(platform));
  protocol_ = std::make_unique<protocol::TProgrammerProtocol>(form, state, pump_, tickMs);
  link_ = std::make_unique<link::TProgrammerLink>(*hidCtl_, form, form, state, *protocol_, tickMs);
  jobs_ = std::make_unique<firmware::TProgrammingJobs>(form, form, state, *protocol_, pump_, tickMs);

  link_->BindController();
  link_->OnAutoStart = [this] { jobs_->InProgButtonClick(); };
  form.OnProgramClick = [this] { jobs_->InProgButtonClick(); };
  form.OnResetJobMemory = [this] { jobs_->ResetJobMemory(); };
  form.OnActivate = [this] { link_->FormActivate(); };
  // The window may already be active (it activated before the wiring).
  if (form.isActiveWindow()) link_->FormActivate();
}

TProgrammerWindow::~TProgrammerWindow() {
  form_->OnActivate = nullptr;
  form_->OnProgramClick = nullptr;
  form_->OnResetJobMemory = nullptr;
  jobs_.reset();
  link_.reset();
  protocol_.reset();
  hidCtl_.reset();
}

}  // namespace kvm::app
