// An IStatusOps + IJobView that records everything, for tests without a window.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "core/JobView.h"
#include "core/StatusOps.h"

namespace kvm::test {

class TRecordingStatus : public IStatusOps, public IJobView {
 public:
  // --- IStatusOps
  void ShowStatus(const std::string& text) override { statusText = text; }
  void ShowStatus(const std::string& text, TColour colour) override {
    statusColour = colour;
    statusText = text;
  }
  void SetStatusColour(TColour colour) override { statusColour = colour; }
  TColour GetStatusColour() const override { return statusColour; }
  std::string GetStatusText() const override { return statusText; }
  void ReportStatus(const std::string& text, TColour colour) override {
    statusColour = colour;
    statusText = text;
    panels[1] = text;
    reports.emplace_back(text, colour);
    LogLine(text);
  }
  void LogLine(const std::string& text) override {
    log.push_back(text);
    selectedLine = static_cast<int>(log.size()) - 1;
  }
  void LogBlank() override { log.emplace_back(); }
  void ShowActivity(const std::string& text) override { panels[1] = text; }
  void SetStatusPanel(int index, const std::string& text) override { panels[index] = text; }
  std::string GetStatusPanel(int index) const override { return panels[index]; }
  void SetConnectLamp(bool on) override { connectLamp = on; }
  void EnableProgramButtons() override {
    programEnabled = true;
    UpdateProgramButton();
  }
  void DisableProgramButtons() override { programEnabled = false; }
  void UpdateProgramButton() override {
    if (!checked.at(TTarget::UsbHost) && !checked.at(TTarget::Osd))
      programEnabled = false;
    else
      programEnabled = connected != nullptr && *connected;
  }
  void RestoreLayout() override { ++restoreLayoutCount; }

  // --- IJobView
  bool IsTargetChecked(TTarget target) const override { return checked.at(target); }
  bool IsAutoChecked() const override { return autoChecked; }
  std::string TargetFileName(TTarget target) const override { return fileNames.at(target); }
  bool SortFileList(TTarget target) override {
    sorted.push_back(target);
    return true;
  }
  void SetTargetLamp(TTarget target, TLampPicture picture) override { lamps[target] = picture; }
  void SetBreakVisible(bool visible) override { breakVisible = visible; }
  bool IsBreakVisible() const override { return breakVisible; }
  void SetProgress(int position, int maximum) override {
    progress = position;
    progressMax = maximum;
  }
  void StepProgress() override { ++progress; }

  // Index of the first log line equal to text, or -1.
  int FindLog(const std::string& text, int from = 0) const {
    for (int i = from; i < static_cast<int>(log.size()); ++i)
      if (log[i] == text) return i;
    return -1;
  }
  int CountLog(const std::string& text) const {
    int n = 0;
    for (const auto& line : log) n += line == text;
    return n;
  }

  std::string statusText;
  TColour statusColour = Blue;
  std::string panels[3];
  std::vector<std::string> log;
  std::vector<std::pair<std::string, TColour>> reports;  // every ReportStatus, in order
  int selectedLine = -1;
  bool connectLamp = false;
  bool programEnabled = true;
  const bool* connected = nullptr;  // point at TProgrammerState::Connected
  int restoreLayoutCount = 0;

  std::map<TTarget, bool> checked{{TTarget::UsbHost, false}, {TTarget::Osd, false}};
  bool autoChecked = false;
  std::map<TTarget, std::string> fileNames{{TTarget::UsbHost, ""}, {TTarget::Osd, ""}};
  std::vector<TTarget> sorted;
  std::map<TTarget, TLampPicture> lamps{{TTarget::UsbHost, TLampPicture::Gray}, {TTarget::Osd, TLampPicture::Gray}};
  bool breakVisible = false;
  int progress = 0;
  int progressMax = 100;
};

}  // namespace kvm::test
