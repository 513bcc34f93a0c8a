// The parser's complaints in the words of this utility.
#pragma once

#include <string>

namespace kvm::cli {

// CLI11's text for a parse error ("--serial: At Most 1 required but received
// 2") said in words ("--serial is given 2 times; give it once"); a text it
// does not know comes back as it is.
std::string UsageInWords(const std::string& parserText);

}  // namespace kvm::cli
