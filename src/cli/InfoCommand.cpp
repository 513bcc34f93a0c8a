// kvmflash-cli info FILE: what a job would make of a firmware file.
#include <CLI/CLI.hpp>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>

#include "cli/Commands.h"
#include "cli/CommandSupport.h"
#include "firmware/ContainerHeader.h"
#include "cli/ExitCodes.h"
#include "cli/JsonOutput.h"
#include "cli/ProgramFileCheck.h"
#include "firmware/FileExamination.h"

namespace kvm::cli {

namespace {

struct TInfoOptions {
  std::string File;
  TTarget Target = TTarget::UsbHost;
  bool Json = false;
};

std::string LengthBytesText(std::int64_t length, const char* separator) {
  std::string text;
  for (int shift = 24; shift >= 0; shift -= 8)
    text += (shift == 24 ? "" : separator) + HexText(static_cast<unsigned>(length >> shift) & 0xFFu, 2);
  return text;
}

int LastBlockSize(const firmware::TBlockSequence& sequence) {
  constexpr int FirstBlockCount = 52;
  constexpr int FullBlockCount = 56;
  if (sequence.R > 0) return static_cast<int>(sequence.R);
  return sequence.F == 1 ? FirstBlockCount : FullBlockCount;
}

void PrintText(const TInfoOptions& options, const firmware::TFileExamination& file) {
  const auto row = [](const char* name, const std::string& value) {
    std::printf("%-16s %s\n", name, PrintableText(value).c_str());
  };
  row("File:", options.File);
  row("Kind:", file.Container ? "scrambled container" : "plain image");
  if (file.Header) {
    const firmware::TContainerHeader& header = *file.Header;
    row("Chip type:", std::to_string(header.ChipType) + " (0x" + HexText(static_cast<unsigned>(header.ChipType), 4) + ")");
    row("Key offset:", std::to_string(header.KeyOffset));
    row("Step length:", std::to_string(header.StepLength));
    row("Key byte:", header.KeyByte ? "0x" + HexText(static_cast<unsigned>(*header.KeyByte), 2) : "(past the header)");
    row("Payload length:", std::to_string(header.PayloadLength) + " bytes");
  }
  row("Target:", std::string(TargetName(options.Target)) + ": " + (file.Accepted() ? "accepted" : "refused"));
  if (file.Lookalike) row("Warning:", ContainerLookalikeAdvice(options.Target, options.File));
  // A refused file has no plan to show: no job would send a block of it.
  if (!file.Accepted()) return;
  const auto length = static_cast<std::int64_t>(file.Image.size());
  row("Image length:", std::to_string(length) + " bytes (length bytes " + LengthBytesText(length, " ") + ")");
  row("Checksum:", HexText(static_cast<unsigned>(file.CheckSum), 4));
  row("Blocks:", std::to_string(file.Blocks.BlockCount()) + ", the last of " +
                     std::to_string(LastBlockSize(file.Blocks)) + " bytes");
}

// A number, or null when there is none.
template <class T>
QJsonValue JsonNumber(const std::optional<T>& value) {
  return value ? QJsonValue(static_cast<qint64>(*value)) : QJsonValue(QJsonValue::Null);
}

// One object; for a refused file it is also the error object every command
// prints with --json ("error", "exit_code", "path"), with what is known.
void PrintJson(const firmware::TFileExamination& file, int exitCode) {
  const std::optional<firmware::TContainerHeader>& header = file.Header;
  const bool accepted = file.Accepted();
  const auto field = [&header](auto member) {
    return header ? JsonNumber(std::optional(std::invoke(member, *header))) : QJsonValue(QJsonValue::Null);
  };
  const auto imageField = [accepted](const QJsonValue& value) { return accepted ? value : QJsonValue(QJsonValue::Null); };
  const auto length = static_cast<std::int64_t>(file.Image.size());
  QJsonObject json{
      {"path", JsonText(file.Path)},
      {"kind", file.Container ? "container" : "plain"},
      {"chip_type", field(&firmware::TContainerHeader::ChipType)},
      {"key_offset", field(&firmware::TContainerHeader::KeyOffset)},
      {"step_length", field(&firmware::TContainerHeader::StepLength)},
      {"key_byte", header ? JsonNumber(header->KeyByte) : QJsonValue(QJsonValue::Null)},
      {"payload_length", field(&firmware::TContainerHeader::PayloadLength)},
      {"accepted", accepted},
      {"container_lookalike", file.Lookalike},
      {"image_length", imageField(static_cast<qint64>(length))},
      {"length_bytes", imageField(QString::fromStdString(LengthBytesText(length, "")))},
      {"checksum", imageField(file.CheckSum)},
      {"blocks", imageField(static_cast<qint64>(file.Blocks.BlockCount()))},
      {"last_block_size", imageField(LastBlockSize(file.Blocks))},
  };
  if (!accepted) {
    json.insert("error", JsonText(file.Reason));
    json.insert("exit_code", exitCode);
    MarkJsonErrorPrinted();
  }
  PrintJsonDocument(QJsonDocument(json));
}

int RunInfo(const TInfoOptions& options) {
  const firmware::TFileExamination file = firmware::Examine(TargetCode(options.Target), options.File);
  const int exitCode = file.Accepted() ? ExitOk : ExitFailed;
  if (options.Json)
    PrintJson(file, exitCode);
  else
    PrintText(options, file);
  if (!file.Accepted()) PrintError(file.Reason);
  return exitCode;
}

}  // namespace

void AddInfoCommand(CLI::App& app, TCommandAction& action) {
  auto options = std::make_shared<TInfoOptions>();
  CLI::App* command = app.add_subcommand("info", "Show what a job would program from a firmware file");
  command->footer(
      "For a container (.28, .usb, .osd): its header and whether the target accepts it. For the image that would "
      "be programmed: length, length bytes, checksum, number of blocks and size of the last one. A refused file "
      "shows no blocks; its reason goes to standard error (with --json, the object also carries \"error\" and "
      "\"exit_code\"). Exit status 1 when the file is refused or unreadable.");
  command->add_option("FILE", options->File, "Plain image or scrambled container (.28, .usb, .osd)")->required();
  AddTargetOption(*command, options->Target);
  command->add_flag("--json", options->Json, "Print one JSON object, with the file's path");
  command->callback([options, &action] { action = [options] { return RunInfo(*options); }; });
}

}  // namespace kvm::cli
