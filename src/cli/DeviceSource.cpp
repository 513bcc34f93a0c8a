#include "cli/DeviceSource.h"

#include "cli/CommandSupport.h"
#include "cli/ExitCodes.h"
#include "hid/platform/NativeHidPlatform.h"
#include "hid/record/RecordingHidPlatform.h"
#include "hid/record/RecordingWriter.h"
#include "hid/record/ReplayHidPlatform.h"
#include "hid/record/ReplayReport.h"
#include "protocol/ReportNames.h"

namespace kvm::cli {

void AddDeviceSourceOptions(CLI::App& command, TDeviceSourceOptions& options) {
  CLI::Option* record =
      command
          .add_option("--record", options.RecordFile,
                      "Write what is exchanged with the programmer to FILE (a new file, removed again when the run ends before any exchange), to attach to a report")
          ->option_text("FILE");
  CLI::Option* replay = command
                            .add_option("--replay", options.ReplayFile,
                                        "Play a recording back instead of using the machine's devices")
                            ->option_text("FILE")
                            ->excludes(record);
  command.add_flag("--fast", options.Fast, "With --replay: every reply at once instead of with its recorded timing")
      ->needs(replay);
}

TDeviceSource::TDeviceSource() = default;
TDeviceSource::~TDeviceSource() = default;

bool TDeviceSource::Open(const TDeviceSourceOptions& options, std::string& error) {
  if (!options.ReplayFile.empty()) {
#ifdef _WIN32
    error = "--replay: replay is not available on this system";
    return false;
#else
    hid::record::TRecording recording;
    if (!hid::record::ReadRecordingFile(options.ReplayFile, recording, error)) return false;
    replay_ = std::make_shared<hid::record::TReplayHidPlatform>(std::move(recording), options.Fast);
    platform_ = replay_;
    return true;
#endif
  }
  platform_ = hid::platform::MakeNativeHidPlatform();
  if (options.RecordFile.empty()) return true;
  writer_ = hid::record::TRecordingWriter::ToFile(options.RecordFile, options.Firmware, error);
  if (!writer_) {
    error = "--record: " + error;
    return false;
  }
  writer_->OnRemoved = [](const std::string& message) { PrintError("--record: " + message); };
  platform_ = std::make_shared<hid::record::TRecordingHidPlatform>(platform_, writer_);
  return true;
}

int TDeviceSource::Finish(int exitCode) {
  platform_.reset();
#ifndef _WIN32
  if (replay_) {
    if (const auto stop = replay_->Stop()) {
      PrintError(hid::record::ReplayStopText(*stop, protocol::ReportStepName));
      return ExitFailed;
    }
    const std::vector<std::string> unfinished = replay_->Unfinished();
    for (const std::string& device : unfinished) PrintError("replay ended early: " + device);
    if (!unfinished.empty() && exitCode == ExitOk) return ExitFailed;
  }
#endif
  if (writer_) {
    std::string error;
    if (!writer_->Finish(error)) {
      PrintError("--record: " + error);
      if (exitCode == ExitOk) return ExitFailed;
    }
  }
  return exitCode;
}

}  // namespace kvm::cli
