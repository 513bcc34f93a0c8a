// Read-only access to an image or container file, with the failure recorded.
#pragma once

#include <cstdint>
#include <string>

namespace kvm::firmware::detail {

// Opens a regular file read-only and takes its length. ImageOk, or
// FileUnreadable with the reason recorded (fd stays -1).
int OpenImageFile(const std::string& path, int& fd, std::int64_t& size);

// Reads until n bytes are in or the file ends. The number of bytes read, or -1
// with the reason recorded.
std::int64_t ReadUpTo(int fd, const std::string& path, std::uint8_t* data, std::int64_t n);

// The file's length now, or -1 with the reason recorded.
std::int64_t CurrentSize(int fd, const std::string& path);

void CloseFile(int& fd);

// Closes the file when the operation that opened it returns.
class TFileCloser {
 public:
  explicit TFileCloser(int& fd) : fd_(fd) {}
  ~TFileCloser() { CloseFile(fd_); }
  TFileCloser(const TFileCloser&) = delete;
  TFileCloser& operator=(const TFileCloser&) = delete;

 private:
  int& fd_;
};

}  // namespace kvm::firmware::detail
