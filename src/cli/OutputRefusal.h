// Why an output of unscramble or scramble must not be written, per system.
#pragma once

#include <string>

namespace kvm::cli {

// Empty when `output` may be replaced or made; otherwise what is wrong with
// it: it is `input` (also through another name or a link), or it exists and
// is not a regular file, or the system cannot tell (with its reason).
std::string OutputRefusal(const std::string& output, const std::string& input);

}  // namespace kvm::cli
