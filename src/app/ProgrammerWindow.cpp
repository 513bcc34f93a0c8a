#include "app/ProgrammerWindow.h"

#include "jobs/ProgrammingJobs.h"
#include "link/ProgrammerLink.h"

namespace kvm::app {

TProgrammerWindow::TProgrammerWindow(std::shared_ptr<hid::platform::THidPlatform> platform, TMainFormOptions options)
    : form_(std::make_unique<TMainForm>(std::move(options))) {
  TMainForm& form = *form_;
  jobs::TSessionOptions session;
  session.Stack = jobs::TStackOptions::WithTick(form.TickMs());
  session.OwnThread = false;
  session.Sink = &form;
  session.Layout = &form;
  session.View = &form;
  session.State = &form.State();
  session.Activate = false;
  session_ = std::make_unique<jobs::TProgrammingSession>(std::move(platform), std::move(session));

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
  session_.reset();
}

}  // namespace kvm::app
