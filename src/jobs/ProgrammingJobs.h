// Programming jobs: the Program button, the frame of one job per target (file
// checks, busy state, container handling, elapsed time, result lamp) and the
// programming flow from the enable command to the checksum comparison.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "core/ProgrammerState.h"
#include "core/JobView.h"
#include "core/WindowControls.h"
#include "core/MessagePump.h"
#include "core/StatusSink.h"
#include "core/TickTimer.h"

namespace kvm::protocol {
class TProgrammerProtocol;
}

namespace kvm::firmware {
class TBlockReader;
}

namespace kvm::jobs {

// Results of a job besides those passed on from the commands, the block write
// and the file operations.
inline constexpr std::int32_t JobEmptyName = -1;
inline constexpr std::int32_t JobFileMissing = -2;
inline constexpr std::int32_t JobIncompatibleChip = -1;
inline constexpr std::int32_t JobChecksumMismatch = -10;
inline constexpr std::int32_t JobUserBreak = -99;
inline constexpr std::int32_t JobProgrammerInUse = -98;  // another program has connected the programmer

// What a front end without target boxes asks for: the targets to program,
// in the order given, each with its file.
struct TJobTarget {
  TTarget Target = TTarget::UsbHost;
  std::string File;
};
struct TJobRequest {
  std::vector<TJobTarget> Targets;
};

// The result of each target a request named, in its order (a target skipped
// after a break keeps JobUserBreak).
struct TJobOutcome {
  TTarget Target = TTarget::UsbHost;
  std::int32_t Result = 0;
};

// The chip ID a target must report, or -1 for a code no chip answers to.
std::int32_t ChipIdRule(int targetCode);

// Elapsed time for status panel 0: "07", "59", "1:00", "75:30".
std::string ElapsedTimeText(std::uint32_t seconds);

// Milliseconds of a steady clock, wrapping like GetTickCount.
std::uint32_t SteadyTickCount();

class TProgrammingJobs {
 public:
  using TTickCount = std::function<std::uint32_t()>;

  TProgrammingJobs(IStatusSink& status, IWindowControls& layout, IJobView& view, TProgrammerState& state,
                   protocol::TProgrammerProtocol& protocol, IMessagePump& pump, int tickMs = 1000,
                   TTickCount tickCount = SteadyTickCount);
  TProgrammingJobs(const TProgrammingJobs&) = delete;
  // The intermediate file of container jobs; empty (the default): the one
  // file of the window, firmware::IntermediateFile().
  void SetIntermediateFile(std::string path) { intermediateFile_ = std::move(path); }
  // Where the warning about a plain image that starts like a container goes:
  // unset (the window), a red report in the log; a front end whose operator
  // has already asked for it as it is may put it apart from the log.
  void SetLookalikeWarning(std::function<void(const std::string&)> warn) { lookalikeWarning_ = std::move(warn); }
  TProgrammingJobs& operator=(const TProgrammingJobs&) = delete;

  // The Program button and the automatic start: the USB host job, then the
  // OSD job, for the ticked targets. Ignored while a job is already running.
  void InProgButtonClick();
  // The same for the targets and files of a request instead of the view's
  // ticked boxes. Empty (nothing run) while a job is already running.
  std::vector<TJobOutcome> Run(const TJobRequest& request);
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
  // Runs a target's job unless the request was broken off; its result.
  std::int32_t RunTarget(TTarget target, const std::string& name);
  std::int32_t RunContainerJob(int targetCode, const std::string& name);
  std::int32_t RefuseFile(int imageResult);
  // The steps of ProgramFile, each 0 or the result its exit ends the job with:
  // enable, initialise, chip ID and its rule; the blocks; the checksum and
  // the disable command.
  std::int32_t PrepareProgrammer(std::uint8_t targetCode);
  std::int32_t SendBlocks(std::uint8_t targetCode, firmware::TBlockReader& reader);
  std::int32_t VerifyAndDisable(std::uint8_t targetCode, int fileSum);
  void ReportFailure(const std::string& text, std::int32_t code);
  void DisableAfterFailure();
  void DisableAfterReport();
  void EnterBusy(TTarget lamp);
  void LeaveBusy();

  IStatusSink& status_;
  IWindowControls& layout_;
  IJobView& view_;
  TProgrammerState& state_;
  protocol::TProgrammerProtocol& protocol_;
  IMessagePump& pump_;
  TTickCount tickCount_;
  TTickTimer timer1_;

  std::uint32_t jobStartTick_ = 0;
  std::string lastFileName_;
  std::int32_t fileRepeatCount_ = 0;
  bool running_ = false;
  std::string intermediateFile_;
  std::function<void(const std::string&)> lookalikeWarning_;
};

}  // namespace kvm::jobs
