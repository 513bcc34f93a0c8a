// The window as the benchmarks see it: keeps what a job shows (status line,
// panels, the last log lines) without drawing anything, and lets a benchmark
// time each confirmed block where the job steps its progress bar.
#pragma once

#include <deque>
#include <functional>
#include <string>

#include "core/JobView.h"
#include "core/StatusOps.h"

namespace kvm::bench {

class TBenchWindow final : public IStatusOps, public IJobView {
 public:
  // IStatusOps
  void ShowStatus(const std::string& text) override;
  void ShowStatus(const std::string& text, TColour colour) override;
  void SetStatusColour(TColour colour) override;
  TColour GetStatusColour() const override;
  std::string GetStatusText() const override;
  void ReportStatus(const std::string& text, TColour colour) override;
  void LogLine(const std::string& text) override;
  void LogBlank() override;
  void ShowActivity(const std::string& text) override { SetStatusPanel(1, text); }
  void SetStatusPanel(int index, const std::string& text) override;
  std::string GetStatusPanel(int index) const override;
  void SetConnectLamp(bool) override {}
  void EnableProgramButtons() override {}
  void DisableProgramButtons() override {}
  void UpdateProgramButton() override {}
  void RestoreLayout() override {}

  // IJobView: the USB host target ticked, nothing else.
  bool IsTargetChecked(TTarget target) const override { return target == TTarget::UsbHost; }
  bool IsAutoChecked() const override { return false; }
  std::string TargetFileName(TTarget) const override { return {}; }
  bool SortFileList(TTarget) override { return true; }
  void SetTargetLamp(TTarget, TLampPicture) override {}
  void SetBreakVisible(bool) override {}
  bool IsBreakVisible() const override { return false; }
  void SetProgress(int position, int maximum) override;
  void StepProgress() override;

  // The last lines of the log, oldest first, for a failure message.
  std::string RecentLog() const;

  // Called after every confirmed block.
  std::function<void()> OnStep;
  int Progress() const { return progress_; }

 private:
  static constexpr std::size_t KeptLines = 8;
  std::string statusText_;
  TColour statusColour_ = Blue;
  std::string panels_[3];
  std::deque<std::string> recentLog_;
  int progress_ = 0;
};

}  // namespace kvm::bench
