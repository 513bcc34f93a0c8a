// kvmflash-cli program: connects to the programmer the way the window does
// and runs the USB host and OSD jobs, with the log on standard output.
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <QJsonArray>
#include <QJsonObject>
#include <QTimer>
#include <cmath>
#include <cstdlib>
#include <memory>

#include "hid/platform/NativeHidPlatform.h"
#include "jobs/ProgrammerStack.h"
#include "core/ProgrammerState.h"
#include "core/MessagePump.h"
#include "cli/CommandSupport.h"
#include "cli/Commands.h"
#include "cli/DeviceSource.h"
#include "cli/ExitCodes.h"
#include "cli/InterruptSignal.h"
#include "cli/JsonOutput.h"
#include "cli/ProgramFileCheck.h"
#include "cli/ProgrammerAccess.h"
#include "cli/ProgramRecording.h"
#include "cli/ProgressLine.h"
#include "cli/TerminalStatus.h"
#include "cli/TickPeriod.h"
#include "firmware/FirmwareImage.h"
#include "jobs/ProgrammingJobs.h"
#include "hid/HidControllerClass.h"
#include "hid/HidDevice.h"
#include "link/DeviceIdentity.h"
#include "link/ProgrammerLink.h"

namespace kvm::cli {

namespace {

#ifdef _WIN32
constexpr const char* NullDevice = "NUL";
#else
constexpr const char* NullDevice = "/dev/null";
#endif


struct TProgramOptions {
  std::string UsbHostFile;
  std::string OsdFile;
  std::string Serial;
  std::string Wait = "10";
  bool AsPlain = false;
  bool Quiet = false;
  bool Verbose = false;
  bool Json = false;
  TDeviceSourceOptions Devices;
  std::string EventsFile;
  std::string LogFile;
};

constexpr const char* ForeverText = "forever";
constexpr double MaxWaitSeconds = 24.0 * 3600;

// Seconds from "--wait": -1 for "forever" and for text that is no number in range.
double WaitSeconds(const std::string& text) {
  if (text == ForeverText) return -1;
  char* end = nullptr;
  const double value = std::strtod(text.c_str(), &end);
  if (text.empty() || *end != '\0' || !(value >= 0 && value <= MaxWaitSeconds)) return -1;
  return value;
}

// The connection's test of a programmer.
bool IsProgrammer(hid::THidDevice& device) {
  hid::THidCaps caps;
  device.GetCaps(caps);
  return device.Attributes().VendorID == link::ProgrammerVendorID &&
         device.Attributes().ProductID == link::ProgrammerProductID &&
         caps.InputReportByteLength == link::ProgrammerInputReportLength;
}

// The command's thread serves the programmer and nothing heavier: the
// programmer's reports wake it directly, without a reader thread.
jobs::TStackOptions StackOptions(int tickMs) {
  jobs::TStackOptions options = jobs::TStackOptions::WithTick(tickMs);
  options.ReadInEventLoop = true;
  return options;
}

// --verbose: the window's hidden device list, the programmer's line marked.
void PrintDeviceList(const link::TProgrammerLink& link, int programmerIndex) {
  std::fflush(stdout);
  const link::TDeviceListBox& list = link.DevListBox();
  std::fprintf(stderr, "kvmflash-cli: %d HID interface(s) present\n", list.Count());
  for (int i = 0; i < list.Count(); ++i)
    std::fprintf(stderr, "kvmflash-cli: %s %s\n", i == programmerIndex ? "*" : " ",
                 PrintableText(list.Line(i).Text).c_str());
}

// What a job ended with, for --json.
struct TJobResult {
  TTarget Target;
  std::string File;
  std::string Result;  // the job's last status line
  bool Ok = false;
};

// --json: the run's end as one object; on failure it is also the error
// object ("error", "exit_code") every command prints with --json.
void PrintJsonResult(const std::vector<TJobResult>& results, int exitCode) {
  QJsonArray jobs;
  for (const TJobResult& job : results)
    jobs.append(QJsonObject{{"target", job.Target == TTarget::UsbHost ? "usb-host" : "osd"},
                            {"file", JsonText(job.File)},
                            {"result", JsonText(job.Result)},
                            {"ok", job.Ok}});
  QJsonObject json{{"jobs", jobs}, {"exit_code", exitCode}};
  if (exitCode != ExitOk) {
    json.insert("error", JsonText(FirstError().empty() ? "a job failed" : FirstError()));
    MarkJsonErrorPrinted();
  }
  PrintJsonDocument(QJsonDocument(json));
}

// One run of `program`: everything the window holds for the programmer, without the window.
class TProgramCommandRun {
 public:
  TProgramCommandRun(const TProgramOptions& options, int tickMs,
                      std::shared_ptr<hid::platform::THidPlatform> platform)
      : progress_(STDERR_FILENO),
        // Standard output that carries the events or the JSON result gets nothing else.
        silentLog_(options.EventsFile == "-" || options.Json ? std::fopen(NullDevice, "w") : nullptr),
        status_(options.Quiet ? nullptr : (silentLog_ ? silentLog_.get() : stdout), options.Quiet ? nullptr : &progress_),
        recording_(status_),
        platform_(std::move(platform)),
        stack_(platform_, jobs::TStackFrontEnd{recording_.Sink(), state_, pump_, &status_, &status_},
               StackOptions(tickMs)),
        requiredSerial_(options.Serial),
        verbose_(options.Verbose),
        quiet_(options.Quiet) {
    if (options.Verbose) status_.SetTrace(stderr);
    if (!options.UsbHostFile.empty()) status_.SelectTarget(TTarget::UsbHost, options.UsbHostFile);
    if (!options.OsdFile.empty()) status_.SelectTarget(TTarget::Osd, options.OsdFile);
    if (!options.Serial.empty()) stack_.Link().SetRequiredSerial(options.Serial);
    // --as-plain has said to program the file as it is: the warning that it
    // looks like a container is no part of the history log.
    if (options.AsPlain) stack_.Jobs().SetLookalikeWarning([this](const std::string& text) { status_.Warn(text); });
    if (firmware::IsContainerName(options.UsbHostFile) || firmware::IsContainerName(options.OsdFile))
      interrupt_.AddLeftoverFile(firmware::IntermediateFile());
    interrupt_.OnInterrupt = [this] { Interrupt(); };
    interrupt_.OnSecondInterrupt = [this] {
      PrintError("interrupted again: ending the job now (the record is still written; a third Ctrl-C quits at once)");
      state_.StopWaiting = true;
      pump_.Wake();
    };
    // "Auto" is how the link tells that it has connected; the job itself runs
    // once the countdown's tick is over (see Run).
    // A programmer that another program holds, or that this user cannot
    // open, is not connected: the run ends with why.
    stack_.Link().SetUsableOnly(true);
    stack_.Link().OnUnusable = [this](hid::THidDevice& device, const std::string& line) {
      const std::string inUse = device.InUseText();
      unusable_ = inUse.empty() ? ProgrammerAccessProblem(device)
                                : "the KVM programmer at " + device.PnPInfo().DevicePath + " is " + inUse;
      if (unusable_.empty()) unusable_ = line;
      pump_.Wake();
    };
    stack_.Link().OnAutoStart = [this] {
      connected_ = true;
      recording_.Connected(*platform_, state_);
      pump_.Wake();
    };
  }

