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
#include "cli/UsageText.h"

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

// The command named on the command line (also when parsing failed), or null.
const CLI::App* NamedCommand(const CLI::App& app, int argc, char** argv) {
  for (int i = 1; i < argc; ++i)
    for (const CLI::App* command : app.get_subcommands([](const CLI::App*) { return true; }))
      if (command->get_name() == argv[i]) return command;
  return nullptr;
}

// --json given to a command that has it; a command without it refuses it
// as any unknown option.
bool JsonWanted(const CLI::App& app, int argc, char** argv) {
  const CLI::App* command = NamedCommand(app, argc, argv);
  return command != nullptr && command->get_option_no_throw("--json") != nullptr && HasArgument(argc, argv, "--json");
}

// The parser's complaint in words, with what is allowed where it helps.
std::string UsageMessage(const CLI::App& app, const CLI::ParseError& error, int argc, char** argv) {
  const CLI::App* command = NamedCommand(app, argc, argv);
  if (command == nullptr && (dynamic_cast<const CLI::ExtrasError*>(&error) != nullptr ||
                             dynamic_cast<const CLI::RequiredError*>(&error) != nullptr)) {
    const std::string given = argc > 1 && argv[1][0] != '-' ? argv[1] : "";
    return (given.empty() ? std::string("no command given") : "unknown command '" + given + "'") +
           "; the commands are: " + CommandNames(app);
  }
  return kvm::cli::UsageInWords(error.what());
}

// Where the help for the usage error is.
std::string HelpPointer(const CLI::App& app, int argc, char** argv) {
  const CLI::App* command = NamedCommand(app, argc, argv);
  return command == nullptr ? "kvmflash-cli --help" : "kvmflash-cli " + command->get_name() + " --help";
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
  kvm::cli::AddStationCommand(app, action);
  kvm::cli::AddInfoCommand(app, action);
  kvm::cli::AddUnscrambleCommand(app, action);
  kvm::cli::AddScrambleCommand(app, action);
#ifndef _WIN32
  kvm::cli::AddDoctorCommand(app, action);
#endif
  // With --json, scripts read errors from standard output as well.
  const bool json = JsonWanted(app, argc, argv);
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    // --help and --version end here too, with status 0.
    if (error.get_exit_code() == 0) return app.exit(error) == 0 ? kvm::cli::ExitOk : kvm::cli::ExitUsage;
    const std::string message = UsageMessage(app, error, argc, argv);
    kvm::cli::PrintError(message + " (see " + HelpPointer(app, argc, argv) + ")");
    if (json) kvm::cli::PrintJsonError(message, kvm::cli::ExitUsage);
    return kvm::cli::ExitUsage;
  }
  const int status = action ? action() : kvm::cli::ExitUsage;
  if (json && status != kvm::cli::ExitOk && !kvm::cli::FirstError().empty() && !kvm::cli::JsonErrorPrinted())
    kvm::cli::PrintJsonError(kvm::cli::FirstError(), status, kvm::cli::ErrorPath());
  return status;
}
