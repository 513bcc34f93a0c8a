#include "station/TraceLog.h"

namespace kvm::station {

bool TTraceLog::Append(QJsonObject record, std::string& error) {
  if (!file_.IsOpen()) return true;
  record.insert("schema", EventSchema);
  record.insert("time", EventTimeNow());
  return file_.Write(record, true, error);
}

}  // namespace kvm::station