  ~TProgramCommandRun() { status_.HideProgress(); }

  const std::vector<TJobResult>& JobResults() const { return jobResults_; }

  // --events and --log; false with the reason.
  bool OpenRecording(const TProgramOptions& options, std::string& error) {
    return recording_.Open(options.UsbHostFile, options.OsdFile, options.EventsFile, options.LogFile,
                           options.Devices.ReplayFile, error);
  }

  // waitSeconds < 0: wait as long as it takes.
  int Run(double waitSeconds) {
    recording_.Start();
    const int exitCode = RunJobs(waitSeconds);
    return recording_.Finish(exitCode, interrupt_.Interrupted());
  }

 private:
  int RunJobs(double waitSeconds) {
    if (!stack_.HidCtl().IsBound()) {
      PrintError(hid::platform::NativeHidUnreachableText());
      return ExitNoProgrammer;
    }
    stack_.Link().BindController();
    stack_.Link().FormActivate();
    const bool connected = WaitForConnection(waitSeconds);
    if (verbose_) PrintDeviceList(stack_.Link(), connected ? stack_.Link().ProgrammerIndex() : -1);
    if (!connected) {
      if (interrupt_.Interrupted()) return ExitInterrupted;
      if (!unusable_.empty()) {
        status_.HideProgress();
        PrintError(unusable_);
        return ExitNoProgrammer;
      }
      status_.HideProgress();
      PrintError(NotConnectedText(waitSeconds));
      return ExitNoProgrammer;
    }
    SayWhichOneWasTaken();
    // A job clears the break request when it starts, so a Ctrl-C that came
    // before must stop it here.
    if (interrupt_.Interrupted()) return ExitInterrupted;
    stack_.Jobs().InProgButtonClick();
    status_.HideProgress();
    ReportResults();
    if (interrupt_.Interrupted()) return ExitInterrupted;
    return AllJobsSucceeded() ? ExitOk : ExitFailed;
  }

