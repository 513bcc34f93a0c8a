// Pieces that several subcommands share: error output, the --target option
// and reading and writing whole files.
#pragma once

#include <cstdint>
#include <cstddef>
#include <string>
#include <vector>

#include "core/JobView.h"

namespace CLI {
class App;
class Option;
class Validator;
}  // namespace CLI

namespace kvm::cli {

// "kvmflash-cli: " and the message on standard error, control characters
// escaped.
void PrintError(const std::string& message);
// The first message PrintError printed (for --json), or empty.
std::string FirstError();
// The file the first error concerns (for --json), or empty.
void SetErrorPath(const std::string& path);
std::string ErrorPath();

// The text with control characters written as escapes (\n, \t, \r, \x1B,
// \u009B for the C1 controls),
// so that a file name cannot forge a line or move the terminal's cursor.
std::string PrintableText(const std::string& text);

// --target usb-host|osd, default usb-host.
CLI::Option* AddTargetOption(CLI::App& command, TTarget& target);
// A whole number from minimum to maximum, decimal or 0x hexadecimal; its
// message says so in words.
CLI::Validator NumberIn(long minimum, long maximum);
// A number of seconds (fractions allowed) from minimum to maximum, in words.
CLI::Validator SecondsIn(double minimum, double maximum);

// Empty when `path` can be given to `option` (an --events or --log file that
// is appended to), else why not, naming the option and the path ("--log
// logs: is a folder"). "-" is standard output where `stdoutAllowed`.
std::string AppendFileProblem(const std::string& option, const std::string& path, bool stdoutAllowed);
// The --events and --log files of program and station: the first problem of
// either (AppendFileProblem), or empty when both can be appended to.
std::string EventsAndLogProblem(const std::string& eventsPath, const std::string& logPath);

// Upper-case hexadecimal, zero-padded to `digits`.
std::string HexText(unsigned value, int digits);

bool ReadWholeFile(const std::string& path, std::vector<std::uint8_t>& data, std::string& error);
// Creates or replaces the file, or false with "write <path>: <reason>".
bool WriteWholeFile(const std::string& path, const std::vector<std::uint8_t>& data, std::string& error);

}  // namespace kvm::cli
