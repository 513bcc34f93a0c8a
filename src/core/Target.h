// The parts of the switch a job programs.
#pragma once

namespace kvm {

// The value is the TargetCode sent in every report of the job.
enum class TTarget : int { UsbHost = 4, Osd = 2 };

inline constexpr int TargetCode(TTarget target) { return static_cast<int>(target); }

}  // namespace kvm
