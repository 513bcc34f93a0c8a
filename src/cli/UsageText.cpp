#include "cli/UsageText.h"

#include <QRegularExpression>
#include <QString>

#include <vector>

namespace kvm::cli {

namespace {

// Qt's expressions rather than std::regex: GCC 12 warns inside <regex> at
// the sanitizer builds' -O1 (a false "may be used uninitialized").
struct TWording {
  QRegularExpression Pattern;
  QString Words;  // \1, \2 ... stand for the captured parts
};

const std::vector<TWording>& Wordings() {
  static const std::vector<TWording> wordings = {
      {QRegularExpression("^(\\S+): At Most 1 required but received (\\d+)$"), "\\1 is given \\2 times; give it once"},
      {QRegularExpression("^(\\S+): At Most (\\d+) required but received (\\d+)$"), "\\1 is given \\3 times; give it at most \\2 times"},
      {QRegularExpression("^(\\S+): At least \\d+ required but received 0$"), "\\1 needs a value"},
      {QRegularExpression("^(\\S+): \\d+ required \\S+ missing$"), "\\1 needs a value"},
      {QRegularExpression("^Expected exactly 1 arguments to (\\S+), got 0$"), "\\1 needs a value"},
      {QRegularExpression("^Expected exactly (\\d+) arguments to (\\S+), got (\\d+)$"), "\\2 takes \\1 values, not \\3"},
      {QRegularExpression("^([A-Z]+) is required$"), "the argument \\1 is missing"},
      {QRegularExpression("^(\\S+) is required$"), "\\1 must be given"},
      {QRegularExpression("^(\\S+) requires (\\S+)$"), "\\1 can only be given together with \\2"},
      {QRegularExpression("^(\\S+) excludes (\\S+)$"), "\\1 cannot be given together with \\2"},
      {QRegularExpression("^The following arguments? (?:was|were) not expected: (.*)$"), "not an option or argument here: \\1"},
      {QRegularExpression("^Could not convert: (\\S+) = (.*)$"), "\\1: '\\2' is not a value it takes"},
      {QRegularExpression("^The value (.*) is not an allowed value for (\\S+)$"), "\\2: '\\1' is not a value it takes"},
      {QRegularExpression("^(\\S+): Should be true/false or a number$"), "\\1 is a switch and takes no value"},
      {QRegularExpression("^(\\S+): too many inputs for a flag$"), "\\1 is a switch and takes no value"},
  };
  return wordings;
}

}  // namespace

std::string UsageInWords(const std::string& parserText) {
  const QString text = QString::fromStdString(parserText);
  for (const TWording& wording : Wordings())
    if (wording.Pattern.match(text).hasMatch()) return QString(text).replace(wording.Pattern, wording.Words).toStdString();
  return parserText;
}

}  // namespace kvm::cli
