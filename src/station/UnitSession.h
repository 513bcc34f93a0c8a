// One unit's programming session: the window's connection countdown and its
// Program button, on an event-loop thread of the unit's own, over a view of
// the platform that holds only the unit's programmer. What the session
// reports goes to the unit's recorder and live line; when its jobs have
// ended (or it was given up before it connected) the unit's record is written
// and `onDone` runs, all on the session's thread.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "core/JobView.h"
#include "jobs/ProgrammerStack.h"
#include "jobs/ProgrammingJobs.h"
#include "jobs/SessionEvents.h"
#include "station/UnitPlatform.h"
#include "station/UnitEventFeed.h"
#include "station/UnitRecorder.h"

namespace kvm::jobs {
class TProgrammingSession;
}

namespace kvm::station {

struct TUnitCallbacks {
  std::function<void(const std::string& prefix, const TUnitProgress&)> Progress;
  // The unit is done: its record is written (recordError says why not).
  std::function<void(bool ok, const std::string& recordError)> Done;
};

class TUnitSession {
 public:
  // Starts at once: the settle countdown runs, and the jobs once it has connected.
  TUnitSession(std::shared_ptr<TUnitPlatform> platform, jobs::TStackOptions stack, jobs::TJobRequest request,
               TUnitRecorder& recorder, TUnitCallbacks callbacks);
  // Stops the session's thread; a running job is broken first.
  ~TUnitSession();
  TUnitSession(const TUnitSession&) = delete;
  TUnitSession& operator=(const TUnitSession&) = delete;

  // The Break button (any thread); a unit not yet connected is given up
  // with `reason` instead.
  void Break(const std::string& reason);
  // A second interrupt: Break, and the reply being waited for is given up.
  void Hurry();
  // The device left (any thread): a unit not yet connected is given up with
  // `reason`; a running job sees the connection change and stops.
  void DeviceGone(const std::string& reason);

 private:
  // The session's thread only.
  void OnEvent(const jobs::TSessionEvent& event);
  void Connected();
  void GiveUp(const std::string& reason);
  void Finish(const std::string& reason);

  // Auto ticked, so that the countdown's connection starts the jobs; lamps
  // and the Break button only remember their state.
  class TUnitView final : public IJobView {
   public:
    bool IsTargetChecked(TTarget) const override { return false; }
    bool IsAutoChecked() const override { return true; }
    std::string TargetFileName(TTarget) const override { return {}; }
    bool SortFileList(TTarget) override { return false; }
    void SetTargetLamp(TTarget, TLampPicture) override {}
    void SetBreakVisible(bool visible) override { breakVisible_ = visible; }
    bool IsBreakVisible() const override { return breakVisible_; }

   private:
    bool breakVisible_ = false;
  };

  std::shared_ptr<TUnitPlatform> platform_;
  const jobs::TJobRequest request_;
  TUnitRecorder& recorder_;
  TUnitCallbacks callbacks_;
  TUnitView view_;
  // Owned by the session's thread once the session runs.
  bool connected_ = false;
  bool finished_ = false;
  TUnitEventFeed feed_;
  std::unique_ptr<jobs::TProgrammingSession> session_;
};

}  // namespace kvm::station
