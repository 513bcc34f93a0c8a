// The parts of the switch a job programs.
#pragma once

#include "wire/ProgrammerWire.h"

namespace kvm {

// The value is the TargetCode sent in every report of the job.
enum class TTarget : int { UsbHost = wire::TargetUsbHost, Osd = wire::TargetOsd };

inline constexpr int TargetCode(TTarget target) { return static_cast<int>(target); }

// "USB Host" or "OSD", as the window names the targets.
inline constexpr const char* TargetName(TTarget target) { return target == TTarget::UsbHost ? "USB Host" : "OSD"; }

}  // namespace kvm
