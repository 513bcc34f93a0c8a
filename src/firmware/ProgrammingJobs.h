// Programming jobs: the Program button, the frame of one job per target (file
// checks, busy state, container handling, elapsed time, result lamp) and the
// programming flow from the enable command to the checksum comparison.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "app/core/AppState.h"
#include "app/core/JobView.h"
#include "app/core/MessagePump.h"
#include "app/core/StatusOps.h"
#include "app/core/TickTimer.h"

namespace kvm::protocol {
class TProgrammerProtocol;
}

namespace kvm::firmware {

// Results of a job besides those passed on from the commands, the block write
// and the file operations.
inline constexpr std::int32_t JobEmptyName = -1;
inline constexpr std::int32_t JobFileMissing = -2;
inline constexpr std::int32_t JobIncompatibleChip = -1;
inline constexpr std::int32_t JobChecksumMismatch = -10;
inline constexpr std::int32_t JobUserBreak = -99;

// The chip ID a target must report, or -1 for a code no chip answers to.
std::int32_t ChipIdRule(int targetCode);

// Elapsed time for status panel 0: "07", "59", "1:00", "75:30".
std::string ElapsedTimeText(std::uint32_t seconds);

// Milliseconds of a steady clock, wrapping like GetTickCount.
std::uint32_t SteadyTickCount();

class TProgrammingJobs {
 public:
  using TTickCount = std::function<std::uint32_t()>;

  TProgrammingJobs(IStatusOps& status, IJobView& view, TAppState& state, protocol::TProgrammerProtocol& protocol,
                   IMessagePump& pump, int tickMs = 1000, TTickCount tickCount = SteadyTickCount);
  TProgrammingJobs(const TProgrammingJobs&) = delete;
  TProgrammingJobs& operator=(const TProgrammingJobs&) = delete;

  // The Program button and the automatic start: the USB host job, then the
  // OSD job, for the ticked targets. Ignored while a job is already running.
  void InProgButtonClick();
  std::int32_t RunProgramJob(TTarget lamp, const std::string& name, int targetCode);
  std::int32_t ProgramFile(std::uint8_t targetCode, const std::string& file);
  void LogFileName(const std::string& name);
  void Timer1Timer();

  // Forgets the last file name and its repeat count (start-up).
  void ResetJobMemory();

  const std::string& LastFileName() const { return lastFileName_; }
  std::int32_t FileRepeatCount() const { return fileRepeatCount_; }
  bool IsRunning() const { return running_; }
  const TTickTimer& Timer1() const { return timer1_; }

 private:
  void RunTarget(TTarget target, const char* historyLine);
  std::int32_t RunContainerJob(int targetCode, const std::string& name);
  std::int32_t RefuseFile(int imageResult);
  void ReportFailure(const std::string& text, std::int32_t code);
  void DisableAfterFailure();
  void DisableAfterReport();
  void EnterBusy(TTarget lamp);
  void LeaveBusy();

  IStatusOps& status_;
  IJobView& view_;
  TAppState& state_;
  protocol::TProgrammerProtocol& protocol_;
  IMessagePump& pump_;
  TTickCount tickCount_;
  TTickTimer timer1_;

  std::uint32_t jobStartTick_ = 0;
  std::string lastFileName_;
  std::int32_t fileRepeatCount_ = 0;
  bool running_ = false;
};

}  // namespace kvm::firmware
