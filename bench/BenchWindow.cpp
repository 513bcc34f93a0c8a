#include "BenchWindow.h"

namespace kvm::bench {

void TBenchWindow::ShowStatus(const std::string& text) { statusText_ = text; }

void TBenchWindow::ShowStatus(const std::string& text, TColour colour) {
  statusText_ = text;
  statusColour_ = colour;
}

void TBenchWindow::SetStatusColour(TColour colour) { statusColour_ = colour; }
TColour TBenchWindow::GetStatusColour() const { return statusColour_; }
std::string TBenchWindow::GetStatusText() const { return statusText_; }

void TBenchWindow::ReportStatus(const std::string& text, TColour colour) {
  ShowStatus(text, colour);
  panels_[1] = text;
  LogLine(text);
}

void TBenchWindow::LogLine(const std::string& text) {
  if (recentLog_.size() == KeptLines) recentLog_.pop_front();
  recentLog_.push_back(text);
}

void TBenchWindow::LogBlank() { LogLine({}); }

void TBenchWindow::SetStatusPanel(int index, const std::string& text) {
  if (index >= 0 && index < 3) panels_[index] = text;
}

std::string TBenchWindow::GetStatusPanel(int index) const {
  return index >= 0 && index < 3 ? panels_[index] : std::string();
}

void TBenchWindow::SetProgress(int position, int /*maximum*/) { progress_ = position; }

void TBenchWindow::StepProgress() {
  ++progress_;
  if (OnStep) OnStep();
}

std::string TBenchWindow::RecentLog() const {
  std::string text;
  for (const std::string& line : recentLog_) {
    if (!text.empty()) text += " | ";
    text += line;
  }
  return text;
}

}  // namespace kvm::bench
