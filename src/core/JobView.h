// The controls that programming jobs and the connection read and drive beside
// the status sink: target boxes, file names, lamps and the Break button.
#pragma once

#include <string>

#include "core/Target.h"

namespace kvm {

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
};

// For front ends that name the targets and files in a job request instead of
// ticking boxes: nothing is ticked, lamps and the Break button only remember
// their state.
class TNoJobView final : public IJobView {
 public:
  bool IsTargetChecked(TTarget) const override { return false; }
  bool IsAutoChecked() const override { return false; }
  std::string TargetFileName(TTarget) const override { return {}; }
  bool SortFileList(TTarget) override { return false; }
  void SetTargetLamp(TTarget, TLampPicture) override {}
  void SetBreakVisible(bool visible) override { breakVisible_ = visible; }
  bool IsBreakVisible() const override { return breakVisible_; }

 private:
  bool breakVisible_ = false;
};

}  // namespace kvm
