// What the protocol, the link and the jobs of one programmer share: its
// break request, whether it is connected, its device and the brand name.
// The window holds one; the station holds one per unit.
#pragma once

#include <string>

namespace kvm::hid {
class THidDevice;
}

namespace kvm {

struct TProgrammerState {
  // The programmer's break request: set by Break, Exit and a device change
  // during a job, cleared when a job starts. No report is sent while it is set.
  bool UserBreak = false;
  // A second interrupt: the reply a transaction waits for is not waited for
  // any longer, so that the job ends at once (its record still written).
  bool StopWaiting = false;
  bool Connected = false;
  hid::THidDevice* ProgrammerDevice = nullptr;  // the connected programmer, or none
  std::string BrandName = "Zorbek";
};

}  // namespace kvm
