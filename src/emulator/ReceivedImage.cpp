#include "emulator/ReceivedImage.h"

#include <algorithm>

namespace kvm::emulator {

void TReceivedImage::Reset() {
  toldLength_.reset();
  blocks_.clear();
}

TBlockResult TReceivedImage::AcceptBlock(std::uint16_t number, const std::uint8_t* data, std::size_t count) {
  if (number == 0) {
    if (count < 4) return TBlockResult::Malformed;
    const bool retry = blocks_.size() == 1;
    blocks_.clear();
    toldLength_ = (std::uint32_t{data[0]} << 24) | (std::uint32_t{data[1]} << 16) | (std::uint32_t{data[2]} << 8) |
                  std::uint32_t{data[3]};
    blocks_.emplace_back(data + 4, data + count);
    return retry ? TBlockResult::Replaced : TBlockResult::Stored;
  }
  if (number == blocks_.size()) {
    blocks_.emplace_back(data, data + count);
    return TBlockResult::Stored;
  }
  if (number + 1u == blocks_.size()) {
    blocks_.back().assign(data, data + count);
    return TBlockResult::Replaced;
  }
  return TBlockResult::OutOfOrder;
}

std::vector<std::uint8_t> TReceivedImage::ReceivedBytes() const {
  std::vector<std::uint8_t> bytes;
  for (const auto& block : blocks_) bytes.insert(bytes.end(), block.begin(), block.end());
  return bytes;
}

std::vector<std::uint8_t> TReceivedImage::Image() const {
  std::vector<std::uint8_t> bytes = ReceivedBytes();
  if (bytes.size() > toldLength_.value_or(0)) bytes.resize(toldLength_.value_or(0));
  return bytes;
}

std::uint16_t TReceivedImage::CheckSum() const {
  std::uint16_t sum = 0;
  for (std::uint8_t b : Image()) sum = static_cast<std::uint16_t>(sum + b);
  return sum;
}

}  // namespace kvm::emulator
