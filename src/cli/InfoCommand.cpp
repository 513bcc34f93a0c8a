// kvmflash-cli info FILE: what a job would make of a firmware file.
#include <CLI/CLI.hpp>
#include <QTemporaryDir>
#include <array>
#include <cstdio>
#include <memory>
#include <optional>

#include "cli/Commands.h"
#include "cli/CommandSupport.h"
#include "cli/ContainerRefusal.h"
#include "cli/ExitCodes.h"
#include "cli/JsonWriter.h"
#include "firmware/FirmwareImage.h"

namespace kvm::cli {

namespace {

struct TInfoOptions {
  std::string File;
  TTarget Target = TTarget::UsbHost;
  bool Json = false;
};

// The image that a job would program, as the job measures it.
struct TImageFacts {
  std::int64_t Length = 0;
  std::array<std::uint8_t, 4> LengthBytes{};
  int CheckSum = 0;
  std::int64_t Blocks = 0;
  int LastBlockSize = 0;
};

struct TFileInfo {
  bool Container = false;
  std::optional<TContainerHeader> Header;
  bool Accepted = false;
  std::string Refusal;  // empty when accepted
  std::optional<TImageFacts> Image;
};

std::string LengthBytesText(const std::array<std::uint8_t, 4>& bytes, const char* separator) {
  std::string text;
  for (std::size_t i = 0; i < bytes.size(); ++i) text += (i ? separator : "") + HexText(bytes[i], 2);
  return text;
}

int LastBlockSize(const firmware::TBlockSequence& sequence) {
  constexpr int FirstBlockCount = 52;
  constexpr int FullBlockCount = 56;
  if (sequence.R > 0) return static_cast<int>(sequence.R);
  return sequence.F == 1 ? FirstBlockCount : FullBlockCount;
}

// The measurements a job takes of the file it programs, or the reason why
// they cannot be taken.
std::optional<TImageFacts> MeasureImage(const std::string& path, std::string& error) {
  TImageFacts facts;
  const int sum = firmware::FileCheckSum(path);
  if (sum < 0 || !firmware::FileLengthBytes(path, facts.LengthBytes)) {
    error = firmware::LastImageErrorDetail();
    if (error.empty()) error = firmware::ImageResultText(sum < 0 ? sum : firmware::FileUnreadable);
    return std::nullopt;
  }
  facts.CheckSum = sum;
  for (const auto byte : facts.LengthBytes) facts.Length = facts.Length << 8 | byte;
  const firmware::TBlockSequence sequence = firmware::BlockSequenceOf(facts.Length);
  facts.Blocks = sequence.BlockCount();
  facts.LastBlockSize = LastBlockSize(sequence);
  return facts;
}

// False (with a message printed) when the file cannot be read at all.
bool ExamineFile(const TInfoOptions& options, TFileInfo& info) {
  std::vector<std::uint8_t> head;
  std::int64_t fileLength = 0;
  std::string error;
  if (!ReadFileHead(options.File, head, fileLength, error, ContainerHeaderLength)) {
    PrintError(error);
    return false;
  }
  info.Container = firmware::IsContainerName(options.File);
  std::string imagePath = options.File;
  std::unique_ptr<QTemporaryDir> workFolder;  // holds the unscrambled payload
  if (info.Container) {
    info.Header = ParseContainerHeader(head, fileLength);
    workFolder = std::make_unique<QTemporaryDir>();
    if (!workFolder->isValid()) {
      PrintError("cannot create a temporary folder: " + workFolder->errorString().toStdString());
      return false;
    }
    imagePath = workFolder->filePath("image").toStdString();
    const int result = firmware::UnscrambleContainerTo(TargetCode(options.Target), options.File, imagePath);
    if (result != firmware::ImageOk) {
      info.Refusal = ContainerRefusal(result, info.Header, options.Target);
      return true;
    }
  }
  info.Image = MeasureImage(imagePath, error);
  if (!info.Image) {
    PrintError(error);
    return false;
  }
  const int fits = firmware::CheckImageLength(info.Image->Length);
  info.Accepted = fits == firmware::ImageOk;
  if (!info.Accepted) info.Refusal = firmware::ImageResultText(fits);
  return true;
}

void PrintText(const TInfoOptions& options, const TFileInfo& info) {
  const auto row = [](const char* name, const std::string& value) { std::printf("%-16s %s\n", name, value.c_str()); };
  row("File:", options.File);
  row("Kind:", info.Container ? "scrambled container" : "plain image");
  if (info.Header) {
    const TContainerHeader& header = *info.Header;
    row("Chip type:", std::to_string(header.ChipType) + " (0x" + HexText(static_cast<unsigned>(header.ChipType), 4) + ")");
    row("Key offset:", std::to_string(header.KeyOffset));
    row("Step length:", std::to_string(header.StepLength));
    row("Key byte:", header.KeyByte ? "0x" + HexText(static_cast<unsigned>(*header.KeyByte), 2) : "(past the header)");
    row("Payload length:", std::to_string(header.PayloadLength) + " bytes");
  }
  row("Target:", TargetName(options.Target) + ": " + (info.Accepted ? "accepted" : "refused: " + info.Refusal));
  if (info.Image) {
    const TImageFacts& image = *info.Image;
    row("Image length:", std::to_string(image.Length) + " bytes (length bytes " +
                             LengthBytesText(image.LengthBytes, " ") + ")");
    row("Checksum:", HexText(static_cast<unsigned>(image.CheckSum), 4));
    row("Blocks:", std::to_string(image.Blocks) + ", the last of " + std::to_string(image.LastBlockSize) + " bytes");
  }
}

void PrintJson(const TFileInfo& info) {
  const TContainerHeader* header = info.Header ? &*info.Header : nullptr;
  const TImageFacts* image = info.Image ? &*info.Image : nullptr;
  TJsonObject json;
  json.Add("kind", info.Container ? "container" : "plain");
  json.Add("chip_type", header ? std::optional<int>(header->ChipType) : std::nullopt);
  json.Add("key_offset", header ? std::optional<int>(header->KeyOffset) : std::nullopt);
  json.Add("step_length", header ? std::optional<int>(header->StepLength) : std::nullopt);
  json.Add("key_byte", header ? header->KeyByte : std::nullopt);
  json.Add("payload_length", header ? std::optional<std::int64_t>(header->PayloadLength) : std::nullopt);
  json.Add("accepted", info.Accepted);
  json.Add("refusal", info.Accepted ? std::nullopt : std::optional<std::string>(info.Refusal));
  json.Add("image_length", image ? std::optional<std::int64_t>(image->Length) : std::nullopt);
  json.Add("length_bytes", image ? std::optional<std::string>(LengthBytesText(image->LengthBytes, "")) : std::nullopt);
  json.Add("checksum", image ? std::optional<int>(image->CheckSum) : std::nullopt);
  json.Add("blocks", image ? std::optional<std::int64_t>(image->Blocks) : std::nullopt);
  json.Add("last_block_size", image ? std::optional<int>(image->LastBlockSize) : std::nullopt);
  std::printf("%s\n", json.Text().c_str());
}

int RunInfo(const TInfoOptions& options) {
  TFileInfo info;
  if (!ExamineFile(options, info)) return ExitFailed;
  if (options.Json)
    PrintJson(info);
  else
    PrintText(options, info);
  return info.Accepted ? ExitOk : ExitFailed;
}

}  // namespace

void AddInfoCommand(CLI::App& app, TCommandAction& action) {
  auto options = std::make_shared<TInfoOptions>();
  CLI::App* command = app.add_subcommand("info", "Show what a job would program from a firmware file");
  command->footer(
      "For a container (.28, .usb, .osd): its header and whether the target accepts it. For the image that would "
      "be programmed: length, length bytes, checksum, number of blocks and size of the last one. Exit status 1 "
      "when the file is refused or unreadable.");
  command->add_option("FILE", options->File, "Plain image or scrambled container (.28, .usb, .osd)")->required();
  AddTargetOption(*command, options->Target);
  command->add_flag("--json", options->Json, "Print one JSON object");
  command->callback([options, &action] { action = [options] { return RunInfo(*options); }; });
}

}  // namespace kvm::cli
