// The input reports a reader takes in one go, in the order read: each in a
// slot of the report length (report ID first) with its byte count. Sized
// once, so that reading and handing over allocate nothing.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "hid/platform/HidPlatform.h"

namespace kvm::hid {

class TReportBatch {
 public:
  // Reports taken in one go at most; more wait for the next one.
  static constexpr std::size_t MaxReports = 16;

  explicit TReportBatch(std::size_t reportLength)
      : length_(reportLength), bytes_(MaxReports * reportLength), lengths_(MaxReports) {}

  void Clear() { count_ = 0; }
  std::size_t Count() const { return count_; }
  bool Full() const { return count_ >= MaxReports; }
  const std::uint8_t* Report(std::size_t i) const { return bytes_.data() + i * length_; }
  std::size_t Length(std::size_t i) const { return lengths_[i]; }

  // Reads one report into the next slot (bytes it does not carry read as 0);
  // true when it brought one.
  bool ReadNext(platform::THidHandle& handle, int timeoutMs, platform::TReadStatus& status) {
    std::uint8_t* slot = bytes_.data() + count_ * length_;
    std::fill(slot, slot + length_, std::uint8_t{0});
    std::size_t got = 0;
    std::uint32_t error = 0;
    status = handle.Read(slot, length_, got, timeoutMs, error);
    const std::size_t bytes = std::min(got, length_);
    if (status != platform::TReadStatus::Data || bytes == 0) return false;
    lengths_[count_++] = bytes;
    return true;
  }

 private:
  std::size_t length_;
  std::vector<std::uint8_t> bytes_;
  std::vector<std::size_t> lengths_;
  std::size_t count_ = 0;
};

}  // namespace kvm::hid
