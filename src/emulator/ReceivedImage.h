// The image a programmer has received for one target, block by block.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace kvm::emulator {

enum class TBlockResult {
  Stored,     // the next block in sequence
  Replaced,   // the same number as the last block again (a retry)
  OutOfOrder, // a gap or an older block: refused
  Malformed,  // block 0 too short to carry the four length bytes
};

class TReceivedImage {
 public:
  // Forgets everything (initialising the target starts a new image).
  void Reset();
  // Block 0 always starts a new image: its first four bytes are the image
  // length, most significant first, the rest image bytes.
  TBlockResult AcceptBlock(std::uint16_t number, const std::uint8_t* data, std::size_t count);

  // The length block 0 announced; unset before block 0.
  std::optional<std::uint32_t> ToldLength() const { return toldLength_; }
  // Every image byte received, in order (block 0 padding included).
  std::vector<std::uint8_t> ReceivedBytes() const;
  // The image proper: the received bytes cut to the told length.
  std::vector<std::uint8_t> Image() const;
  // 16-bit sum of Image(), the way the chip sums its flash.
  std::uint16_t CheckSum() const;
  int BlockCount() const { return static_cast<int>(blocks_.size()); }

 private:
  std::optional<std::uint32_t> toldLength_;
  std::vector<std::vector<std::uint8_t>> blocks_;  // image bytes of each block, block 0 without its length bytes
};

}  // namespace kvm::emulator
