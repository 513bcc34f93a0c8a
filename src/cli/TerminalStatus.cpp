#include "cli/TerminalStatus.h"

#include "cli/CommandSupport.h"

namespace kvm::cli {

TTerminalStatus::TTerminalStatus(std::FILE* log, TProgressLine* progress) : log_(log), progress_(progress) {}

void TTerminalStatus::SelectTarget(TTarget target, const std::string& fileName) { fileNames_[target] = fileName; }

void TTerminalStatus::HideProgress() {
  if (progress_ != nullptr) progress_->Hide();
}

void TTerminalStatus::ShowStatus(const std::string& text) {
  statusText_ = text;
  Trace(text);
  RefreshProgress();
}

void TTerminalStatus::ShowStatus(const std::string& text, TColour colour) {
  colour_ = colour;
  ShowStatus(text);
}

void TTerminalStatus::ReportStatus(const std::string& text, TColour colour) {
  colour_ = colour;
  statusText_ = text;
  panels_[1] = text;
  lastReport_ = text;
  if (colour == Red) lastFailure_ = text;
  Trace(text);
  LogLine(text);
}

void TTerminalStatus::SetTargetLamp(TTarget target, TLampPicture picture) {
  lamps_[target] = picture;
  if (picture == TLampPicture::BlueBall) lastFailure_.clear();  // a job starts
  if (picture == TLampPicture::Green) results_[target] = lastReport_;
  if (picture == TLampPicture::Red) results_[target] = lastFailure_.empty() ? lastReport_ : lastFailure_;
}

std::string TTerminalStatus::Result(TTarget target) const {
  const auto found = results_.find(target);
  return found == results_.end() ? std::string() : found->second;
}

void TTerminalStatus::LogLine(const std::string& text) { WriteLogLine(text); }

void TTerminalStatus::LogBlank() { WriteLogLine({}); }

void TTerminalStatus::SetStatusPanel(int index, const std::string& text) {
  if (index < 0 || index > 2) return;
  panels_[index] = text;
  if (index == 0) RefreshProgress();  // the elapsed time
}

std::string TTerminalStatus::GetStatusPanel(int index) const {
  return index >= 0 && index <= 2 ? panels_[index] : std::string();
}

std::string TTerminalStatus::TargetFileName(TTarget target) const {
  const auto found = fileNames_.find(target);
  return found == fileNames_.end() ? std::string() : found->second;
}

void TTerminalStatus::SetProgress(int position, int maximum) {
  position_ = position;
  maximum_ = maximum;
  RefreshProgress();
}

void TTerminalStatus::StepProgress() {
  if (position_ < maximum_) ++position_;
  RefreshProgress();
}

void TTerminalStatus::WriteLogLine(const std::string& text) {
  // The live line shares the terminal with the log: take it away, write, put it back.
  if (log_ == nullptr) return;
  if (progress_ != nullptr) progress_->Hide();
  // A file name cannot forge a line of the log.
  std::fputs(PrintableText(text).c_str(), log_);
  std::fputc('\n', log_);
  std::fflush(log_);
  if (progress_ != nullptr) progress_->Show();
}

void TTerminalStatus::Warn(const std::string& text) {
  if (progress_ != nullptr) progress_->Hide();
  std::fflush(log_ != nullptr ? log_ : stdout);
  std::fprintf(stderr, "kvmflash-cli: %s\n", text.c_str());
  if (progress_ != nullptr) progress_->Show();
}

void TTerminalStatus::Trace(const std::string& text) {
  if (trace_ == nullptr || text.empty() || text == lastTraced_) return;
  lastTraced_ = text;
  if (progress_ != nullptr) progress_->Hide();
  std::fflush(log_ != nullptr ? log_ : stdout);
  std::fprintf(trace_, "kvmflash-cli: status: %s\n", PrintableText(text).c_str());
  if (progress_ != nullptr) progress_->Show();
}

void TTerminalStatus::RefreshProgress() {
  if (progress_ != nullptr) progress_->Update({position_, maximum_, panels_[0], PrintableText(statusText_)});
}

}  // namespace kvm::cli
