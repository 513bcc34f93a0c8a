// kvmflash-cli station: programs every KVM programmer plugged in, each as a
// unit of its own, all at once, with an event stream and a traceability log.
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <QJsonObject>
#include <QRegularExpression>
#include <QString>
#include <cstdio>
#include <memory>

#include "cli/CommandSupport.h"
#include "cli/Commands.h"
#include "cli/ExitCodes.h"
#include "cli/InterruptSignal.h"
#include "cli/StationScreen.h"
#include "cli/TickPeriod.h"
#include "station/StationSetup.h"
#include "station/UnitIdentity.h"

namespace kvm::cli {

namespace {

struct TStationOptions {
  station::TStationPlan Plan;
  std::string RecipeFile;
  std::string SaveRecipe;
  bool ReplaceRecipe = false;
};

// A USB port as the system names it. Linux: bus, then the port chain ("1-4",
// "1-2.3"); a programmer without a USB parent goes by its node. Windows: the
// location Device Manager shows ("Port_#0003.Hub_#0001"), or the device path
// where the system gives none.
CLI::Validator UsbPortForm() {
  return CLI::Validator(
      [](const std::string& text) -> std::string {
#ifdef _WIN32
        if (!text.empty()) return {};
        return "a port is written as Device Manager's location shows it, as in Port_#0003.Hub_#0001";
#else
        static const QRegularExpression port("^[0-9]+-[0-9]+(\\.[0-9]+)*$");
        if (port.match(QString::fromStdString(text)).hasMatch() || text.rfind("/dev/", 0) == 0) return {};
        return "'" + text + "' is not a USB port; a port is written BUS-PORT[.PORT...], as in 1-4 or 1-2.3";
#endif
      },
      "PORT");
}

// The operator's screen starts with the files every unit gets.
std::vector<std::string> FileLines(const std::vector<station::TFirmwareFile>& files) {
  std::vector<std::string> lines;
  for (const station::TFirmwareFile& file : files) {
    char checksum[16];
    std::snprintf(checksum, sizeof checksum, "0x%04X", static_cast<unsigned>(file.CheckSum) & 0xFFFFu);
    lines.push_back(std::string(TargetName(file.Target)) + " firmware: " +
                    PrintableText(file.Path) + ", " + std::to_string(file.FileSize) + " bytes, checksum " + checksum);
  }
  return lines;
}

// --save-recipe: the files are checked as a run would take them, then the
// recipe is written and nothing is programmed.
int SaveRecipe(const TStationOptions& options, const std::vector<station::TFirmwareFile>& files) {
  const station::TStationPlan& plan = options.Plan;
  const station::TRecipe recipe = station::MakeRecipe(files, plan.LogFile, plan.EventsFile, plan.Ports, plan.Serials);
  std::vector<std::string> inputs{plan.LogFile, plan.EventsFile};
  for (const station::TFirmwareFile& file : files) inputs.push_back(file.Path);
  if (!options.RecipeFile.empty()) inputs.push_back(options.RecipeFile);
  std::string error;
  if (!station::WriteRecipe(options.SaveRecipe, recipe, options.ReplaceRecipe, inputs, error)) {
    PrintError(error);
    return ExitFailed;
  }
  std::printf("Recipe written to %s\n", options.SaveRecipe.c_str());
  return ExitOk;
}

int RunStation(TStationOptions options) {
  std::string error;
  if (!options.RecipeFile.empty()) {
    station::TRecipe recipe;
    if (!station::ReadRecipe(options.RecipeFile, recipe, error)) {
      PrintError(error);
      return ExitFailed;
    }
    station::TStationPlan& plan = options.Plan;
    plan.UsbHostFile = recipe.FileFor(TTarget::UsbHost) ? recipe.FileFor(TTarget::UsbHost)->Path : std::string();
    plan.OsdFile = recipe.FileFor(TTarget::Osd) ? recipe.FileFor(TTarget::Osd)->Path : std::string();
    plan.LogFile = recipe.LogFile;
    plan.EventsFile = recipe.EventsFile;
    plan.Ports = recipe.Ports;
    plan.Serials = recipe.Serials;
    plan.Recipe = std::move(recipe);
  }
  options.Plan.TickMs = TickPeriodMs();

  station::TStationSetup setup;
  if (!options.SaveRecipe.empty()) {
    // Only the files are checked: the outputs are not opened for a recipe.
    station::TStationPlan filesOnly = options.Plan;
    filesOnly.LogFile.clear();
    filesOnly.EventsFile.clear();
    filesOnly.RecordFolder.clear();
    if (!setup.Prepare(filesOnly, {}, error)) {
      PrintError(error);
      return ExitFailed;
    }
    return SaveRecipe(options, setup.Files());
  }
  if (const std::string problem = EventsAndLogProblem(options.Plan.EventsFile, options.Plan.LogFile);
      !problem.empty()) {
    PrintError(problem);
    return ExitFailed;
  }
  if (!setup.Prepare(options.Plan, station::NativeMachine(), error)) {
    PrintError(error);
    return ExitFailed;
  }
  TStationScreen screen(!setup.EventsOnStdout(), STDERR_FILENO);
  if (screen.Active()) {
    screen.ShowLines(FileLines(setup.Files()));
    // The operator's screen follows each unit from its arrival to its end.
    setup.TapEvents([&screen](const QJsonObject& event) {
      const QString name = event["event"].toString();
      if (name != "unit-arrived" && name != "unit-finished") return;
      station::TUnitIdentity unit;
      unit.Port = event["unit"]["port"].toString().toStdString();
      unit.Serial = event["unit"]["serial"].toString().toStdString();
      const std::string prefix = PrintableText(unit.Prefix());
      if (name == "unit-arrived")
        screen.UnitArrived(prefix);
      else
        screen.UnitFinished(prefix, event["ok"].toBool(), PrintableText(event["reason"].toString().toStdString()));
    });
  }

  station::TStationOutput output;
  // A file name or serial number cannot forge a line.
  output.PrintLine = [&screen](const std::string& line) { screen.PrintLine(PrintableText(line)); };
  output.PrintError = [&screen](const std::string& message) { screen.PrintError(PrintableText(message)); };
  output.Progress = [&screen](const std::string& prefix, const station::TUnitProgress& unit) {
    screen.UpdateProgress(PrintableText(prefix), {unit.Position, unit.Maximum, {}, unit.Status});
  };
  output.ProgressDone = [&screen](const std::string& prefix) { screen.RemoveProgress(PrintableText(prefix)); };

  station::TStation& station = setup.MakeStation(std::move(output));
  TInterruptSignal interrupt;
  for (const std::string& file : setup.IntermediateFiles(TInterruptSignal::MaxLeftoverFiles))
    interrupt.AddLeftoverFile(file);
  interrupt.OnInterrupt = [&] {
    const int running = station.RunningUnitCount();
    if (running == 0)
      screen.PrintError("interrupted: no unit is running; no new unit starts and the run ends");
    else
      screen.PrintError("interrupted: stopping the " +
                        (running == 1 ? std::string("running unit") : std::to_string(running) + " running units") +
                        " (press Ctrl-C again to stop waiting for them)");
    station.Interrupt();
  };
  interrupt.OnSecondInterrupt = [&] {
    screen.PrintError("interrupted again: ending the running units now (every record is still written; a third "
                      "Ctrl-C quits at once)");
    station.Hurry();
  };
  const int exitCode = station.Run();
  screen.HideProgress();
  return setup.Finish(exitCode, [](const std::string& message) { PrintError(message); });
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
      "\"[PORT SERIAL] \" and a summary line; on a terminal, standard error shows the firmware files, a line per finished unit (OK or the reason), a live line per running unit with its elapsed time and the tally (programmed, failed). "
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
      "carries the same status.\n\n"
      "Recipes: --save-recipe RECIPE writes the line's set-up to a JSON file (each firmware file with its size "
      "and SHA-256, the log and events paths, the filters) and exits; --recipe RECIPE starts with it, files "
      "locked: a file whose size or SHA-256 differs from the recipe is refused before any unit is programmed, "
      "naming the file and both hashes (exit status 1), and every traceability record carries the recipe's "
      "path and hashes. The window kvmflash-station RECIPE starts with the same recipe.");
  command->add_option("--usb-host", options->Plan.UsbHostFile, "Firmware file for the USB Host target")->option_text("FILE");
  command->add_option("--osd", options->Plan.OsdFile, "Firmware file for the OSD target")->option_text("FILE");
  command->add_option("--units", options->Plan.Units, "End after this many units have finished")
      ->check(NumberIn(1, 1000000))
      ->option_text("N");
  command->add_option("--idle-exit", options->Plan.IdleExitSeconds, "End after this many seconds with no unit running or settling (a finished unit left plugged in is idle)")
      ->check(SecondsIn(0.001, 7.0 * 24 * 3600))
      ->option_text("SECONDS");
  command->add_option("--port", options->Plan.Ports,
                      "Serve the programmer on this USB port, written BUS-PORT[.PORT...] as in 1-4 or 1-2.3 "
                      "(repeatable)")
      ->check(UsbPortForm())
      ->option_text("PORT");
  command->add_option("--serial", options->Plan.Serials,
                      "Serve the programmer with this serial number, in any letter case (repeatable)")
      ->option_text("SERIAL");
  command->add_option("--events", options->Plan.EventsFile, "Append the event stream (JSON Lines) to FILE; - for standard output. Unit events carry the unit's port, serial, node and arrival (counted from 1); a refused firmware file still gives station-started and station-finished (with \"refused\")")
      ->option_text("FILE");
  command->add_option("--log", options->Plan.LogFile, "Append one traceability record per finished unit to FILE (a file, not -)")
      ->option_text("FILE");
  command->add_option("--record", options->Plan.RecordFolder,
                      "Write each unit's exchanges with its programmer to a file of its own in FOLDER "
                      "(unit-PORT.jsonl; a unit plugged in again at the same port gets the next number; a file that holds no exchange is removed)")
      ->option_text("FOLDER");
  auto* recipe = command->add_option("--recipe", options->RecipeFile,
                                     "Take the firmware files, --log, --events, --port and --serial from the recipe "
                                     "RECIPE; a file whose size or SHA-256 differs from it is refused")
                     ->option_text("RECIPE");
  for (const char* locked : {"--usb-host", "--osd", "--log", "--events", "--port", "--serial"})
    recipe->excludes(command->get_option(locked));
  command->add_option("--save-recipe", options->SaveRecipe,
                      "Check the files, write the set-up (files with their size and SHA-256, --log, --events, "
                      "--port, --serial) to RECIPE and exit without programming; an existing RECIPE is refused "
                      "unless --replace-recipe is given")
      ->option_text("RECIPE");
  command->add_flag("--replace-recipe", options->ReplaceRecipe, "--save-recipe may replace an existing recipe file");
  command->callback([options, &action] {
    if (options->Plan.UsbHostFile.empty() && options->Plan.OsdFile.empty() && options->RecipeFile.empty())
      throw CLI::ValidationError("station: give a firmware file with --usb-host or --osd, or a --recipe");
    if (options->ReplaceRecipe && options->SaveRecipe.empty())
      throw CLI::ValidationError("station: --replace-recipe goes with --save-recipe");
    action = [options] { return RunStation(*options); };
  });
}

}  // namespace kvm::cli
