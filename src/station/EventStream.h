// The station's event stream: JSON Lines for line-controller software, one
// object per event, each written and flushed as it happens. Every object
// carries "schema", "time" and "event"; see docs/station.md for the events and keys.
#pragma once

#include <QJsonObject>
#include <functional>
#include <string>

#include "station/JsonLinesFile.h"

namespace kvm::station {

class TEventStream {
 public:
  // Without Open the stream is off and Emit does nothing.
  bool Open(const std::string& path, std::string& error) { return file_.Open(path, true, error); }
  bool IsOn() const { return file_.IsOpen(); }
  // True when the events go to standard output, which then carries nothing else.
  bool OnStdout() const { return file_.IsStdout(); }

  // Emits {"schema": 1, "time": ..., "event": event} with the fields added.
  // The first failing write is reported through OnError; later events are
  // still attempted.
  void Emit(const char* event, QJsonObject fields = {});

  std::function<void(const std::string&)> OnError;
  // Sees every event, written or not (the station window draws from them);
  // set before the run starts; called from the emitting thread.
  std::function<void(const QJsonObject& event)> Tap;

 private:
  TJsonLinesFile file_;
  bool errorReported_ = false;
};

}  // namespace kvm::station
