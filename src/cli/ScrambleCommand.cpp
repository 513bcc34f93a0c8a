// kvmflash-cli scramble IMAGE OUT: a container whose payload is IMAGE.
#include <CLI/CLI.hpp>
#include <memory>

#include "cli/CommandSupport.h"
#include "cli/Commands.h"
#include "firmware/ContainerHeader.h"
#include "cli/ExitCodes.h"
#include "cli/OutputFile.h"
#include "firmware/FileExamination.h"
#include "firmware/FirmwareImage.h"

namespace kvm::cli {

namespace {

struct TScrambleOptions {
  std::string Image;
  std::string Output;
  firmware::TScrambleKey Key;
};

int RunScramble(const TScrambleOptions& options) {
  std::vector<std::uint8_t> image;
  std::string error;
  if (!ReadWholeFile(options.Image, image, error)) {
    PrintError(error);
    return ExitFailed;
  }
  // A container whose payload no job could program helps nobody.
  if (const int fits = firmware::CheckImageLength(static_cast<std::int64_t>(image.size())); fits != firmware::ImageOk) {
    PrintError(options.Image + ": " + firmware::ImageResultText(fits));
    return ExitFailed;
  }
  if (!WriteOutputFile(options.Output, options.Image, firmware::BuildContainer(image, options.Key), error)) {
    PrintError(error);
    return ExitFailed;
  }
  // Built as asked, for tests of other tools, but not without a word.
  if (!firmware::AnyTargetAccepts(options.Key.ChipType))
    PrintError("warning: no target accepts chip type " + std::to_string(options.Key.ChipType) +
               " (both take only " + std::to_string(firmware::DefaultChipType) + "): every job would refuse " + options.Output);
  if (!firmware::IsContainerName(options.Output))
    PrintError("note: " + options.Output + " does not end in " + firmware::ContainerEndingsText() +
               ", so a job would program it as a plain image");
  return ExitOk;
}

}  // namespace

void AddScrambleCommand(CLI::App& app, TCommandAction& action) {
  auto options = std::make_shared<TScrambleOptions>();
  firmware::TScrambleKey& key = options->Key;
  CLI::App* command = app.add_subcommand("scramble", "Build a firmware container from a plain image");
  command->add_option("IMAGE", options->Image, "Plain image")->required();
  command->add_option("OUT", options->Output, "Container to write (replaced if it exists)")->required();
  command->add_option("--chip-type", key.ChipType, "Chip type in the header (default 300, the only one the targets accept)")
      ->check(NumberIn(0, 0xFFFF))
      ->option_text("N");
  command->add_option("--key-offset", key.KeyOffset, "Key offset, 0..11 (default 0)")
      ->check(NumberIn(0, firmware::LastKeyOffset))
      ->option_text("K");
  command->add_option("--step", key.StepLength, "Step length, 1..15 (default 8)")
      ->check(NumberIn(1, 15))
      ->option_text("L");
  command->add_option("--key-byte", key.KeyByte, "Key byte, 0..255 (default 0xA5)")
      ->check(NumberIn(0, 0xFF))
      ->option_text("B");
  command->callback([options, &action] { action = [options] { return RunScramble(*options); }; });
}

}  // namespace kvm::cli
