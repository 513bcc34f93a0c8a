// Firmware image files: scrambled containers, the intermediate file, the file
// checksum and length, and the block sequence in which an image is sent.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace kvm::firmware {

// Results of the file operations. 0 and the first two are the container
// check's own; the others refuse files that cannot be programmed safely.
inline constexpr int ImageOk = 0;
inline constexpr int UnknownChipType = -1;       // ChipType is none of 28, 56, 300
inline constexpr int ChipTypeNotForTarget = -2;  // known chip type, wrong target
inline constexpr int MalformedContainer = -3;    // under 16 bytes, StepLength 0, KeyOffset 12..15
inline constexpr int FileUnreadable = -4;        // cannot open or read the file
inline constexpr int FileUnwritable = -5;        // cannot write the intermediate file
inline constexpr int ImageEmpty = -6;            // nothing to program
inline constexpr int ImageTooLarge = -7;         // block numbers or the length would not fit

// Text for the operator for each result above (empty for ImageOk).
std::string ImageResultText(int result);
// What the last failing file operation of this thread ran into, naming the
// file and the system's reason ("open /x/a.usb: No such file or directory");
// empty after a success.
std::string LastImageErrorDetail();

// The extension of a file name: from the last '.' after the last '/', '\' or
// ':', the dot included; empty when there is none.
std::string FileExtension(const std::string& name);
// Exactly ".28", ".usb" or ".osd" (letter case included).
bool IsContainerName(const std::string& name);
// The container ending a target's files carry by custom: ".usb" or ".osd".
std::string CustomContainerEnding(int targetCode);
// ".28, .usb or .osd", for messages.
std::string ContainerEndingsText();

// The one fixed, private path of the intermediate file for this user.
std::string IntermediateFile();

// Checks the container's chip type against the target and writes the
// unscrambled payload to IntermediateFile(). Nothing is written on failure.
int UnscrambleContainer(int targetCode, const std::string& containerPath);
// The same, writing to `intermediatePath` (a file of its own for each of
// several sessions at once) in a private folder checked like the default one.
int UnscrambleContainer(int targetCode, const std::string& containerPath, const std::string& intermediatePath);
// The same, writing to the given path (tests, command line).
int UnscrambleContainerTo(int targetCode, const std::string& containerPath, const std::string& outputPath);

// The first `limit` bytes of a regular file (all of it by default) and its
// length, or false with "<action> <path>: <reason>" in error. A FIFO or
// device is refused at once instead of blocking in open.
bool ReadFileHead(const std::string& path, std::vector<std::uint8_t>& data, std::int64_t& fileLength,
                  std::string& error, std::size_t limit = SIZE_MAX);

// 16-bit sum of all bytes of the file (0..65535), or FileUnreadable.
int FileCheckSum(const std::string& path);
// The file's length, most significant byte first. False when unreadable or
// longer than 32 bits.
bool FileLengthBytes(const std::string& path, std::array<std::uint8_t, 4>& lengthBytes);

// Block sequence of an image of S bytes: block 0 carries the 4 length bytes
// and image bytes 0..47, blocks 1..F-1 carry 56 bytes, block F the remainder R
// when R > 0. Div and mod truncate toward zero.
struct TBlockSequence {
  std::int64_t S = 0;
  std::int64_t F = 0;
  std::int64_t R = 0;
  std::int64_t BlockCount() const { return R > 0 ? F + 1 : F; }
};
TBlockSequence BlockSequenceOf(std::int64_t imageLength);
// Block numbers travel as 16 bits: 65,536 blocks at most, so this many bytes.
inline constexpr std::int64_t MaxBlockCount = 65536;
inline constexpr std::int64_t MaxImageLength = 48 + 56 * (MaxBlockCount - 1);
// ImageOk, ImageEmpty or ImageTooLarge for an image of that length.
int CheckImageLength(std::int64_t imageLength);

// Reads an image block by block, in order, the way a job sends it. The file is
// opened read-only by Open and closed by Close or destruction.
class TBlockReader {
 public:
  TBlockReader();
  ~TBlockReader();
  TBlockReader(const TBlockReader&) = delete;
  TBlockReader& operator=(const TBlockReader&) = delete;

  // ImageOk, FileUnreadable, ImageEmpty or ImageTooLarge.
  int Open(const std::string& path);
  const TBlockSequence& Sequence() const { return sequence_; }
  const std::array<std::uint8_t, 4>& LengthBytes() const { return lengthBytes_; }
  // Fills buffer with the next block (0, 1, ... BlockCount()-1) and its byte
  // count (52, 56 or R). The buffer is reused: bytes past count are left as
  // they were. ImageOk or FileUnreadable (also when the file changed size).
  int ReadNextBlock(std::array<std::uint8_t, 64>& buffer, int& count);
  void Close();

 private:
  int fd_ = -1;
  std::string path_;
  std::int64_t next_ = 0;
  TBlockSequence sequence_;
  std::array<std::uint8_t, 4> lengthBytes_{};
};

}  // namespace kvm::firmware
