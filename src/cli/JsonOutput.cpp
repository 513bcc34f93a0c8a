#include "cli/JsonOutput.h"

#include <QJsonObject>
#include <cstdio>

namespace kvm::cli {

void PrintJsonDocument(const QJsonDocument& document) {
  // Invalid UTF-8 in a file name or a device string becomes U+FFFD here, so
  // the output always parses.
  const QByteArray text = document.toJson(QJsonDocument::Indented);
  std::fwrite(text.constData(), 1, static_cast<std::size_t>(text.size()), stdout);
  std::fflush(stdout);
}

void PrintJsonError(const std::string& message, int exitCode) {
  PrintJsonDocument(QJsonDocument(QJsonObject{{"error", QString::fromStdString(message)}, {"exit_code", exitCode}}));
}

}  // namespace kvm::cli
