// TMainForm: the utility's one window. It holds the controls, runs start-up,
// and implements the status, log and job-view operations through which the
// link, the protocol and the jobs tell the operator what is happening.
#pragma once

#include <QWidget>
#include <functional>
#include <memory>
#include <string>

#include "app/FileDialog.h"
#include "app/OsVersion.h"
#include "core/ProgrammerState.h"
#include "core/JobView.h"
#include "core/StatusOps.h"

class QAction;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QListWidget;
class QMenu;
class QProgressBar;
class QPushButton;
class QToolButton;

namespace kvm::app {

class TPanelStatusBar;

struct TMainFormOptions {
  // Period of the window's tick timers (connection countdown, reply time-out,
  // elapsed time), which their subsystems create with it.
  int tickMs = 1000;
  // Empty: PlatformMajorVersion.
  TOsVersionQuery osVersion;
  // Empty: the Qt open-file dialog.
  std::unique_ptr<IFileDialog> fileDialog;
  // Run as the last step of start-up to forget the jobs' repeat count and
  // last file name.
  std::function<void()> resetJobMemory;
};

// The window height and the tops of the controls that RestoreLayout puts back.
struct TLayoutBaseline {
  int WindowHeight = 0;
  int InnerGroupBoxTop = 0;
  int HistoryListBoxTop = 0;
  int ProgramProgressBarTop = 0;
  int ProgStatusBarTop = 0;
};

class TMainForm final : public QWidget, public IStatusOps, public IJobView {
 public:
  explicit TMainForm(TMainFormOptions options = {}, QWidget* parent = nullptr);
  ~TMainForm() override;

  TProgrammerState& State() { return state_; }
  const TProgrammerState& State() const { return state_; }
  int TickMs() const { return tickMs_; }
  const TLayoutBaseline& LayoutBaseline() const { return layoutBaseline_; }
  IFileDialog& FileOpenDialog() { return *fileOpenDialog_; }

  // Hooks for the subsystems wired in beside the window.
  std::function<void()> OnActivate;       // every activation; installs the device-change handler
  std::function<void()> OnProgramClick;   // "Program" in the on-board box
  std::function<void()> OnResetJobMemory;

  // --- IStatusOps
  void ShowStatus(const std::string& text) override;
  void ShowStatus(const std::string& text, TColour colour) override;
  void SetStatusColour(TColour colour) override;
  TColour GetStatusColour() const override;
  std::string GetStatusText() const override;
  void ReportStatus(const std::string& text, TColour colour) override;
  void LogLine(const std::string& text) override;
  void LogBlank() override;
  void ShowActivity(const std::string& text) override;
  void SetProgress(int position, int maximum) override;
  void StepProgress() override;
  void SetStatusPanel(int index, const std::string& text) override;
  std::string GetStatusPanel(int index) const override;
  void SetConnectLamp(bool on) override;
  void EnableProgramButtons() override;
  void DisableProgramButtons() override;
  void UpdateProgramButton() override;
  void RestoreLayout() override;

  // --- IJobView
  bool IsTargetChecked(TTarget target) const override;
  bool IsAutoChecked() const override;
  std::string TargetFileName(TTarget target) const override;
  bool SortFileList(TTarget target) override;
  void SetTargetLamp(TTarget target, TLampPicture picture) override;
  void SetBreakVisible(bool visible) override;
  bool IsBreakVisible() const override;

  // Event handlers.
  void FormCreate();
  void FormActivate();
  void ExitButtonClick();
  void BreakButtonClick();
  void Clear1Click();
  void ClearFileList1Click();
  void HistoryListBoxDblClick();
  void Button7Click();
  void Button6Click();
  void CheckBox1Click();
  void CheckBox4Click();
  void InProgButtonClick();
  void SpeedButton1Click();
  void SpeedButton5Click();

  void SetupTitle();
  void ResetJobMemory();
  // Makes the target picture show the source picture (a copy of its pixmap).
  static void ShowPicture(QLabel& target, const QLabel& source);

  // Controls, by the names of the window design.
  QLabel* StatusLabel = nullptr;
  QLabel* ConnectBallImage = nullptr;
  QLabel* Red_Image = nullptr;
  QLabel* Green_Image = nullptr;
  QLabel* Gray_Image = nullptr;
  QLabel* Blue_Image = nullptr;  // holds the yellow "running" ball
  QPushButton* ExitButton = nullptr;
  QPushButton* BreakButton = nullptr;
  QGroupBox* InnerGroupBox = nullptr;
  QListWidget* HistoryListBox = nullptr;
  QProgressBar* ProgramProgressBar = nullptr;
  TPanelStatusBar* ProgStatusBar = nullptr;
  QListWidget* DevListBox = nullptr;
  QMenu* PopupMenu1 = nullptr;
  QAction* Clear1 = nullptr;
  QAction* ClearFileList1 = nullptr;

  QCheckBox* CheckBox1 = nullptr;
  QLabel* Image1 = nullptr;
  QLabel* Label1 = nullptr;
  QComboBox* ComboBox1 = nullptr;
  QToolButton* SpeedButton1 = nullptr;
  QCheckBox* CheckBox4 = nullptr;
  QLabel* Image5 = nullptr;
  QLabel* Label4 = nullptr;
  QComboBox* ComboBox5 = nullptr;
  QToolButton* SpeedButton5 = nullptr;
  QPushButton* Button7 = nullptr;
  QPushButton* Button6 = nullptr;
  QCheckBox* InAutoCheckBox = nullptr;
  QPushButton* InProgButton = nullptr;

 protected:
  void changeEvent(QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // Builds the controls of the window design (DevReaderDesign.cpp).
  void CreateControls();
  void ConnectHandlers();
  void PlaceInScreenCentre();
  void KeepStatusBarAtBottom();
  QComboBox& TargetComboBox(TTarget target) const;
  QLabel& TargetLamp(TTarget target) const;
  const QLabel& LampSource(TLampPicture picture) const;

  TProgrammerState state_;
  int tickMs_;
  TOsVersionQuery osVersion_;
  std::unique_ptr<IFileDialog> fileOpenDialog_;
  TLayoutBaseline layoutBaseline_;
};

}  // namespace kvm::app
