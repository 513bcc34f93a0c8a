#include "station/EventStream.h"

namespace kvm::station {

void TEventStream::Emit(const char* event, QJsonObject fields) {
  if (!file_.IsOpen() && !Tap) return;
  fields.insert("schema", EventSchema);
  fields.insert("time", EventTimeNow());
  fields.insert("event", QString::fromLatin1(event));
  if (Tap) Tap(fields);
  if (!file_.IsOpen()) return;
  std::string error;
  if (!file_.Write(fields, false, error) && !errorReported_) {
    errorReported_ = true;
    if (OnError) OnError(error);
  }
}

}  // namespace kvm::station
