// The subcommands of kvmflash-cli. Each Add...Command registers its options on
// the application; when the command is chosen its callback stores in `action`
// the function that runs it and returns the exit status.
#pragma once

#include <functional>
#include <string>

namespace CLI {
class App;
}

namespace kvm::cli {

using TCommandAction = std::function<int()>;

void AddListCommand(CLI::App& app, TCommandAction& action);
void AddProgramCommand(CLI::App& app, TCommandAction& action);
void AddStationCommand(CLI::App& app, TCommandAction& action);
void AddInfoCommand(CLI::App& app, TCommandAction& action);
void AddUnscrambleCommand(CLI::App& app, TCommandAction& action);
void AddScrambleCommand(CLI::App& app, TCommandAction& action);
void AddDoctorCommand(CLI::App& app, TCommandAction& action);

}  // namespace kvm::cli
