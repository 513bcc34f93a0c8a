// --events and --log of `program`: the station's event stream and
// traceability record for the one unit a program run serves (from
// "unit-arrived" through "unit-finished", between "station-started" and
// "station-finished"). Off when neither file is given.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "core/ProgrammerState.h"
#include "core/StatusSink.h"
#include "jobs/SessionEvents.h"
#include "station/EventStream.h"
#include "station/FirmwareFiles.h"
#include "station/TraceLog.h"
#include "station/UnitEventFeed.h"

namespace kvm::hid::platform {
class THidPlatform;
}

namespace kvm::cli {

class TProgramRecording {
 public:
  explicit TProgramRecording(IStatusSink& terminal);
  ~TProgramRecording();

  // Checks the firmware files (for their summary) and opens the files; false
  // with the reason. Nothing is opened when both paths are empty. An output
  // that is one of the inputs (a firmware file, the recording replayed) is
  // refused before anything is written.
  bool Open(const std::string& usbHostFile, const std::string& osdFile, const std::string& eventsPath,
            const std::string& logPath, const std::string& replayFile, std::string& error);
  bool EventsOnStdout() const { return events_.OnStdout(); }

  // The sink the programmer's stack reports through: the terminal's, and
  // the unit's events.
  IStatusSink& Sink() { return sink_; }

  void Start();
  // The programmer is connected: its identity starts the unit.
  void Connected(hid::platform::THidPlatform& platform, const TProgrammerState& state);
  // Ctrl-C: the job's remaining attempts write nothing, so they are no
  // resends to report.
  void Interrupted();
  // Writes the unit's record and "station-finished"; returns the exit
  // status, which becomes 1 when the record could not be written.
  int Finish(int exitCode, bool interrupted);

 private:
  void OnEvent(const jobs::TSessionEvent& event);

  bool on_ = false;
  bool eventsLost_ = false;  // a line of --events could not be written
  std::vector<station::TFirmwareFile> files_;
  station::TEventStream events_;
  station::TTraceLog log_;
  station::TRecordingSink sink_;
  std::vector<jobs::TSessionEvent> early_;  // log lines before the unit was known
  std::unique_ptr<station::TUnitRecorder> recorder_;
  std::unique_ptr<station::TUnitEventFeed> feed_;
};

}  // namespace kvm::cli
