#include "station/UnitSession.h"

#include "jobs/ProgrammingSession.h"
#include "link/ProgrammerLink.h"

namespace kvm::station {

TUnitSession::TUnitSession(std::shared_ptr<TUnitPlatform> platform, jobs::TStackOptions stack,
                           jobs::TJobRequest request, TUnitRecorder& recorder, TUnitCallbacks callbacks)
    : platform_(std::move(platform)),
      request_(std::move(request)),
      recorder_(recorder),
      callbacks_(std::move(callbacks)),
      feed_(recorder, [this](const std::string& prefix, const TUnitProgress& line) {
        // The live line shows only once the unit is connected.
        if (callbacks_.Progress && connected_) callbacks_.Progress(prefix, line);
      }) {
  jobs::TSessionOptions options;
  options.Stack = std::move(stack);
  options.OwnThread = true;
  options.View = &view_;
  // The scan (and so the countdown) starts only once the handlers below are
  // in: a short tick on a busy machine could connect before they were.
  options.Activate = false;
  session_ = std::make_unique<jobs::TProgrammingSession>(platform_, std::move(options),
                                                         [this](const jobs::TSessionEvent& event) { OnEvent(event); });
  // "Auto" is how the link tells that the countdown has connected the
  // programmer. A programmer that another program holds or this user cannot
  // open is not connected and gets no job: its record says why and what
  // fixes it.
  session_->Invoke([this](jobs::TProgrammerStack& stack) {
    stack.Link().OnAutoStart = [this] { Connected(); };
    stack.Link().SetUsableOnly(true);
    stack.Link().OnUnusable = [this](hid::THidDevice&, const std::string& line) { GiveUp(line); };
    stack.Link().FormActivate();
  });
}

TUnitSession::~TUnitSession() { session_.reset(); }

void TUnitSession::Break(const std::string& reason) {
  session_->Post([this, reason](jobs::TProgrammerStack&) {
    if (!connected_) GiveUp(reason);
    recorder_.Interrupted();
  });
  session_->Break();
}

void TUnitSession::Hurry() { session_->Hurry(); }

void TUnitSession::DeviceGone(const std::string& reason) {
  platform_->MarkGone();
  session_->Post([this, reason](jobs::TProgrammerStack&) {
    if (!connected_) GiveUp(reason);
  });
  // No reply can come from a programmer that has gone: the job ends now,
  // not after its reply wait, so that its record follows the removal.
  session_->Hurry();
}

void TUnitSession::Connected() {
  if (finished_ || connected_) return;
  connected_ = true;
  recorder_.Connected();
  session_->Program(request_, [this](const std::vector<jobs::TJobOutcome>&) { Finish({}); });
}

void TUnitSession::GiveUp(const std::string& reason) {
  if (finished_) return;
  Finish(reason);
}

void TUnitSession::Finish(const std::string& reason) {
  if (finished_) return;
  finished_ = true;
  std::string recordError;
  const bool ok = recorder_.Finish(reason, recordError);
  if (callbacks_.Done) callbacks_.Done(ok, recordError);
}

void TUnitSession::OnEvent(const jobs::TSessionEvent& event) {
  // What a session says while it is torn down after its unit is done
  // belongs to no unit any more.
  if (finished_) return;
  feed_.Feed(event);
}

}  // namespace kvm::station