  // Waits for the connection. When the wait is over while the connection
  // countdown runs (a programmer has just appeared), the countdown may end.
  bool WaitForConnection(double waitSeconds) {
    bool timedOut = false;
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, [&] {
      timedOut = true;
      pump_.Wake();
    });
    if (waitSeconds >= 0) deadline.start(static_cast<int>(std::lround(waitSeconds * 1000)));
    const auto counting = [this] { return stack_.Link().CheckTargetTimer().Enabled() && ProgrammerPresent(); };
    while (!connected_ && unusable_.empty() && !(timedOut && !counting()) && !interrupt_.Interrupted())
      pump_.WaitForMessage();
    return connected_ && state_.Connected;
  }

  // The serial numbers of the programmers in the device list, in its order.
  std::vector<std::string> PresentSerials() {
    std::vector<std::string> serials;
    const link::TDeviceListBox& list = stack_.Link().DevListBox();
    for (int i = 0; i < list.Count(); ++i)
      if (hid::THidDevice* device = list.Line(i).Device; device != nullptr && IsProgrammer(*device)) {
        const std::string serial = hid::ToText(device->GetSerialNumber());
        serials.push_back(serial.empty() ? "(no serial number)" : serial);
      }
    return serials;
  }

  static std::string Listed(const std::vector<std::string>& serials) {
    std::string text;
    for (const std::string& serial : serials) text += (text.empty() ? "" : ", ") + serial;
    return text;
  }

  std::string NotConnectedText(double waitSeconds) {
    const std::string within = " connected within " + SecondsText(waitSeconds);
    if (requiredSerial_.empty()) return "no KVM programmer" + within;
    const std::vector<std::string> serials = PresentSerials();
    return "no KVM programmer with serial number " + requiredSerial_ + within +
           (serials.empty() ? "; no programmer is present" : "; present: " + Listed(serials));
  }

  // Several programmers and no --serial: the first listed is taken, as the
  // window does, but the operator hears which one and how to pick another.
  void SayWhichOneWasTaken() {
    if (!requiredSerial_.empty()) return;
    const std::vector<std::string> serials = PresentSerials();
    if (serials.size() < 2) return;
    status_.HideProgress();
    PrintError(std::to_string(serials.size()) + " KVM programmers are present (" + Listed(serials) + "); using " +
               hid::ToText(state_.ProgrammerDevice->GetSerialNumber()) +
               ", the first listed; give --serial SERIAL to use another");
  }

  // A device that the countdown would connect as the programmer is plugged in.
  bool ProgrammerPresent() {
    for (const hid::THidDevice* device : stack_.HidCtl().Devices())
      if (device != nullptr && device->Attributes().VendorID == link::ProgrammerVendorID &&
          device->Attributes().ProductID == link::ProgrammerProductID)
        return true;
    return false;
  }

