#include "firmware/ContainerHeader.h"

#include <stdexcept>

#include "firmware/Container.h"

namespace kvm::firmware {

namespace {
constexpr std::size_t KeyAreaStart = 4;
}  // namespace

std::optional<TContainerHeader> ParseContainerHeader(const std::vector<std::uint8_t>& head, std::int64_t fileLength) {
  if (head.size() < ContainerHeaderLength || fileLength < static_cast<std::int64_t>(ContainerHeaderLength))
    return std::nullopt;
  TContainerHeader header;
  header.ChipType = head[0] << 8 | head[1];
  header.KeyOffset = head[2] & 0x0F;
  header.StepLength = head[3] & 0x0F;
  if (header.KeyOffset <= LastKeyOffset) header.KeyByte = head[KeyAreaStart + header.KeyOffset];
  header.PayloadLength = fileLength - static_cast<std::int64_t>(ContainerHeaderLength);
  return header;
}

std::string CheckScrambleKey(const TScrambleKey& key) {
  if (key.ChipType < 0 || key.ChipType > 0xFFFF) return "the chip type must be 0..65535";
  if (key.KeyOffset < 0 || key.KeyOffset > LastKeyOffset)
    return "the key offset must be 0.." + std::to_string(LastKeyOffset);
  if (key.StepLength < 1 || key.StepLength > 15) return "the step length must be 1..15";
  if (key.KeyByte < 0 || key.KeyByte > 0xFF) return "the key byte must be 0..255";
  return {};
}

std::vector<std::uint8_t> BuildContainer(const std::vector<std::uint8_t>& image, const TScrambleKey& key) {
  if (const std::string problem = CheckScrambleKey(key); !problem.empty()) throw std::invalid_argument(problem);
  std::vector<std::uint8_t> container(ContainerHeaderLength + image.size(), 0);
  container[0] = static_cast<std::uint8_t>(key.ChipType >> 8);
  container[1] = static_cast<std::uint8_t>(key.ChipType);
  container[2] = static_cast<std::uint8_t>(key.KeyOffset);
  container[3] = static_cast<std::uint8_t>(key.StepLength);
  container[KeyAreaStart + key.KeyOffset] = static_cast<std::uint8_t>(key.KeyByte);
  // Unscrambling is its own inverse, so the job's own unscrambler scrambles.
  detail::TCheckedHeader header;
  header.ChipType = key.ChipType;
  header.KeyOffset = key.KeyOffset;
  header.StepLength = key.StepLength;
  header.KeyByte = static_cast<std::uint8_t>(key.KeyByte);
  detail::UnscramblePayload(header, image.data(), container.data() + ContainerHeaderLength, image.size());
  return container;
}

}  // namespace kvm::firmware
