// Output reports as the utility writes them, for driving the emulator.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "emulator/ProgrammerEmulator.h"

namespace kvm::emulator::test {

// The emulator's own status and value replies, to compare with.
inline std::vector<std::uint8_t> StatusReply(std::uint8_t code) { return TProgrammerEmulator::StatusReport(code); }
inline std::vector<std::uint8_t> ValueReply(std::uint16_t value) { return TProgrammerEmulator::ValueReport(value); }

inline std::vector<std::uint8_t> CommandReport(std::uint8_t target, std::uint8_t command) {
  std::vector<std::uint8_t> report(64, 0);
  report[0] = 0x04;
  report[1] = target;
  report[2] = command;
  return report;
}

inline std::vector<std::uint8_t> BlockReport(std::uint8_t target, std::uint16_t number,
                                             const std::vector<std::uint8_t>& data) {
  std::vector<std::uint8_t> report = CommandReport(target, 0x06);
  report[3] = static_cast<std::uint8_t>(number >> 8);
  report[4] = static_cast<std::uint8_t>(number);
  report[5] = static_cast<std::uint8_t>(data.size());
  std::copy(data.begin(), data.end(), report.begin() + 8);
  return report;
}

// The blocks of an image: block 0 is the length (MSB first) and 48 image bytes
// (zero-padded), then 56 bytes a block, the rest in a last block.
inline std::vector<std::vector<std::uint8_t>> ImageBlocks(const std::vector<std::uint8_t>& image) {
  const auto size = static_cast<std::uint32_t>(image.size());
  std::vector<std::uint8_t> first = {static_cast<std::uint8_t>(size >> 24), static_cast<std::uint8_t>(size >> 16),
                                     static_cast<std::uint8_t>(size >> 8), static_cast<std::uint8_t>(size)};
  for (std::size_t i = 0; i < 48; ++i) first.push_back(i < image.size() ? image[i] : 0);
  std::vector<std::vector<std::uint8_t>> blocks = {first};
  for (std::size_t at = 48; at < image.size(); at += 56)
    blocks.emplace_back(image.begin() + at, image.begin() + std::min(image.size(), at + 56));
  return blocks;
}

}  // namespace kvm::emulator::test
