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
}  // namespace CLI

namespace kvm::cli {

// "kvmflash-cli: " and the message on standard error.
void PrintError(const std::string& message);

// --target usb-host|osd, default usb-host.
CLI::Option* AddTargetOption(CLI::App& command, TTarget& target);
// "USB Host" or "OSD", as the window names the targets.
std::string TargetName(TTarget target);

// Upper-case hexadecimal, zero-padded to `digits`.
std::string HexText(unsigned value, int digits);

// The first `limit` bytes of a regular file (all of it by default) and its
// length, or false with "<action> <path>: <reason>" in error.
bool ReadFileHead(const std::string& path, std::vector<std::uint8_t>& data, std::int64_t& fileLength,
                  std::string& error, std::size_t limit = SIZE_MAX);
bool ReadWholeFile(const std::string& path, std::vector<std::uint8_t>& data, std::string& error);
// Creates or replaces the file, or false with "write <path>: <reason>".
bool WriteWholeFile(const std::string& path, const std::vector<std::uint8_t>& data, std::string& error);

}  // namespace kvm::cli
