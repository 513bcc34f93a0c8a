// kvmflash-cli program: connects to the programmer the way the window does
// and runs the USB host and OSD jobs, with the log on standard output.
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <QTimer>
#include <cmath>
#include <cstdlib>
#include <memory>

#include "jobs/ProgrammerStack.h"
#include "core/AppState.h"
#include "core/MessagePump.h"
#include "cli/CommandSupport.h"
#include "cli/Commands.h"
#include "cli/DeviceSource.h"
#include "cli/ExitCodes.h"
#include "cli/InterruptSignal.h"
#include "cli/ProgramFileCheck.h"
#include "cli/ProgrammerAccess.h"
#include "cli/ProgramRecording.h"
#include "cli/ProgressLine.h"
#include "cli/TerminalStatus.h"
#include "cli/TickPeriod.h"
#include "firmware/FirmwareImage.h"
#include "jobs/ProgrammingJobs.h"
#include "hid/HidControllerClass.h"
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

// --verbose: the window's hidden device list, the programmer's line marked.
void PrintDeviceList(const link::TProgrammerLink& link, int programmerIndex) {
  std::fflush(stdout);
  const link::TDeviceListBox& list = link.DevListBox();
  std::fprintf(stderr, "kvmflash-cli: %d HID interface(s) present\n", list.Count());
  for (int i = 0; i < list.Count(); ++i)
    std::fprintf(stderr, "kvmflash-cli: %s %s\n", i == programmerIndex ? "*" : " ", list.Line(i).Text.c_str());
}

// Everything the window holds for the programmer, without the window.
class TProgrammingSession {
 public:
  TProgrammingSession(const TProgramOptions& options, int tickMs,
                      std::shared_ptr<hid::platform::THidPlatform> platform)
      : progress_(STDERR_FILENO),
        // Standard output that carries the events gets nothing else.
        silentLog_(options.EventsFile == "-" ? std::fopen(NullDevice, "w") : nullptr),
        status_(options.Quiet ? nullptr : (silentLog_ ? silentLog_.get() : stdout), options.Quiet ? nullptr : &progress_),
        recording_(status_),
        platform_(std::move(platform)),
        stack_(platform_, jobs::TStackFrontEnd{recording_.Sink(), state_, pump_, &status_, &status_},
               jobs::TStackOptions::WithTick(tickMs)),
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
      interrupt_.SetLeftoverFile(firmware::IntermediateFile());
    interrupt_.OnInterrupt = [this] { Interrupt(); };
    // "Auto" is how the link tells that it has connected; the job itself runs
    // once the countdown's tick is over (see Run).
    stack_.Link().OnAutoStart = [this] {
      connected_ = true;
      recording_.Connected(*platform_, state_);
      pump_.Wake();
    };
  }

  ~TProgrammingSession() { status_.HideProgress(); }

  // --events and --log; false with the reason.
  bool OpenRecording(const TProgramOptions& options, std::string& error) {
    return recording_.Open(options.UsbHostFile, options.OsdFile, options.EventsFile, options.LogFile, error);
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
      PrintError("cannot reach the HID devices of this system (udev and hidraw access failed)");
      return ExitNoProgrammer;
    }
    stack_.Link().BindController();
    stack_.Link().FormActivate();
    const bool connected = WaitForConnection(waitSeconds);
    if (verbose_) PrintDeviceList(stack_.Link(), connected ? stack_.Link().ProgrammerIndex() : -1);
    if (!connected) {
      if (interrupt_.Interrupted()) return ExitInterrupted;
      status_.HideProgress();
      PrintError("no KVM programmer connected within " + SecondsText(waitSeconds));
      return ExitNoProgrammer;
    }
    // Connected as the window would be, but no command could reach it.
    if (const std::string noAccess = ProgrammerAccessProblem(*state_.ProgrammerDevice); !noAccess.empty()) {
      status_.HideProgress();
      PrintError(noAccess);
      return ExitNoProgrammer;
    }
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
    while (!connected_ && !(timedOut && !counting()) && !interrupt_.Interrupted()) pump_.WaitForMessage();
    return connected_ && state_.Connected;
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
    PrintError("interrupted: stopping the job (press Ctrl-C again to quit at once)");
    state_.UserBreak = true;
    status_.SetBreakVisible(false);
    pump_.Wake();
  }

  // Standard output keeps the log; each failed job's reason goes to standard
  // error too. With --quiet, standard output has one result line per job.
  void ReportResults() {
    for (const TTarget target : {TTarget::UsbHost, TTarget::Osd}) {
      if (!status_.IsTargetChecked(target)) continue;
      const std::string result = status_.Result(target);
      if (quiet_ && !result.empty()) std::printf("%s: %s\n", TargetName(target).c_str(), result.c_str());
      if (status_.Lamp(target) == TLampPicture::Red && !interrupt_.Interrupted())
        PrintError(TargetName(target) + " job failed: " + result);
    }
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
  TAppState state_;
  TQtMessagePump pump_;
  std::shared_ptr<hid::platform::THidPlatform> platform_;
  jobs::TProgrammerStack stack_;
  TInterruptSignal interrupt_;
  bool connected_ = false;
  bool verbose_ = false;
  bool quiet_ = false;
};

