// Machine output (--json): documents and errors as JSON on standard output,
// written with Qt's JSON classes.
#pragma once

#include <QJsonDocument>
#include <QJsonValue>
#include <string>

namespace kvm::cli {

// The document, indented, and a line end.
void PrintJsonDocument(const QJsonDocument& document);
// A string value; control characters in it become JSON escapes.
QJsonValue JsonText(const std::string& text);
// {"error": message, "exit_code": exitCode}, and "path" for an error about a file.
void PrintJsonError(const std::string& message, int exitCode, const std::string& path = {});
// A command printed its error in an object of its own: no second one.
void MarkJsonErrorPrinted();
bool JsonErrorPrinted();

}  // namespace kvm::cli
