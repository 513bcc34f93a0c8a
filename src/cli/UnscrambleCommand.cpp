// kvmflash-cli unscramble CONTAINER OUT: the payload a job would program.
#include <CLI/CLI.hpp>
#include <memory>

#include "cli/CommandSupport.h"
#include "cli/Commands.h"
#include "cli/ExitCodes.h"
#include "cli/OutputFile.h"
#include "firmware/FileExamination.h"

namespace kvm::cli {

namespace {

struct TUnscrambleOptions {
  std::string Container;
  std::string Output;
  TTarget Target = TTarget::UsbHost;
};

int RunUnscramble(const TUnscrambleOptions& options) {
  const firmware::TFileExamination file = firmware::Examine(TargetCode(options.Target), options.Container);
  if (!file.Container && file.Verdict != firmware::FileUnreadable) {
    PrintError(options.Container + ": the name makes it a plain image (it does not end in " +
               firmware::ContainerEndingsText() + "), which a job programs byte for byte: there is nothing to "
               "unscramble");
    return ExitFailed;
  }
  if (!file.Accepted()) {
    PrintError(file.Reason);
    return ExitFailed;
  }
  std::string error;
  if (!WriteOutputFile(options.Output, options.Container, file.Image, error)) {
    PrintError(error);
    return ExitFailed;
  }
  return ExitOk;
}

}  // namespace

void AddUnscrambleCommand(CLI::App& app, TCommandAction& action) {
  auto options = std::make_shared<TUnscrambleOptions>();
  CLI::App* command = app.add_subcommand("unscramble", "Write the unscrambled payload of a firmware container");
  command->add_option("CONTAINER", options->Container, "Scrambled container (.28, .usb, .osd)")->required();
  command->add_option("OUT", options->Output, "File to write the payload to (replaced if it exists)")->required();
  AddTargetOption(*command, options->Target);
  command->callback([options, &action] { action = [options] { return RunUnscramble(*options); }; });
}

}  // namespace kvm::cli
