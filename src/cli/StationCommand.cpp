// kvmflash-cli station: programs every KVM programmer plugged in, each as a
// unit of its own, all at once, with an event stream and a traceability log.
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <QRegularExpression>
#include <QString>
#include <memory>

#include "cli/CommandSupport.h"
#include "cli/Commands.h"
#include "cli/ExitCodes.h"
#include "cli/InterruptSignal.h"
#include "cli/StationScreen.h"
#include "cli/TickPeriod.h"
#include "firmware/FirmwareImage.h"
#include "jobs/ProgrammingJobs.h"
#include "hid/platform/linux/LinuxHidPlatform.h"
#include "hid/record/RecordingHidPlatform.h"
#include "hid/record/RecordingWriter.h"
#include "station/EventStream.h"
#include "station/Station.h"
#include "station/TraceLog.h"

namespace kvm::cli {

namespace {

struct TStationOptions {
  std::string UsbHostFile;
  std::string OsdFile;
  int Units = 0;
  double IdleExitSeconds = 0;
  std::vector<std::string> Ports;
  std::vector<std::string> Serials;
  std::string EventsFile;
  std::string LogFile;
  std::string RecordFolder;
};

// A USB port as the system names it: bus, then the port chain ("1-4",
// "1-2.3"); a programmer without a USB parent goes by its node.
CLI::Validator UsbPortForm() {
  return CLI::Validator(
      [](const std::string& text) -> std::string {
        static const QRegularExpression port("^[0-9]+-[0-9]+(\\.[0-9]+)*$");
        if (port.match(QString::fromStdString(text)).hasMatch() || text.rfind("/dev/", 0) == 0) return {};
        return "'" + text + "' is not a USB port; a port is written BUS-PORT[.PORT...], as in 1-4 or 1-2.3";
      },
      "PORT");
}

// Every file is checked once, before any programmer is touched.
bool CheckFiles(const TStationOptions& options, std::vector<station::TFirmwareFile>& files) {
  for (const auto& [target, path] : {std::pair{TTarget::UsbHost, options.UsbHostFile}, std::pair{TTarget::Osd, options.OsdFile}}) {
    if (path.empty()) continue;
    station::TFirmwareFile file;
    std::string error;
    if (!station::CheckFirmwareFile(target, path, file, error)) {
      PrintError(error);
      return false;
    }
    files.push_back(std::move(file));
  }
  return true;
}

// The units' sessions each bind hidraw and udev through a platform of their
// own: one udev context must not be used from several threads.
std::shared_ptr<hid::platform::THidPlatform> UnitPlatform() { return hid::platform::MakeLinuxHidPlatform(); }

// The intermediate file of the unit in `slot`, beside the window's own.
std::string UnitIntermediateFile(int slot) {
  const std::string window = firmware::IntermediateFile();
  return window.substr(0, window.rfind('.')) + "-" + std::to_string(::getpid()) + "-" + std::to_string(slot) + ".d0s";
}

int RunStation(const TStationOptions& options) {
  std::vector<station::TFirmwareFile> files;
  if (!CheckFiles(options, files)) return ExitFailed;

  station::TEventStream events;
  station::TTraceLog log;
  std::string error;
  if (const std::string problem = EventsAndLogProblem(options.EventsFile, options.LogFile); !problem.empty()) {
    PrintError(problem);
    return ExitFailed;
  }
  for (const std::string& output : {options.EventsFile, options.LogFile}) {
    error = station::OutputIsFirmware(output, files);
    if (!error.empty()) {
      PrintError(error);
      return ExitFailed;
    }
  }
  if (!options.EventsFile.empty() && !events.Open(options.EventsFile, error)) {
    PrintError("--events: " + error);
    return ExitFailed;
  }
  if (!options.LogFile.empty() && !log.Open(options.LogFile, error)) {
    PrintError("--log: " + error);
    return ExitFailed;
  }
  TStationScreen screen(!events.OnStdout(), STDERR_FILENO);

  station::TStationConfig config;
  config.Files = std::move(files);
  config.Units = options.Units;
  config.IdleExitSeconds = options.IdleExitSeconds;
  config.Ports = options.Ports;
  config.Serials = options.Serials;
  config.Stack = jobs::TStackOptions::WithTick(TickPeriodMs());
  config.UnitPlatform = UnitPlatform;
  // --record: each unit's exchanges in a file of its own in the folder.
  std::shared_ptr<hid::record::TRecordingWriter> recorder;
  if (!options.RecordFolder.empty()) {
    std::vector<std::string> firmware;
    for (const station::TFirmwareFile& file : config.Files) firmware.push_back(file.Path);
    recorder = hid::record::TRecordingWriter::ToFolder(options.RecordFolder, firmware, error);
    if (!recorder) {
      PrintError("--record: " + error);
      return ExitFailed;
    }
    config.UnitPlatform = [recorder] {
      return std::make_shared<hid::record::TRecordingHidPlatform>(UnitPlatform(), recorder);
    };
    config.FinishUnitPlatform = [](hid::platform::THidPlatform& platform, std::string& failure) {
      auto* recording = dynamic_cast<hid::record::TRecordingHidPlatform*>(&platform);
      return recording == nullptr || recording->FinishRecording(failure);
    };
  }
  config.IntermediateFile = UnitIntermediateFile;

  station::TStationOutput output;
  // A file name or serial number cannot forge a line.
  output.PrintLine = [&screen](const std::string& line) { screen.PrintLine(PrintableText(line)); };
  output.PrintError = [&screen](const std::string& message) { screen.PrintError(PrintableText(message)); };
  output.Progress = [&screen](const std::string& prefix, const station::TUnitProgress& unit) {
    screen.UpdateProgress(prefix, {unit.Position, unit.Maximum, jobs::ElapsedTimeText(unit.ElapsedMs / 1000), unit.Status});
  };
  output.ProgressDone = [&screen](const std::string& prefix) { screen.RemoveProgress(prefix); };

  station::TStation station(hid::platform::MakeLinuxHidPlatform(), std::move(config), events, log, std::move(output));
  TInterruptSignal interrupt;
  for (int slot = 0; slot < TInterruptSignal::MaxLeftoverFiles; ++slot)
    interrupt.AddLeftoverFile(UnitIntermediateFile(slot));
  interrupt.OnInterrupt = [&] {
    screen.PrintError("interrupted: stopping the running units (press Ctrl-C again to stop waiting for them)");
    station.Interrupt();
  };
  interrupt.OnSecondInterrupt = [&] {
    screen.PrintError("interrupted again: ending the running units now (every record is still written; a third "
                      "Ctrl-C quits at once)");
    station.Hurry();
  };
  int exitCode = station.Run();
  screen.HideProgress();
  // Every unit's recording was finished when the unit ended; what is left
  // here is only what no unit finished.
  if (recorder && !recorder->Finish(error)) {
    PrintError("--record: " + error);
    if (exitCode == ExitOk) exitCode = ExitFailed;
  }
  return exitCode;
}

}  // namespace

void AddStationCommand(CLI::App& app, TCommandAction& action) {
  auto options = std::make_shared<TStationOptions>();
  CLI::App* command =
      app.add_subcommand("station", "Program every KVM programmer plugged in, each as a unit, all at once");
  command->footer(
      "Every KVM programmer present at the start or plugged in later becomes a unit: after the window's "
      "three-tick countdown its own session connects and runs the USB Host job, then the OSD job. Units run in "
      "parallel and are programmed once per arrival. Standard output receives each unit's history log behind "
      "\"[PORT SERIAL] \" and a summary line; on a terminal, standard error shows one live line per running unit. "
      "The run ends on Ctrl-C, SIGTERM or SIGHUP (running units get Break), after --units units, or after "
      "--idle-exit seconds without a unit running or settling. With --port or --serial, a unit that matches any "
      "one of them is served. A second signal ends the running units at once (no reply is waited for any "
      "longer); every unit served still gets its record, saying at which block it was interrupted, the events "
      "still end with unit-finished and station-finished, and the exit status is 4. A third signal quits at "
      "once.\n\n"
      "An output that cannot be written (a --log record, an --events line, a --record file) ends the run: it is "
      "named on standard error, no new unit starts, the running units finish, the summary and the "
      "station-finished event (\"lost\") name every output lost, and the exit status is 1. Each unit's --record "
      "file is complete and on the disk when the unit ends.\n\n"
      "Exit status: 0 every finished unit succeeded, 1 a unit failed, an output was lost or a file was refused, 2 "
      "usage error, 3 no unit was served, 4 interrupted while a unit was running. The station-finished event "
      "carries the same status.");
  command->add_option("--usb-host", options->UsbHostFile, "Firmware file for the USB Host target")->option_text("FILE");
  command->add_option("--osd", options->OsdFile, "Firmware file for the OSD target")->option_text("FILE");
  command->add_option("--units", options->Units, "End after this many units have finished")
      ->check(NumberIn(1, 1000000))
      ->option_text("N");
  command->add_option("--idle-exit", options->IdleExitSeconds, "End after this many seconds with no unit running or settling (a finished unit left plugged in is idle)")
      ->check(SecondsIn(0.001, 7.0 * 24 * 3600))
      ->option_text("SECONDS");
  command->add_option("--port", options->Ports,
                      "Serve the programmer on this USB port, written BUS-PORT[.PORT...] as in 1-4 or 1-2.3 "
                      "(repeatable)")
      ->check(UsbPortForm())
      ->option_text("PORT");
  command->add_option("--serial", options->Serials,
                      "Serve the programmer with this serial number, in any letter case (repeatable)")
      ->option_text("SERIAL");
  command->add_option("--events", options->EventsFile, "Append the event stream (JSON Lines) to FILE; - for standard output")
      ->option_text("FILE");
  command->add_option("--log", options->LogFile, "Append one traceability record per finished unit to FILE (a file, not -)")
      ->option_text("FILE");
  command->add_option("--record", options->RecordFolder,
                      "Write each unit's exchanges with its programmer to a file of its own in FOLDER "
                      "(unit-PORT.jsonl; a unit plugged in again at the same port gets the next number)")
      ->option_text("FOLDER");
  command->callback([options, &action] {
    if (options->UsbHostFile.empty() && options->OsdFile.empty())
      throw CLI::ValidationError("station: give a firmware file with --usb-host or --osd");
    action = [options] { return RunStation(*options); };
  });
}

}  // namespace kvm::cli
