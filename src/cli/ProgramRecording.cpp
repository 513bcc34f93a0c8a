#include "cli/ProgramRecording.h"

#include "cli/CommandSupport.h"
#include "cli/ExitCodes.h"
#include "hid/HidDevice.h"
#include "hid/platform/HidPlatform.h"

namespace kvm::cli {

TProgramRecording::TProgramRecording(IStatusSink& terminal)
    : sink_(terminal, [this](const jobs::TSessionEvent& event) { OnEvent(event); }) {}

TProgramRecording::~TProgramRecording() = default;

bool TProgramRecording::Open(const std::string& usbHostFile, const std::string& osdFile,
                             const std::string& eventsPath, const std::string& logPath,
                             const std::string& replayFile, std::string& error) {
  if (eventsPath.empty() && logPath.empty()) return true;
  for (const auto& [target, path] : {std::pair{TTarget::UsbHost, usbHostFile}, std::pair{TTarget::Osd, osdFile}}) {
    if (path.empty()) continue;
    station::TFirmwareFile file;
    if (!station::CheckFirmwareFile(target, path, file, error)) return false;
    files_.push_back(std::move(file));
  }
  for (const std::string& output : {eventsPath, logPath}) {
    error = station::OutputIsFirmware(output, files_);
    if (error.empty()) error = station::OutputIsInput(output, replayFile, "the recording being replayed");
    if (!error.empty()) return false;
  }
  if (!eventsPath.empty() && !events_.Open(eventsPath, error)) {
    error = "--events: " + error;
    return false;
  }
  if (!logPath.empty() && !log_.Open(logPath, error)) {
    error = "--log: " + error;
    return false;
  }
  events_.OnError = [this](const std::string& message) {
    eventsLost_ = true;
    PrintError("events lost: " + message);
  };
  on_ = true;
  return true;
}

void TProgramRecording::Start() {
  events_.Emit("station-started", {{"files", station::FilesJson(files_)}});
}

void TProgramRecording::Connected(hid::platform::THidPlatform& platform, const TProgrammerState& state) {
  if (!on_ || recorder_ || state.ProgrammerDevice == nullptr) return;
  hid::THidDevice& device = *state.ProgrammerDevice;
  station::TUnitIdentity unit;
  unit.Node = device.PnPInfo().DevicePath;
  unit.Serial = hid::ToText(device.GetSerialNumber());
  unit.Port = unit.Node;
  for (const hid::platform::THidInterface& found : platform.ScanInterfaces())
    if (found.DevicePath == unit.Node) unit.Port = found.PortPath;
  // Standard output already has the lines; only the events want them.
  recorder_ = std::make_unique<station::TUnitRecorder>(unit, files_, events_, log_, nullptr);
  feed_ = std::make_unique<station::TUnitEventFeed>(*recorder_, nullptr);
  recorder_->Arrived();
  for (const jobs::TSessionEvent& event : early_) feed_->Feed(event);
  early_.clear();
  recorder_->Connected();
}

void TProgramRecording::OnEvent(const jobs::TSessionEvent& event) {
  if (!on_) return;
  if (feed_) {
    feed_->Feed(event);
  } else if (event.Kind == jobs::TSessionEventKind::LogLine) {
    early_.push_back(event);
  }
}

void TProgramRecording::Interrupted() {
  if (recorder_) recorder_->Interrupted();
}

int TProgramRecording::Finish(int exitCode, bool interrupted) {
  if (!on_) return exitCode;
  int ok = 0, failed = 0;
  if (recorder_) {
    const bool ranJobs = !recorder_->Results().empty();
    // The record of a job cut short says where the interrupt found it.
    if (interrupted) recorder_->Interrupted();
    std::string recordError;
    const bool succeeded =
        recorder_->Finish(interrupted && !ranJobs ? "the run was interrupted before it was programmed" : "", recordError);
    ++(succeeded ? ok : failed);
    if (!recordError.empty()) {
      PrintError("traceability record lost: " + recordError);
      if (exitCode == ExitOk) exitCode = ExitFailed;
    }
  }
  // A failed output fails the run, and the last event says so too.
  if (eventsLost_ && exitCode == ExitOk) exitCode = ExitFailed;
  events_.Emit("station-finished", {{"units_ok", ok}, {"units_failed", failed}, {"exit_code", exitCode}});
  return exitCode;
}

}  // namespace kvm::cli
