// The file that unscramble and scramble write.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kvm::cli {

// Makes data the whole content of `output`, or false with a message naming
// the output and what failed. Refused, with nothing changed: an output that is
// `input` (also through another name or a link), an existing output that is
// not a regular file (device node, FIFO, folder), an empty name. A symbolic
// link at `output` is replaced, not followed. A new file gets 0666 less the
// umask; a replaced file keeps its mode. The bytes go to a short-named file
// beside it that is renamed over it, so any name the file system accepts
// works and a failed write leaves the old file as it was.
bool WriteOutputFile(const std::string& output, const std::string& input, const std::vector<std::uint8_t>& data,
                     std::string& error);

}  // namespace kvm::cli
