#include "cli/JsonOutput.h"

#include <QJsonObject>
#include <cstdio>

namespace kvm::cli {

namespace {
bool errorPrinted = false;
}  // namespace

void MarkJsonErrorPrinted() { errorPrinted = true; }
bool JsonErrorPrinted() { return errorPrinted; }

void PrintJsonDocument(const QJsonDocument& document) {
  // Invalid UTF-8 in a file name or a device string becomes U+FFFD here, so
  // the output always parses.
  const QByteArray text = document.toJson(QJsonDocument::Indented);
  std::fwrite(text.constData(), 1, static_cast<std::size_t>(text.size()), stdout);
  std::fflush(stdout);
}

QJsonValue JsonText(const std::string& text) { return QString::fromStdString(text); }

void PrintJsonError(const std::string& message, int exitCode, const std::string& path) {
  QJsonObject error{{"error", JsonText(message)}, {"exit_code", exitCode}};
  if (!path.empty()) error.insert("path", JsonText(path));
  PrintJsonDocument(QJsonDocument(error));
}

}  // namespace kvm::cli
