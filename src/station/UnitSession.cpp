#include "station/UnitSession.h"

#include <cstdio>

#include "jobs/ProgrammingSession.h"
#include "link/ProgrammerLink.h"

namespace kvm::station {

bool ParseRetryText(const std::string& text, std::int64_t& block, int& attempt) {
  int kind = 0, resend = 0, consumed = 0;
  long long number = 0;
  if (std::sscanf(text.c_str(), "Retry KVM Programmer (%d) [%lld]: #%d%n", &kind, &number, &resend, &consumed) != 3 ||
      consumed != static_cast<int>(text.size()))
    return false;
  block = number;
  attempt = resend + 1;
  return true;
}

TUnitSession::TUnitSession(std::shared_ptr<TUnitPlatform> platform, jobs::TStackOptions stack,
                           jobs::TJobRequest request, TUnitRecorder& recorder, TUnitCallbacks callbacks)
    : platform_(std::move(platform)), request_(std::move(request)), recorder_(recorder), callbacks_(std::move(callbacks)) {
  jobs::TSessionOptions options;
  options.Stack = std::move(stack);
  options.OwnThread = true;
  options.View = &view_;
  session_ = std::make_unique<jobs::TProgrammingSession>(platform_, std::move(options),
                                                         [this](const jobs::TSessionEvent& event) { OnEvent(event); });
  // "Auto" is how the link tells that the countdown has connected the
  // programmer; installed long before the countdown's third tick.
  session_->Invoke([this](jobs::TProgrammerStack& stack) { stack.Link().OnAutoStart = [this] { Connected(); }; });
}

TUnitSession::~TUnitSession() { session_.reset(); }

void TUnitSession::Break(const std::string& reason) {
  session_->Post([this, reason](jobs::TProgrammerStack&) {
    if (!connected_) GiveUp(reason);
  });
  session_->Break();
}

void TUnitSession::DeviceGone(const std::string& reason) {
  platform_->MarkGone();
  session_->Post([this, reason](jobs::TProgrammerStack&) {
    if (!connected_) GiveUp(reason);
  });
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
  using Kind = jobs::TSessionEventKind;
  const std::int64_t now = SteadyMilliseconds();
  switch (event.Kind) {
    case Kind::LogLine: recorder_.LogLine(event.Text, event.Colour); return;
    case Kind::Status:
      recorder_.Status(event.Text);
      progress_.Status = event.Text;
      break;
    case Kind::Activity: return;
    case Kind::Progress:
      recorder_.Progress(event.Position, event.Maximum);
      progress_.Position = event.Position;
      progress_.Maximum = event.Maximum;
      break;
    case Kind::Retry: {
      std::int64_t block = 0;
      int attempt = 0;
      if (ParseRetryText(event.Text, block, attempt)) recorder_.Retry(block, attempt, event.Text);
      return;
    }
    case Kind::JobStarted:
      recorder_.JobStarted(event.Target);
      jobStartMs_ = now;
      progress_ = {};
      break;
    case Kind::JobEnded: recorder_.JobFinished(event.Target, event.Result, event.Text); return;
  }
  progress_.ElapsedMs = jobStartMs_ != 0 ? now - jobStartMs_ : 0;
  if (callbacks_.Progress && connected_) callbacks_.Progress(recorder_.Identity().Prefix(), progress_);
}

}  // namespace kvm::station
