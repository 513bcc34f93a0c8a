// The count of finished units and the exit status of a station run.
#pragma once

#include <string>
#include <vector>

namespace kvm::station {

struct TStationTally {
  int UnitsOk = 0;
  int UnitsFailed = 0;
  bool InterruptedWhileRunning = false;  // Ctrl-C or SIGTERM came while a unit ran
  bool RecordLost = false;               // a traceability record could not be written
  // Every output that failed ("traceability record of [1-4 ST01] lost: write
  // trace.jsonl: No space left on device"), in the order they failed.
  std::vector<std::string> LostOutputs;

  // 4 interrupted while a unit ran; 1 a unit failed or an output was lost;
  // 0 every finished unit succeeded (at least one finished); 3 no unit was served.
  int ExitCode() const {
    if (InterruptedWhileRunning) return 4;
    if (UnitsFailed > 0 || RecordLost || !LostOutputs.empty()) return 1;
    return UnitsOk > 0 ? 0 : 3;
  }
};

}  // namespace kvm::station
