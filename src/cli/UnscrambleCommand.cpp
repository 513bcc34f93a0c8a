// kvmflash-cli unscramble CONTAINER OUT: the payload a job would program.
#include <CLI/CLI.hpp>
#include <memory>

#include "cli/CommandSupport.h"
#include "cli/Commands.h"
#include "cli/ContainerRefusal.h"
#include "cli/ExitCodes.h"
#include "cli/OutputFile.h"
#include "firmware/Container.h"
#include "firmware/FirmwareImage.h"

namespace kvm::cli {

namespace {

struct TUnscrambleOptions {
  std::string Container;
  std::string Output;
  TTarget Target = TTarget::UsbHost;
};

int RunUnscramble(const TUnscrambleOptions& options) {
  std::vector<std::uint8_t> payload;
  const int result = firmware::detail::ReadUnscrambledPayload(TargetCode(options.Target), options.Container, payload);
  if (result == firmware::FileUnreadable) {
    PrintError(firmware::LastImageErrorDetail());
    return ExitFailed;
  }
  if (result != firmware::ImageOk) {
    // Explained by the header, when there is one to read.
    std::vector<std::uint8_t> head;
    std::int64_t length = 0;
    std::string error;
    const bool readable = ReadFileHead(options.Container, head, length, error, ContainerHeaderLength);
    const auto header = readable ? ParseContainerHeader(head, length) : std::nullopt;
    PrintError(options.Container + ": " + ContainerRefusal(result, header, options.Target));
    return ExitFailed;
  }
  std::string error;
  if (!WriteOutputFile(options.Output, options.Container, payload, error)) {
    PrintError(error);
    return ExitFailed;
  }
  return ExitOk;
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