int RunProgram(const TProgramOptions& options) {
  // Every file is checked before any programmer is waited for.
  for (const auto& [target, file] : {std::pair{TTarget::UsbHost, options.UsbHostFile}, {TTarget::Osd, options.OsdFile}}) {
    if (file.empty()) continue;
    if (const std::string refusal = ProgramFileRefusal(target, file, options.AsPlain); !refusal.empty()) {
      PrintError(refusal);
      return ExitFailed;
    }
  }
  TDeviceSource devices;
  std::string error;
  if (!devices.Open(options.Devices, error)) {
    PrintError(error);
    return ExitFailed;
  }
  int exitCode;
  {
    TProgrammingSession session(options, TickPeriodMs(), devices.Platform());
    if (!session.OpenRecording(options, error)) {
      PrintError(error);
      return devices.Finish(ExitFailed);
    }
    exitCode = session.Run(WaitSeconds(options.Wait));
  }
  return devices.Finish(exitCode);
}

}  // namespace

void AddProgramCommand(CLI::App& app, TCommandAction& action) {
  auto options = std::make_shared<TProgramOptions>();
  CLI::App* command = app.add_subcommand("program", "Connect to the KVM programmer and program the firmware");
  command->footer(
      "Connects the way the window does and runs the USB Host job, then the OSD job. Standard output receives "
      "the history log; on a terminal, standard error shows the progress. Ctrl-C acts as the Break button; a "
      "second Ctrl-C quits at once.\n\n"
      "Every file is checked before the wait: a missing, unreadable, empty, too large or refused file ends the "
      "run at once. A failed job's reason also goes to standard error. SIGTERM and SIGHUP act like Ctrl-C.\n\n"
      "Exit status: 0 every job succeeded, 1 a job failed or a file was refused, 2 usage error, 3 no usable "
      "programmer connected within the wait (none found, or its device node cannot be opened for reading and "
      "writing), 4 interrupted by Ctrl-C, SIGTERM or SIGHUP. With --replay, a replay that stops counts as a failed job (1), and so does a recording that cannot be written.\n\n"
      "Test aid: the environment variable KVMFLASH_TICK_MS (1..1000) sets the period in milliseconds of the "
      "one-second timers (connection countdown, reply time-out, elapsed time).");
  command->add_option("--usb-host", options->UsbHostFile, "Firmware file for the USB Host target")
      ->option_text("FILE");
  command->add_option("--osd", options->OsdFile, "Firmware file for the OSD target")->option_text("FILE");
  command->add_option("--serial", options->Serial,
                      "Connect to the programmer with this serial number instead of the first one listed")
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
  command->add_option("--events", options->EventsFile,
                      "Append the event stream (JSON Lines) to FILE; - for standard output, which then carries "
                      "nothing else")
      ->option_text("FILE");
  command->add_option("--log", options->LogFile, "Append the unit's traceability record (JSON Lines) to FILE")
      ->option_text("FILE");
  command->callback([options, &action] {
    if (options->UsbHostFile.empty() && options->OsdFile.empty())
      throw CLI::ValidationError("program: give a firmware file with --usb-host or --osd");
    options->Devices.Firmware = {options->UsbHostFile, options->OsdFile};
    action = [options] { return RunProgram(*options); };
  });
}

}  // namespace kvm::cli
