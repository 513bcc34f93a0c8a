// The count of finished units and the exit status of a station run.
#pragma once

namespace kvm::station {

struct TStationTally {
  int UnitsOk = 0;
  int UnitsFailed = 0;
  bool InterruptedWhileRunning = false;  // Ctrl-C or SIGTERM came while a unit ran
  bool RecordLost = false;               // a traceability record could not be written

  // 4 interrupted while a unit ran; 1 a unit failed or a record was lost;
  // 0 every finished unit succeeded (at least one finished); 3 no unit was served.
  int ExitCode() const {
    if (InterruptedWhileRunning) return 4;
    if (UnitsFailed > 0 || RecordLost) return 1;
    return UnitsOk > 0 ? 0 : 3;
  }
};

}  // namespace kvm::station
