#include "jobs/ProgrammingJobs.h"

#include <array>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "firmware/ContainerLookalike.h"
#include "firmware/FirmwareImage.h"
#include "hid/HidDevice.h"
#include "link/AccessHint.h"
#include "protocol/ProgrammerProtocol.h"

namespace kvm::jobs {

using namespace firmware;

namespace {

std::string Hex4(std::int32_t value) {
  char text[8];
  std::snprintf(text, sizeof text, "%04X", static_cast<unsigned>(value) & 0xFFFFu);
  return text;
}

bool FileExists(const std::string& name) {
  std::error_code error;
  const auto status = std::filesystem::status(name, error);
  return !error && std::filesystem::exists(status) && !std::filesystem::is_directory(status);
}

// Clears a flag when the scope ends, whichever way it ends.
class TRunningFlag {
 public:
  explicit TRunningFlag(bool& flag) : flag_(flag) { flag_ = true; }
  ~TRunningFlag() { flag_ = false; }
  TRunningFlag(const TRunningFlag&) = delete;
  TRunningFlag& operator=(const TRunningFlag&) = delete;

 private:
  bool& flag_;
};

}  // namespace

std::int32_t ChipIdRule(int targetCode) {
  switch (targetCode) {
    case TargetCode(TTarget::UsbHost): return wire::UsbHostChipID;
    case TargetCode(TTarget::Osd): return wire::OsdChipID;
    default: return -1;
  }
}

std::string ElapsedTimeText(std::uint32_t seconds) {
  char text[24];
  const std::uint32_t minutes = seconds / 60;
  if (minutes > 0)
    std::snprintf(text, sizeof text, "%u:%02u", static_cast<unsigned>(minutes), static_cast<unsigned>(seconds % 60));
  else
    std::snprintf(text, sizeof text, "%02u", static_cast<unsigned>(seconds % 60));
  return text;
}

std::uint32_t SteadyTickCount() {
  const auto now = std::chrono::steady_clock::now().time_since_epoch();
  return static_cast<std::uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

TProgrammingJobs::TProgrammingJobs(IStatusSink& status, IWindowControls& layout, IJobView& view, TProgrammerState& state,
                                   protocol::TProgrammerProtocol& protocol, IMessagePump& pump, int tickMs,
                                   TTickCount tickCount)
    : status_(status),
      layout_(layout),
      view_(view),
      state_(state),
      protocol_(protocol),
      pump_(pump),
      tickCount_(tickCount ? std::move(tickCount) : TTickCount(SteadyTickCount)),
      timer1_(tickMs) {
  timer1_.OnTimer = [this] { Timer1Timer(); };
}

void TProgrammingJobs::ResetJobMemory() {
  fileRepeatCount_ = 0;
  lastFileName_.clear();
}

void TProgrammingJobs::InProgButtonClick() {
  // The automatic start can come from a connection made while a job waits;
  // a second job inside the first would interleave two block sequences.
  if (running_) return;
  TRunningFlag running(running_);
  // A break is cleared only when a job starts: one still set when the USB
  // Host side returns without a job skips the OSD job.

  view_.SetTargetLamp(TTarget::UsbHost, TLampPicture::Gray);
  view_.SetTargetLamp(TTarget::Osd, TLampPicture::Gray);
  // Each box and file name is read when its target's turn comes.
  if (view_.IsTargetChecked(TTarget::UsbHost)) RunTarget(TTarget::UsbHost, view_.TargetFileName(TTarget::UsbHost));
  if (!state_.UserBreak && view_.IsTargetChecked(TTarget::Osd))
    RunTarget(TTarget::Osd, view_.TargetFileName(TTarget::Osd));
  layout_.EnableProgramButtons();
}

std::vector<TJobOutcome> TProgrammingJobs::Run(const TJobRequest& request) {
  std::vector<TJobOutcome> outcomes;
  if (running_) return outcomes;
  TRunningFlag running(running_);
  state_.UserBreak = false;

  for (const TJobTarget& target : request.Targets) view_.SetTargetLamp(target.Target, TLampPicture::Gray);
  for (const TJobTarget& target : request.Targets) {
    // A break stops the request: the targets after it are not started.
    const std::int32_t result = state_.UserBreak ? JobUserBreak : RunTarget(target.Target, target.File);
    outcomes.push_back({target.Target, result});
  }
  layout_.EnableProgramButtons();
  return outcomes;
}

std::int32_t TProgrammingJobs::RunTarget(TTarget target, const std::string& name) {
  status_.LogBlank();
  status_.LogLine(target == TTarget::UsbHost ? "Target : USB Host" : "Target : OSD");
  LogFileName(name);
  status_.JobStarted(target, name);
  const std::int32_t result = RunProgramJob(target, name, TargetCode(target));
  if (result == 0) view_.SortFileList(target);
  status_.JobEnded(target, result, status_.GetStatusText());
  return result;
}

void TProgrammingJobs::LogFileName(const std::string& name) {
  std::string line = "File : " + name;
  if (name == lastFileName_) {
    ++fileRepeatCount_;
    line += " #" + std::to_string(fileRepeatCount_ + 1);
  } else {
    fileRepeatCount_ = 0;
  }
  lastFileName_ = name;
  status_.LogLine(line);
}

void TProgrammingJobs::Timer1Timer() {
  const std::uint32_t elapsedMs = tickCount_() - jobStartTick_;  // wraps like GetTickCount
  layout_.SetStatusPanel(0, ElapsedTimeText(elapsedMs / 1000));
}

void TProgrammingJobs::EnterBusy(TTarget lamp) {
  layout_.DisableProgramButtons();
  view_.SetBreakVisible(true);
  jobStartTick_ = tickCount_();
  timer1_.SetEnabled(true);
  state_.UserBreak = false;
  view_.SetTargetLamp(lamp, TLampPicture::BlueBall);
}

void TProgrammingJobs::LeaveBusy() {
  view_.SetBreakVisible(false);
  timer1_.SetEnabled(false);
  // The panel keeps the job's own time, also for a job shorter than one tick.
  Timer1Timer();
  layout_.EnableProgramButtons();
}

std::int32_t TProgrammingJobs::RunProgramJob(TTarget lamp, const std::string& name, int targetCode) {
  view_.SetTargetLamp(lamp, TLampPicture::Gray);
  if (name.empty()) return JobEmptyName;
  if (!FileExists(name)) {
    status_.LogLine("File does not exist.");
    return JobFileMissing;
  }

  // Programmed as it is, as the name says, but not without a word.
  if (IsContainerLookalike(targetCode, name)) {
    const std::string warning = ContainerLookalikeWarning(targetCode, name);
    if (lookalikeWarning_)
      lookalikeWarning_(warning);
    else
      status_.ReportStatus(warning, Red);
  }
  EnterBusy(lamp);
  const std::int32_t result = IsContainerName(name)
                                  ? RunContainerJob(targetCode, name)
                                  : ProgramFile(static_cast<std::uint8_t>(targetCode), name);
  LeaveBusy();
  view_.SetTargetLamp(lamp, result == 0 ? TLampPicture::Green : TLampPicture::Red);
  return result;
}

std::int32_t TProgrammingJobs::RunContainerJob(int targetCode, const std::string& name) {
  const std::string intermediate = intermediateFile_.empty() ? IntermediateFile() : intermediateFile_;
  const int unscrambled = UnscrambleContainer(targetCode, name, intermediate);
  if (unscrambled != ImageOk) return RefuseFile(unscrambled);

  const std::int32_t result = ProgramFile(static_cast<std::uint8_t>(targetCode), intermediate);
  std::error_code error;
  if (!std::filesystem::remove(intermediate, error) && error)
    status_.LogLine("Cannot delete " + intermediate + ": " + error.message());
  return result;
}

std::int32_t TProgrammingJobs::RefuseFile(int imageResult) {
  // The file and the system's reason go to the log; the verdict stays last.
  if (const std::string detail = LastImageErrorDetail(); !detail.empty()) status_.LogLine(detail);
  status_.ReportStatus(ImageResultText(imageResult), Red);
  return imageResult;
}

void TProgrammingJobs::ReportFailure(const std::string& text, std::int32_t code) {
  status_.ReportStatus(text + std::to_string(code), Red);
}

void TProgrammingJobs::DisableAfterFailure() {
  protocol_.DisableProgrammer();
  protocol_.WaitTimer().SetEnabled(false);
}

void TProgrammingJobs::DisableAfterReport() {
  protocol_.DisableProgrammer();
  // A confirmed disable turns the status line blue; the failure just
  // reported must not read as a success.
  status_.SetStatusColour(Red);
}

std::int32_t TProgrammingJobs::ProgramFile(std::uint8_t targetCode, const std::string& file) {
  // Everything that can refuse the file is checked before the programmer is
  // touched: its checksum, its length and the block sequence.
  const int fileSum = FileCheckSum(file);
  if (fileSum < 0) return RefuseFile(fileSum);
  TBlockReader reader;
  if (const int opened = reader.Open(file); opened != ImageOk) return RefuseFile(opened);

  // A programmer that another program has connected gets nothing from us:
  // our reports would land in the middle of its job.
  if (state_.ProgrammerDevice != nullptr && !state_.ProgrammerDevice->InUseText().empty()) {
    status_.ReportStatus(link::UnusableText(*state_.ProgrammerDevice), Red);
    return JobProgrammerInUse;
  }
  if (const std::int32_t prepared = PrepareProgrammer(targetCode); prepared != 0) return prepared;
  if (const std::int32_t sent = SendBlocks(targetCode, reader); sent != 0) return sent;
  reader.Close();
  return VerifyAndDisable(targetCode, fileSum);
}

std::int32_t TProgrammingJobs::PrepareProgrammer(std::uint8_t targetCode) {
  std::int32_t code = protocol_.EnableProgrammer();
  if (code != 0) {
    ReportFailure("Enable Programmer failed : ", code);
    return code;
  }
  code = protocol_.InitProgrammer(targetCode);
  if (code != 0) {
    ReportFailure("Initial Programmer failed : ", code);
    DisableAfterReport();
    return code;
  }
  std::int32_t chipId = 0;
  code = protocol_.GetChipID(targetCode, chipId);
  if (code != 0) {
    DisableAfterFailure();
    ReportFailure("Get chip ID failed : ", code);
    return code;
  }
  if (chipId != ChipIdRule(targetCode)) {
    DisableAfterFailure();
    status_.ReportStatus("Incompatible Chip ID: " + Hex4(chipId), Red);
    return JobIncompatibleChip;
  }
  return 0;
}

std::int32_t TProgrammingJobs::SendBlocks(std::uint8_t targetCode, TBlockReader& reader) {
  const TBlockSequence& sequence = reader.Sequence();
  status_.SetProgress(0, static_cast<int>(sequence.BlockCount()));
  status_.ShowStatus("Programming...", Green);
  status_.LogLine("Programming...");

  std::array<std::uint8_t, 64> block{};
  auto sendNextBlock = [&](std::int64_t blockNumber) -> std::int32_t {
    int count = 0;
    if (const int read = reader.ReadNextBlock(block, count); read != ImageOk) {
      // The chip holds part of an image now; leave the programmer switched off.
      RefuseFile(read);
      DisableAfterReport();
      return read;
    }
    return protocol_.ProgramBlock(targetCode, static_cast<std::int32_t>(blockNumber), count, block);
  };

  for (std::int64_t i = 0; i < sequence.F; ++i) {
    if (state_.UserBreak) {
      status_.ReportStatus("User break", Green);
      return JobUserBreak;
    }
    if (const std::int32_t sent = sendNextBlock(i); sent != 0) return sent;
    status_.StepProgress();
    pump_.ProcessMessages();
  }
  // The shorter last block: no break test before it, no message pass after.
  if (sequence.R > 0) {
    if (const std::int32_t sent = sendNextBlock(sequence.F); sent != 0) return sent;
    status_.StepProgress();
  }
  return 0;
}

std::int32_t TProgrammingJobs::VerifyAndDisable(std::uint8_t targetCode, int fileSum) {
  std::int32_t chipSum = 0;
  std::int32_t code = protocol_.GetCheckSum(targetCode, chipSum);
  if (code != 0) {
    ReportFailure("Get check sum failed : ", code);
    DisableAfterReport();
    return code;
  }
  if (chipSum != fileSum) {
    status_.ReportStatus("Checksum mismatch, File=" + Hex4(fileSum) + ", Chip=" + Hex4(chipSum), Red);
    DisableAfterReport();
    return JobChecksumMismatch;
  }
  code = protocol_.DisableProgrammer();
  if (code != 0) {
    ReportFailure("Disable Programmer failed : ", code);
    return code;
  }
  status_.ReportStatus("Program OK", Blue);
  return 0;
}

}  // namespace kvm::jobs