  // The first Ctrl-C presses Break.
  void Interrupt() {
    status_.HideProgress();
    PrintError("interrupted: stopping the job (press Ctrl-C again to stop waiting for the programmer)");
    state_.UserBreak = true;
    recording_.Interrupted();
    status_.SetBreakVisible(false);
    pump_.Wake();
  }

  // Standard output keeps the log; each failed job's reason goes to standard
  // error too. With --quiet, standard output has one result line per job.
  void ReportResults() {
    for (const TTarget target : {TTarget::UsbHost, TTarget::Osd}) {
      if (!status_.IsTargetChecked(target)) continue;
      const std::string result = status_.Result(target);
      jobResults_.push_back({target, status_.TargetFileName(target), result, status_.Lamp(target) == TLampPicture::Green});
      if (quiet_ && !result.empty()) std::printf("%s: %s\n", TargetName(target), result.c_str());
      if (status_.Lamp(target) == TLampPicture::Red && !interrupt_.Interrupted())
        PrintError(std::string(TargetName(target)) + " job failed: " + result);
    }
    // The break that a change of the connection makes during the USB Host job
    // also keeps the OSD job from starting; say so rather than nothing.
    if (status_.IsTargetChecked(TTarget::Osd) && status_.IsTargetChecked(TTarget::UsbHost) && state_.UserBreak &&
        !interrupt_.Interrupted() && status_.Lamp(TTarget::Osd) == TLampPicture::Gray)
      PrintError("OSD job skipped: the programmer's connection changed during the USB Host job (it was unplugged, "
                 "or plugged in again)");
    std::fflush(stdout);
  }

  // A job that succeeded turned its lamp green; a refused, missing or failed
  // file left it gray or red.
  bool AllJobsSucceeded() const {
    for (const TTarget target : {TTarget::UsbHost, TTarget::Osd})
      if (status_.IsTargetChecked(target) && status_.Lamp(target) != TLampPicture::Green) return false;
    return true;
  }

  static std::string SecondsText(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%g s", seconds);
    return text;
  }

  struct TFileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
  };

  TProgressLine progress_;
  std::unique_ptr<std::FILE, TFileCloser> silentLog_;
  TTerminalStatus status_;
  TProgramRecording recording_;
  TProgrammerState state_;
  TQtMessagePump pump_;
  std::shared_ptr<hid::platform::THidPlatform> platform_;
  jobs::TProgrammerStack stack_;
  TInterruptSignal interrupt_;
  bool connected_ = false;
  std::vector<TJobResult> jobResults_;
  std::string requiredSerial_;
  std::string unusable_;  // why the programmer found cannot be used
  bool verbose_ = false;
  bool quiet_ = false;
};

int RunProgram(const TProgramOptions& options) {
  // Every file is checked before any programmer is waited for.
  for (const auto& [target, file] : {std::pair{TTarget::UsbHost, options.UsbHostFile}, {TTarget::Osd, options.OsdFile}}) {
    if (file.empty()) continue;
    if (const std::string refusal = ProgramFileRefusal(target, file, options.AsPlain); !refusal.empty()) {
      SetErrorPath(file);
      PrintError(refusal);
      return ExitFailed;
    }
  }
  if (const std::string problem = EventsAndLogProblem(options.EventsFile, options.LogFile); !problem.empty()) {
    PrintError(problem);
    return ExitFailed;
  }
  TDeviceSource devices;
  std::string error;
  if (!devices.Open(options.Devices, error)) {
    PrintError(error);
    return ExitFailed;
  }
  int exitCode;
  std::vector<TJobResult> results;
  {
    TProgramCommandRun session(options, TickPeriodMs(), devices.Platform());
    if (!session.OpenRecording(options, error)) {
      PrintError(error);
      return devices.Finish(ExitFailed);
    }
    exitCode = session.Run(WaitSeconds(options.Wait));
    results = session.JobResults();
  }
  exitCode = devices.Finish(exitCode);
  // Before any job ran there is only the error to tell.
  if (options.Json && !results.empty()) PrintJsonResult(results, exitCode);
  return exitCode;
}

}  // namespace

