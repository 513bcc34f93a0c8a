// kvmflash-cli: the KVM firmware update utility without a window.
#include <CLI/CLI.hpp>
#include <QCoreApplication>
#include <algorithm>
#include <csignal>
#include <cstring>

#include "cli/CommandSupport.h"
#include "cli/Commands.h"
#include "cli/ExitCodes.h"
#include "cli/JsonOutput.h"

namespace {

bool HasArgument(int argc, char** argv, const char* wanted) {
  return std::any_of(argv + 1, argv + argc, [wanted](const char* argument) { return std::strcmp(argument, wanted) == 0; });
}

std::string CommandNames(const CLI::App& app) {
  std::string names;
  for (const CLI::App* command : app.get_subcommands([](const CLI::App*) { return true; }))
    names += (names.empty() ? "" : ", ") + command->get_name();
  return names;
}

// The parser's complaint in words, with what is allowed where it helps.
std::string UsageMessage(const CLI::App& app, const CLI::ParseError& error, int argc, char** argv) {
  const bool noCommand = app.get_subcommands().empty();
  if (noCommand && (dynamic_cast<const CLI::ExtrasError*>(&error) != nullptr ||
                    dynamic_cast<const CLI::RequiredError*>(&error) != nullptr)) {
    const std::string given = argc > 1 && argv[1][0] != '-' ? argv[1] : "";
    return (given.empty() ? std::string("no command given") : "unknown command '" + given + "'") +
           "; the commands are: " + CommandNames(app);
  }
  return error.what();
}

}  // namespace

int main(int argc, char** argv) {
#ifndef _WIN32
  // A closed pipe on the log must not kill a job half-way through a chip.
  std::signal(SIGPIPE, SIG_IGN);
#endif
  QCoreApplication application(argc, argv);

  CLI::App app("Updates the firmware of a KVM switch through the USB KVM programmer.", "kvmflash-cli");
  app.set_version_flag("--version", "kvmflash-cli 1.0");
  app.require_subcommand(1);
  // The same options everywhere: on Windows a path such as /data/host.usb
  // stays a path instead of being read as an option.
  app.allow_windows_style_options(false);
  kvm::cli::TCommandAction action;
  kvm::cli::AddListCommand(app, action);
  kvm::cli::AddProgramCommand(app, action);
#ifndef _WIN32
  kvm::cli::AddStationCommand(app, action);
#endif
  kvm::cli::AddInfoCommand(app, action);
  kvm::cli::AddUnscrambleCommand(app, action);
  kvm::cli::AddScrambleCommand(app, action);
#ifndef _WIN32
  kvm::cli::AddDoctorCommand(app, action);
#endif
  // With --json, scripts read errors from standard output as well.
  const bool json = HasArgument(argc, argv, "--json");
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    // --help and --version end here too, with status 0.
    if (error.get_exit_code() == 0) return app.exit(error) == 0 ? kvm::cli::ExitOk : kvm::cli::ExitUsage;
    const std::string message = UsageMessage(app, error, argc, argv);
    kvm::cli::PrintError(message + " (see kvmflash-cli --help)");
    if (json) kvm::cli::PrintJsonError(message, kvm::cli::ExitUsage);
    return kvm::cli::ExitUsage;
  }
  const int status = action ? action() : kvm::cli::ExitUsage;
  if (json && status != kvm::cli::ExitOk && !kvm::cli::FirstError().empty())
    kvm::cli::PrintJsonError(kvm::cli::FirstError(), status);
  return status;
}
