// Machine output (--json): documents and errors as JSON on standard output,
// written with Qt's JSON classes.
#pragma once

#include <QJsonDocument>
#include <string>

namespace kvm::cli {

// The document, indented, and a line end.
void PrintJsonDocument(const QJsonDocument& document);
// {"error": message, "exit_code": exitCode}
void PrintJsonError(const std::string& message, int exitCode);

}  // namespace kvm::cli
