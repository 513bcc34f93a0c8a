#include "station/StationSetup.h"

#include <QCoreApplication>
#include <QJsonArray>

#include "firmware/FirmwareImage.h"
#include "hid/platform/NativeHidPlatform.h"
#include "hid/record/RecordingHidPlatform.h"
#include "hid/record/RecordingWriter.h"

namespace kvm::station {

TStationMachine NativeMachine() {
  using hid::platform::MakeNativeHidPlatform;
#ifdef _WIN32
  return {MakeNativeHidPlatform(), nullptr};
#else
  return {MakeNativeHidPlatform(), [] { return MakeNativeHidPlatform(); }};
#endif
}

std::string UnitIntermediateFile(long pid, int slot) {
  const std::string window = firmware::IntermediateFile();
  return window.substr(0, window.rfind('.')) + "-" + std::to_string(pid) + "-" + std::to_string(slot) + ".d0s";
}

TStationSetup::TStationSetup() = default;

TStationSetup::~TStationSetup() {
  // The units end before the outputs they write to.
  station_.reset();
}

bool TStationSetup::Prepare(const TStationPlan& plan, TStationMachine machine, std::string& error) {
  machine_ = std::move(machine);
  std::vector<TFirmwareFile> files;
  for (const auto& [target, path] : {std::pair{TTarget::UsbHost, plan.UsbHostFile}, std::pair{TTarget::Osd, plan.OsdFile}}) {
    if (path.empty()) continue;
    TFirmwareFile file;
    if (!CheckFirmwareFile(target, path, file, error)) return RefuseFiles(plan, files, error);
    files.push_back(std::move(file));
  }
  if (files.empty()) {
    error = "no firmware file: give a USB Host or an OSD file";
    return false;
  }
  if (plan.Recipe) {
    error = RecipeMismatch(*plan.Recipe, files);
    if (!error.empty()) return RefuseFiles(plan, files, error);
    config_.RecordRecipe = RecipeRecordJson(*plan.Recipe);
  }
  for (const std::string& output : {plan.EventsFile, plan.LogFile}) {
    error = OutputIsFirmware(output, files);
    if (!error.empty()) return false;
    if (plan.Recipe) error = OutputIsInput(output, plan.Recipe->Path, "the recipe");
    if (!error.empty()) return false;
  }
  if (!plan.EventsFile.empty() && !events_.Open(plan.EventsFile, error)) {
    error = "--events: " + error;
    return false;
  }
  if (!plan.LogFile.empty() && !log_.Open(plan.LogFile, error)) {
    error = "--log: " + error;
    return false;
  }

  config_.Files = std::move(files);
  config_.Units = plan.Units;
  config_.IdleExitSeconds = plan.IdleExitSeconds;
  config_.Ports = plan.Ports;
  config_.Serials = plan.Serials;
  config_.Stack = jobs::TStackOptions::WithTick(plan.TickMs);
  config_.UnitPlatform = machine_.UnitPlatform;
  // Recordings: each unit's exchanges in a file of its own in the folder.
  if (!plan.RecordFolder.empty()) {
    std::vector<std::string> firmware;
    for (const TFirmwareFile& file : config_.Files) firmware.push_back(file.Path);
    recorder_ = hid::record::TRecordingWriter::ToFolder(plan.RecordFolder, firmware, error);
    if (!recorder_) {
      error = "--record: " + error;
      return false;
    }
    recorder_->OnRemoved = [this](const std::string& message) {
      if (recordNotice_) recordNotice_("--record: " + message);
    };
    auto platform = machine_.Platform;
    config_.UnitPlatform = [recorder = recorder_, platform, unitPlatform = machine_.UnitPlatform] {
      return std::make_shared<hid::record::TRecordingHidPlatform>(unitPlatform ? unitPlatform() : platform, recorder);
    };
    config_.FinishUnitPlatform = [](hid::platform::THidPlatform& platform, std::string& failure) {
      auto* recording = dynamic_cast<hid::record::TRecordingHidPlatform*>(&platform);
      return recording == nullptr || recording->FinishRecording(failure);
    };
  }
  const long pid = static_cast<long>(QCoreApplication::applicationPid());
  config_.IntermediateFile = [pid](int slot) { return UnitIntermediateFile(pid, slot); };
  return true;
}

bool TStationSetup::RefuseFiles(const TStationPlan& plan, const std::vector<TFirmwareFile>& accepted,
                                const std::string& refusal) {
  // The line controller reading the events learns of the refusal too, unless
  // the events path is one of the inputs (which is never appended to).
  if (plan.EventsFile.empty() || events_.IsOn()) return false;
  std::vector<TFirmwareFile> given;
  for (const std::string& path : {plan.UsbHostFile, plan.OsdFile}) {
    given.emplace_back();
    given.back().Path = path;
  }
  if (!OutputIsFirmware(plan.EventsFile, given).empty()) return false;
  if (plan.Recipe && !OutputIsInput(plan.EventsFile, plan.Recipe->Path, "the recipe").empty()) return false;
  std::string error;
  if (!events_.Open(plan.EventsFile, error)) return false;  // the refusal is what the caller reports
  events_.Emit("station-started", {{"files", FilesJson(accepted)}});
  events_.Emit("station-finished", {{"units_ok", 0},
                                    {"units_failed", 0},
                                    {"lost", QJsonArray()},
                                    {"refused", QString::fromStdString(refusal)},
                                    {"exit_code", 1}});
  return false;
}

std::vector<std::string> TStationSetup::IntermediateFiles(int count) const {
  std::vector<std::string> files;
  for (int slot = 0; slot < count; ++slot) files.push_back(config_.IntermediateFile(slot));
  return files;
}

TStation& TStationSetup::MakeStation(TStationOutput output) {
  recordNotice_ = output.PrintError;
  station_ = std::make_unique<TStation>(machine_.Platform, config_, events_, log_, std::move(output));
  return *station_;
}

int TStationSetup::Finish(int exitCode, const std::function<void(const std::string&)>& printError) {
  // Every unit's recording was finished when the unit ended; what is left
  // here is only what no unit finished.
  std::string error;
  if (recorder_ && !recorder_->Finish(error)) {
    if (printError) printError("--record: " + error);
    if (exitCode == 0) exitCode = 1;
  }
  return exitCode;
}

}  // namespace kvm::station
