// The traceability log: one JSON line per finished unit, appended to a file
// that is never truncated or rewritten. Each record is written in one
// write(2) and is on the disk (fsync) before Append returns, so a process
// killed at any moment leaves only whole records behind.
#pragma once

#include <QJsonObject>
#include <string>

#include "station/JsonLinesFile.h"

namespace kvm::station {

class TTraceLog {
 public:
  // Without Open the log is off and Append succeeds without writing.
  bool Open(const std::string& path, std::string& error) { return file_.Open(path, false, error); }
  bool IsOn() const { return file_.IsOpen(); }
  // Adds "schema" and "time" to the record. False with the reason in error.
  bool Append(QJsonObject record, std::string& error);

 private:
  TJsonLinesFile file_;
};

}  // namespace kvm::station
