// The status line, log and job controls of the window, on a terminal: every
// line the window would add to its history log goes to standard output, the
// status line and the progress of a job to the live line on standard error.
#pragma once

#include <cstdio>
#include <map>
#include <string>

#include "core/JobView.h"
#include "core/StatusOps.h"
#include "cli/ProgressLine.h"

namespace kvm::cli {

class TTerminalStatus final : public IStatusOps, public IJobView {
 public:
  // `log` receives the history log; either may be null (nothing written,
  // nothing drawn).
  TTerminalStatus(std::FILE* log, TProgressLine* progress);
  // Every new status-line text also goes to `trace` as a line (--verbose).
  void SetTrace(std::FILE* trace) { trace_ = trace; }

  // The targets a job programs and their files, as ticked on the command line.
  void SelectTarget(TTarget target, const std::string& fileName);
  TLampPicture Lamp(TTarget target) const { return lamps_.at(target); }
  // The result the job of the target ended with: its last report when its
  // lamp turned green, its last failure when it turned red; else empty.
  std::string Result(TTarget target) const;
  // Ends the live line, e.g. before the program exits.
  void HideProgress();
  // A line on standard error, apart from the log, above the live line.
  void Warn(const std::string& text);

  // --- IStatusOps
  void ShowStatus(const std::string& text) override;
  void ShowStatus(const std::string& text, TColour colour) override;
  void SetStatusColour(TColour colour) override { colour_ = colour; }
  TColour GetStatusColour() const override { return colour_; }
  std::string GetStatusText() const override { return statusText_; }
  void ReportStatus(const std::string& text, TColour colour) override;
  void LogLine(const std::string& text) override;
  void LogBlank() override;
  void ShowActivity(const std::string& text) override { SetStatusPanel(1, text); }
  void SetStatusPanel(int index, const std::string& text) override;
  std::string GetStatusPanel(int index) const override;
  // There are no lamp, buttons or layout on a terminal: the command line
  // starts the jobs itself.
  void SetConnectLamp(bool) override {}
  void EnableProgramButtons() override {}
  void DisableProgramButtons() override {}
  void UpdateProgramButton() override {}
  void RestoreLayout() override {}

  // --- IJobView
  bool IsTargetChecked(TTarget target) const override { return fileNames_.count(target) != 0; }
  // The command line programs as soon as the programmer is connected.
  bool IsAutoChecked() const override { return true; }
  std::string TargetFileName(TTarget target) const override;
  bool SortFileList(TTarget) override { return false; }  // no file lists to keep
  void SetTargetLamp(TTarget target, TLampPicture picture) override;
  void SetBreakVisible(bool visible) override { breakVisible_ = visible; }
  bool IsBreakVisible() const override { return breakVisible_; }
  void SetProgress(int position, int maximum) override;
  void StepProgress() override;

 private:
  void WriteLogLine(const std::string& text);
  void RefreshProgress();
  void Trace(const std::string& text);

  std::FILE* log_;
  TProgressLine* progress_;
  std::string statusText_;
  TColour colour_ = Blue;
  std::string panels_[3];
  std::map<TTarget, std::string> fileNames_;
  std::map<TTarget, TLampPicture> lamps_{{TTarget::UsbHost, TLampPicture::Gray}, {TTarget::Osd, TLampPicture::Gray}};
  std::map<TTarget, std::string> results_;
  std::string lastReport_, lastFailure_, lastTraced_;
  std::FILE* trace_ = nullptr;
  bool breakVisible_ = false;
  int position_ = 0;
  int maximum_ = 0;
};

}  // namespace kvm::cli
