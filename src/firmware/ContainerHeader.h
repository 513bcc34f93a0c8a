// The 16-byte header of a scrambled firmware container as a file carries it
// (whatever the target), and the building of a container from an image: the
// public side of the container format, for the command line, the demo and
// the tests. The job's own checked reading is in Container.h.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kvm::firmware {

inline constexpr std::size_t ContainerHeaderLength = 16;
inline constexpr int LastKeyOffset = 11;  // the key byte must lie inside the header
inline constexpr int DefaultChipType = 300;

struct TContainerHeader {
  int ChipType = 0;      // bytes 0-1, most significant first, as stored
  int KeyOffset = 0;     // low nibble of byte 2
  int StepLength = 0;    // low nibble of byte 3
  std::optional<int> KeyByte;  // none when KeyOffset points past the header
  std::int64_t PayloadLength = 0;
};

// The header fields of a container of `fileLength` bytes whose first bytes are
// `head`; none when the file is shorter than a header.
std::optional<TContainerHeader> ParseContainerHeader(const std::vector<std::uint8_t>& head, std::int64_t fileLength);

struct TScrambleKey {
  int ChipType = DefaultChipType;  // 0..65535
  int KeyOffset = 0;               // 0..LastKeyOffset
  int StepLength = 8;              // 1..15
  int KeyByte = 0xA5;              // 0..255
};

// Empty when the key is usable, else why not.
std::string CheckScrambleKey(const TScrambleKey& key);

// A container whose unscrambled payload is `image`. Throws
// std::invalid_argument for a key that CheckScrambleKey refuses.
std::vector<std::uint8_t> BuildContainer(const std::vector<std::uint8_t>& image, const TScrambleKey& key);

}  // namespace kvm::firmware
