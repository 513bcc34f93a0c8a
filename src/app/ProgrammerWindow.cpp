#include "app/ProgrammerWindow.h"

#include "firmware/ProgrammingJobs.h"
#include "link/ProgrammerLink.h"

namespace kvm::app {

TProgrammerWindow::TProgrammerWindow(std::shared_ptr<hid::platform::THidPlatform> platform, TMainFormOptions options)
    : form_(std::make_unique<TMainForm>(std::move(options))) {
  TMainForm& form = *form_;
  stack_ = std::make_unique<TProgrammerStack>(std::move(platform), form, form, form.State(), pump_, form.TickMs());

  Link().BindController();
  form.OnProgramClick = [this] { Jobs().InProgButtonClick(); };
  form.OnResetJobMemory = [this] { Jobs().ResetJobMemory(); };
  form.OnActivate = [this] { Link().FormActivate(); };
  // The window may already be active (it activated before the wiring).
  if (form.isActiveWindow()) Link().FormActivate();
}

TProgrammerWindow::~TProgrammerWindow() {
  form_->OnActivate = nullptr;
  form_->OnProgramClick = nullptr;
  form_->OnResetJobMemory = nullptr;
  stack_.reset();
}

}  // namespace kvm::app
