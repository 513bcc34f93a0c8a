// The parts of the switch a job programs.
#pragma once

#include "wire/ProgrammerWire.h"

namespace kvm {

// The value is the TargetCode sent in every report of the job.
enum class TTarget : int { UsbHost = wire::TargetUsbHost, Osd = wire::TargetOsd };

inline constexpr int TargetCode(TTarget target) { return static_cast<int>(target); }

}  // namespace kvm