void AddProgramCommand(CLI::App& app, TCommandAction& action) {
  auto options = std::make_shared<TProgramOptions>();
  CLI::App* command = app.add_subcommand("program", "Connect to the KVM programmer and program the firmware");
  command->footer(
      "Connects the way the window does and runs the USB Host job, then the OSD job. Standard output receives "
      "the history log; on a terminal, standard error shows the progress. Ctrl-C acts as the Break button; a "
      "second Ctrl-C also ends the wait for the programmer's reply, so the job ends at once, its --log record and "
      "--events still written and the intermediate file removed (exit 4); a third quits at once.\n\n"
      "Every file is checked before the wait: a missing, unreadable, empty, too large or refused file ends the "
      "run at once. A failed job's reason also goes to standard error. SIGTERM and SIGHUP act like Ctrl-C.\n\n"
      "Exit status: 0 every job succeeded, 1 a job failed or a file was refused, 2 usage error, 3 no usable "
      "programmer connected within the wait (none found, its device node cannot be opened for reading and "
      "writing, or another program holds it: \"in use by PID N (name)\"; nothing is sent to it), 4 interrupted "
      "by Ctrl-C, SIGTERM or SIGHUP. With --replay, a replay that stops counts as a failed job (1), and so does "
      "a recording that cannot be written.\n\n"
      "With several programmers and no --serial, the first listed is used (the one 'list' marks '*'), and "
      "standard error says so.\n\n"
      "Test aid: the environment variable KVMFLASH_TICK_MS (1..1000) sets the period in milliseconds of the "
      "one-second timers (connection countdown, reply time-out, elapsed time).");
  command->add_option("--usb-host", options->UsbHostFile, "Firmware file for the USB Host target")
      ->option_text("FILE");
  command->add_option("--osd", options->OsdFile, "Firmware file for the OSD target")->option_text("FILE");
  command->add_option("--serial", options->Serial,
                      "Connect to the programmer with this serial number (in any letter case) instead of the first one "
                      "listed")
      ->option_text("SERIAL");
  command->add_option("--wait", options->Wait,
                      "Seconds to wait for a programmer to connect (default 10; 0: only one already present; "
                      "forever)")
      ->check(CLI::Validator(
          [](const std::string& text) {
            return WaitSeconds(text) >= 0 || text == ForeverText
                       ? std::string()
                       : "a number of seconds from 0 to 86400, or forever, is needed, not '" + text + "'";
          },
          "SECONDS|forever"))
      ->option_text("SECONDS|forever");
  command->add_flag("--as-plain", options->AsPlain,
                    "Program a plain image byte for byte even when it starts with a container header its target "
                    "accepts (the warning goes to standard error)");
  auto* quiet = command->add_flag("--quiet,-q", options->Quiet, "Print only each job's result and the errors");
  command->add_flag("--verbose,-v", options->Verbose,
                    "Also print the device list and the connection steps (on standard error)")
      ->excludes(quiet);
  AddDeviceSourceOptions(*command, options->Devices);
  command->add_flag(
      "--json", options->Json,
      "Print, instead of the history log, one JSON object at the end: {\"jobs\": [{\"target\", \"file\", "
      "\"result\", \"ok\"}], \"exit_code\"}, with \"error\" when the run failed")
      ->excludes(quiet);
  command->add_option("--events", options->EventsFile,
                      "Append the event stream (JSON Lines) to FILE; - for standard output, which then carries "
                      "nothing else")
      ->option_text("FILE");
  command->add_option("--log", options->LogFile,
                      "Append the unit's traceability record (JSON Lines) to FILE (a file, not -)")
      ->option_text("FILE");
  command->callback([options, &action] {
    if (options->UsbHostFile.empty() && options->OsdFile.empty())
      throw CLI::ValidationError("program: give a firmware file with --usb-host or --osd");
    if (options->Json && options->EventsFile == "-")
      throw CLI::ValidationError("--json and --events - both want standard output; give --events a file");
    options->Devices.Firmware = {options->UsbHostFile, options->OsdFile};
    action = [options] { return RunProgram(*options); };
  });
}

}  // namespace kvm::cli
