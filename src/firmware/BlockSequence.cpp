#include <algorithm>

#include "firmware/FirmwareImage.h"
#include "firmware/ImageErrors.h"
#include "firmware/ReadOnlyFile.h"

namespace kvm::firmware {

namespace {
constexpr std::int64_t FirstBlockImageBytes = 48;
constexpr std::int64_t FullBlockBytes = 56;
constexpr int FirstBlockCount = 4 + static_cast<int>(FirstBlockImageBytes);

std::array<std::uint8_t, 4> BigEndianLength(std::int64_t length) {
  const auto value = static_cast<std::uint32_t>(length);
  return {static_cast<std::uint8_t>(value >> 24), static_cast<std::uint8_t>(value >> 16),
          static_cast<std::uint8_t>(value >> 8), static_cast<std::uint8_t>(value)};
}
}  // namespace

TBlockSequence BlockSequenceOf(std::int64_t imageLength) {
  TBlockSequence sequence;
  sequence.S = imageLength;
  // C++ division truncates toward zero, which is what makes F = 1 and R <= 0
  // for images shorter than block 0.
  sequence.F = (imageLength - FirstBlockImageBytes) / FullBlockBytes + 1;
  sequence.R = (imageLength - FirstBlockImageBytes) % FullBlockBytes;
  return sequence;
}

int CheckImageLength(std::int64_t imageLength) {
  if (imageLength <= 0) return ImageEmpty;
  if (imageLength > MaxImageLength || imageLength > 0xFFFFFFFFll) return ImageTooLarge;
  return ImageOk;
}

TBlockReader::TBlockReader() = default;

TBlockReader::~TBlockReader() { Close(); }

int TBlockReader::Open(const std::string& path) {
  Close();
  detail::ClearErrorDetail();
  sequence_ = {};
  lengthBytes_ = {};
  std::int64_t size = 0;
  if (const int opened = detail::OpenImageFile(path, fd_, size); opened != ImageOk) return opened;
  if (const int checked = CheckImageLength(size); checked != ImageOk) {
    Close();
    return detail::FailWithText(checked, path + " has " + std::to_string(size) + " bytes; " +
                                             (checked == ImageEmpty ? "nothing to program"
                                                                    : "more than 65536 blocks"));
  }
  path_ = path;
  sequence_ = BlockSequenceOf(size);
  lengthBytes_ = BigEndianLength(size);
  next_ = 0;
  return ImageOk;
}

int TBlockReader::ReadNextBlock(std::array<std::uint8_t, 64>& buffer, int& count) {
  count = 0;
  if (fd_ < 0 || next_ >= sequence_.BlockCount())
    return detail::FailWithText(FileUnreadable, "no block left to read from " + path_);
  // A file that changed since Open would no longer match the length sent in block 0.
  const std::int64_t size = detail::CurrentSize(fd_, path_);
  if (size < 0) return FileUnreadable;
  if (size != sequence_.S)
    return detail::FailWithText(FileUnreadable, path_ + " changed size while it was programmed");

  std::int64_t wanted = FullBlockBytes;
  std::uint8_t* target = buffer.data();
  if (next_ == 0) {
    // Read straight to offset 4 instead of moving 48 bytes up afterwards.
    wanted = std::min(sequence_.S, FirstBlockImageBytes);
    target = buffer.data() + 4;
  } else if (next_ == sequence_.F) {
    wanted = sequence_.R;
  }
  const std::int64_t got = detail::ReadUpTo(fd_, path_, target, wanted);
  if (got < 0) return FileUnreadable;
  if (got != wanted)
    return detail::FailWithText(FileUnreadable, path_ + " ended before its last block");

  if (next_ == 0) {
    std::copy(lengthBytes_.begin(), lengthBytes_.end(), buffer.begin());
    // An image shorter than block 0 is padded with zeros, never with the
    // leftovers of an earlier job.
    std::fill(buffer.begin() + 4 + wanted, buffer.begin() + FirstBlockCount, 0);
    count = FirstBlockCount;
  } else {
    count = static_cast<int>(wanted);
  }
  ++next_;
  return ImageOk;
}

void TBlockReader::Close() {
  detail::CloseFile(fd_);
  next_ = 0;
}

}  // namespace kvm::firmware
