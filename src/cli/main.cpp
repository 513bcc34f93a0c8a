// kvmflash-cli: the KVM firmware update utility without a window.
#include <CLI/CLI.hpp>
#include <QCoreApplication>
#include <csignal>

#include "cli/Commands.h"
#include "cli/ExitCodes.h"

int main(int argc, char** argv) {
  // A closed pipe on the log must not kill a job half-way through a chip.
  std::signal(SIGPIPE, SIG_IGN);
  QCoreApplication application(argc, argv);

  CLI::App app("Updates the firmware of a KVM switch through the USB KVM programmer.", "kvmflash-cli");
  app.set_version_flag("--version", "kvmflash-cli 1.0");
  app.require_subcommand(1);
  kvm::cli::TCommandAction action;
  kvm::cli::AddListCommand(app, action);
  kvm::cli::AddProgramCommand(app, action);
  kvm::cli::AddStationCommand(app, action);
  kvm::cli::AddInfoCommand(app, action);
  kvm::cli::AddUnscrambleCommand(app, action);
  kvm::cli::AddScrambleCommand(app, action);
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    // --help and --version end here too, with status 0.
    return app.exit(error) == 0 ? kvm::cli::ExitOk : kvm::cli::ExitUsage;
  }
  return action ? action() : kvm::cli::ExitUsage;
}
