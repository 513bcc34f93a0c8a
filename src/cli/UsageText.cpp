#include "cli/UsageText.h"

#include <regex>

namespace kvm::cli {

namespace {

struct TWording {
  std::regex Pattern;
  const char* Words;  // std::regex_replace format: $1, $2 ...
};

const std::vector<TWording>& Wordings() {
  static const std::vector<TWording> wordings = {
      {std::regex("^(\\S+): At Most 1 required but received (\\d+)$"), "$1 is given $2 times; give it once"},
      {std::regex("^(\\S+): At Most (\\d+) required but received (\\d+)$"), "$1 is given $3 times; give it at most $2 times"},
      {std::regex("^(\\S+): At least \\d+ required but received 0$"), "$1 needs a value"},
      {std::regex("^(\\S+): \\d+ required \\S+ missing$"), "$1 needs a value"},
      {std::regex("^Expected exactly 1 arguments to (\\S+), got 0$"), "$1 needs a value"},
      {std::regex("^Expected exactly (\\d+) arguments to (\\S+), got (\\d+)$"), "$2 takes $1 values, not $3"},
      {std::regex("^([A-Z]+) is required$"), "the argument $1 is missing"},
      {std::regex("^(\\S+) is required$"), "$1 must be given"},
      {std::regex("^(\\S+) requires (\\S+)$"), "$1 can only be given together with $2"},
      {std::regex("^(\\S+) excludes (\\S+)$"), "$1 cannot be given together with $2"},
      {std::regex("^The following arguments? (?:was|were) not expected: (.*)$"), "not an option or argument here: $1"},
      {std::regex("^Could not convert: (\\S+) = (.*)$"), "$1: '$2' is not a value it takes"},
      {std::regex("^The value (.*) is not an allowed value for (\\S+)$"), "$2: '$1' is not a value it takes"},
      {std::regex("^(\\S+): Should be true/false or a number$"), "$1 is a switch and takes no value"},
      {std::regex("^(\\S+): too many inputs for a flag$"), "$1 is a switch and takes no value"},
  };
  return wordings;
}

}  // namespace

std::string UsageInWords(const std::string& parserText) {
  for (const TWording& wording : Wordings())
    if (std::regex_match(parserText, wording.Pattern)) return std::regex_replace(parserText, wording.Pattern, wording.Words);
  return parserText;
}

}  // namespace kvm::cli
