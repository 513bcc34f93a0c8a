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
#include "cli/ExitCodes.h"
#include "cli/InterruptSignal.h"
#include "cli/ProgramRecording.h"
#include "cli/ProgressLine.h"
#include "cli/TerminalStatus.h"
#include "firmware/FirmwareImage.h"
#include "jobs/ProgrammingJobs.h"
#include "hid/HidControllerClass.h"
#include "hid/platform/linux/LinuxHidPlatform.h"
#include "link/ProgrammerLink.h"

namespace kvm::cli {

namespace {

constexpr int DefaultTickMs = 1000;
constexpr const char* TickVariable = "KVMFLASH_TICK_MS";

struct TProgramOptions {
  std::string UsbHostFile;
  std::string OsdFile;
  std::string Serial;
  double WaitSeconds = 10;
  std::string EventsFile;
  std::string LogFile;
};

// Tests shorten the window's one-second timers through the environment.
int TickPeriodMs() {
  const char* text = std::getenv(TickVariable);
  if (text == nullptr || *text == '\0') return DefaultTickMs;
  char* end = nullptr;
  const long value = std::strtol(text, &end, 10);
  if (*end != '\0' || value < 1 || value > DefaultTickMs) {
    PrintError(std::string("ignoring ") + TickVariable + "=" + text + " (must be 1.." +
               std::to_string(DefaultTickMs) + ")");
    return DefaultTickMs;
  }
  return static_cast<int>(value);
}

// Everything the window holds for the programmer, without the window.
class TProgrammingSession {
 public:
  TProgrammingSession(const TProgramOptions& options, int tickMs)
      : progress_(STDERR_FILENO),
        // Standard output that carries the events gets nothing else.
        silentLog_(options.EventsFile == "-" ? std::fopen("/dev/null", "w") : nullptr),
        status_(silentLog_ ? silentLog_.get() : stdout, &progress_),
        recording_(status_),
        platform_(hid::platform::MakeLinuxHidPlatform()),
        stack_(platform_, jobs::TStackFrontEnd{recording_.Sink(), state_, pump_, &status_, &status_},
               jobs::TStackOptions::WithTick(tickMs)) {
    if (!options.UsbHostFile.empty()) status_.SelectTarget(TTarget::UsbHost, options.UsbHostFile);
    if (!options.OsdFile.empty()) status_.SelectTarget(TTarget::Osd, options.OsdFile);
    if (!options.Serial.empty()) stack_.Link().SetRequiredSerial(options.Serial);
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
    if (!WaitForConnection(waitSeconds)) {
      if (interrupt_.Interrupted()) return ExitInterrupted;
      status_.HideProgress();
      PrintError("no KVM programmer connected within " + SecondsText(waitSeconds));
      return ExitNoProgrammer;
    }
    // A job clears the break request when it starts, so a Ctrl-C that came
    // before must stop it here.
    if (interrupt_.Interrupted()) return ExitInterrupted;
    stack_.Jobs().InProgButtonClick();
    status_.HideProgress();
    if (interrupt_.Interrupted()) return ExitInterrupted;
    return AllJobsSucceeded() ? ExitOk : ExitFailed;
  }

  bool WaitForConnection(double waitSeconds) {
    bool timedOut = false;
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, [&] {
      timedOut = true;
      pump_.Wake();
    });
    deadline.start(static_cast<int>(std::lround(waitSeconds * 1000)));
    while (!connected_ && !timedOut && !interrupt_.Interrupted()) pump_.WaitForMessage();
    return connected_ && state_.Connected;
  }

  // The first Ctrl-C presses Break.
  void Interrupt() {
    status_.HideProgress();
    PrintError("interrupted: stopping the job (press Ctrl-C again to quit at once)");
    state_.UserBreak = true;
    status_.SetBreakVisible(false);
    pump_.Wake();
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
};

int RunProgram(const TProgramOptions& options) {
  TProgrammingSession session(options, TickPeriodMs());
  std::string error;
  if (!session.OpenRecording(options, error)) {
    PrintError(error);
    return ExitFailed;
  }
  return session.Run(options.WaitSeconds);
}

}  // namespace

void AddProgramCommand(CLI::App& app, TCommandAction& action) {
  auto options = std::make_shared<TProgramOptions>();
  CLI::App* command = app.add_subcommand("program", "Connect to the KVM programmer and program the firmware");
  command->footer(
      "Connects the way the window does and runs the USB Host job, then the OSD job. Standard output receives "
      "the history log; on a terminal, standard error shows the progress. Ctrl-C acts as the Break button; a "
      "second Ctrl-C quits at once.\n\n"
      "Exit status: 0 every job succeeded, 1 a job failed, 2 usage error, 3 no programmer connected within the "
      "wait, 4 interrupted by Ctrl-C.\n\n"
      "Test aid: the environment variable KVMFLASH_TICK_MS (1..1000) sets the period in milliseconds of the "
      "one-second timers (connection countdown, reply time-out, elapsed time).");
  command->add_option("--usb-host", options->UsbHostFile, "Firmware file for the USB Host target")
      ->option_text("FILE");
  command->add_option("--osd", options->OsdFile, "Firmware file for the OSD target")->option_text("FILE");
  command->add_option("--serial", options->Serial,
                      "Connect to the programmer with this serial number instead of the first one listed")
      ->option_text("SERIAL");
  command->add_option("--wait", options->WaitSeconds, "Seconds to wait for a programmer (default 10)")
      ->check(CLI::Range(0.0, 24.0 * 3600))
      ->option_text("SECONDS");
  command->add_option("--events", options->EventsFile,
                      "Append the event stream (JSON Lines) to FILE; - for standard output, which then carries "
                      "nothing else")
      ->option_text("FILE");
  command->add_option("--log", options->LogFile, "Append the unit's traceability record (JSON Lines) to FILE")
      ->option_text("FILE");
  command->callback([options, &action] {
    if (options->UsbHostFile.empty() && options->OsdFile.empty())
      throw CLI::ValidationError("program: give a firmware file with --usb-host or --osd");
    action = [options] { return RunProgram(*options); };
  });
}

}  // namespace kvm::cli
