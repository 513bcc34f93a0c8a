// The controls that programming jobs and the connection read and drive beside
// the status line: target boxes, file names, lamps, progress bar, Break button.
#pragma once

#include <string>

namespace kvm {

// The parts of the switch a job programs; the value is the TargetCode sent in
// every report of the job.
enum class TTarget : int { UsbHost = 4, Osd = 2 };

inline constexpr int TargetCode(TTarget target) { return static_cast<int>(target); }

// The pictures a lamp can show (copied from the hidden source pictures).
// BlueBall is the "running" picture; it shows a yellow ball.
enum class TLampPicture { Gray, BlueBall, Green, Red };

class IJobView {
 public:
  virtual ~IJobView() = default;

  virtual bool IsTargetChecked(TTarget target) const = 0;  // "USB Host" / "OSD"
  virtual bool IsAutoChecked() const = 0;                  // "Auto"
  virtual std::string TargetFileName(TTarget target) const = 0;  // text of its combo box
  virtual bool SortFileList(TTarget target) = 0;           // SortComboBox on its combo box
  virtual void SetTargetLamp(TTarget target, TLampPicture picture) = 0;

  virtual void SetBreakVisible(bool visible) = 0;
  virtual bool IsBreakVisible() const = 0;

  virtual void SetProgress(int position, int maximum) = 0;
  virtual void StepProgress() = 0;
};

}  // namespace kvm
