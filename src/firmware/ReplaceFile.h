// Writing a file whole, so that readers never see half of it: the one way
// this utility replaces a file (the intermediate file, the unscrambled and
// scrambled outputs of the command line).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace kvm::firmware {

enum class TNewFileMode {
  Private,     // 0600 exactly, whatever the umask
  LikeTheOld,  // a replaced file keeps its mode; a new one gets 0666 less the umask
};

// Makes data the whole content of path. The bytes go to a new, short-named
// file beside it, created exclusively, which is then renamed over path: any
// name the file system accepts works, a link planted at path is replaced
// rather than followed, and a failed write leaves neither a partial file nor
// a changed path. False with what failed and the system's text in `error`
// ("write into F/.kvmflash-1a2b-3: No space left on device").
bool ReplaceFileContent(const std::string& path, const std::uint8_t* data, std::size_t size, TNewFileMode mode,
                 std::string& error);

#ifndef _WIN32
// All of the bytes to fd, across short writes and interruptions; false with
// errno set (EIO when the system wrote nothing without saying why).
bool WriteAll(int fd, const std::uint8_t* data, std::size_t size);
#endif

}  // namespace kvm::firmware
