// kvmflash-cli unscramble CONTAINER OUT: the payload a job would program.
#include <CLI/CLI.hpp>
#include <memory>

#include "cli/CommandSupport.h"
#include "cli/Commands.h"
#include "cli/ContainerRefusal.h"
#include "cli/ExitCodes.h"
#include "firmware/FirmwareImage.h"

namespace kvm::cli {

namespace {

struct TUnscrambleOptions {
  std::string Container;
  std::string Output;
  TTarget Target = TTarget::UsbHost;
};

int RunUnscramble(const TUnscrambleOptions& options) {
  const int result = firmware::UnscrambleContainerTo(TargetCode(options.Target), options.Container, options.Output);
  if (result == firmware::ImageOk) return ExitOk;
  // Explained by the header, when there is one to read.
  std::vector<std::uint8_t> head;
  std::int64_t length = 0;
  std::string error;
  const bool readable = ReadFileHead(options.Container, head, length, error, ContainerHeaderLength);
  const auto header = readable ? ParseContainerHeader(head, length) : std::nullopt;
  PrintError(options.Container + ": " + ContainerRefusal(result, header, options.Target));
  return ExitFailed;
}

}  // namespace

void AddUnscrambleCommand(CLI::App& app, TCommandAction& action) {
  auto options = std::make_shared<TUnscrambleOptions>();
  CLI::App* command = app.add_subcommand("unscramble", "Write the unscrambled payload of a firmware container");
  command->add_option("CONTAINER", options->Container, "Scrambled container")->required();
  command->add_option("OUT", options->Output, "File to write the payload to (replaced if it exists)")->required();
  AddTargetOption(*command, options->Target);
  command->callback([options, &action] { action = [options] { return RunUnscramble(*options); }; });
}

}  // namespace kvm::cli
