#include "app/DevReader.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QToolButton>
#include <algorithm>

#include "app/FileDialog.h"
#include "app/FileLists.h"
#include "app/StatusBar.h"

namespace kvm::app {

namespace {

constexpr int VersionMajor = 1;
constexpr int VersionMinor = 0;
// Added to width and height on systems whose frames are thicker.
constexpr int FrameGrowth = 8;

const QString UsbHostExt = QStringLiteral("*.USB");
const QString UsbHostFilter = QStringLiteral("*.USB|*.USB");
const QString OsdExt = QStringLiteral("*.OSD");
const QString OsdFilter = QStringLiteral("*.OSD|*.OSD");

QColor ToQColor(TColour colour) { return QColor(colour.R, colour.G, colour.B); }

QString ToQString(const std::string& text) { return QString::fromStdString(text); }

}  // namespace

TMainForm::TMainForm(TMainFormOptions options, QWidget* parent)
    : QWidget(parent),
      tickMs_(options.tickMs),
      osVersion_(options.osVersion ? std::move(options.osVersion) : TOsVersionQuery(PlatformMajorVersion)),
      fileOpenDialog_(options.fileDialog ? std::move(options.fileDialog) : std::make_unique<TQtFileDialog>(this)) {
  OnResetJobMemory = std::move(options.resetJobMemory);
  CreateControls();
  ConnectHandlers();
  FormCreate();
  PlaceInScreenCentre();
}

// Nothing to undo: the controls belong to the window.
TMainForm::~TMainForm() = default;

void TMainForm::ConnectHandlers() {
  connect(ExitButton, &QPushButton::clicked, this, [this] { ExitButtonClick(); });
  connect(BreakButton, &QPushButton::clicked, this, [this] { BreakButtonClick(); });
  connect(Button7, &QPushButton::clicked, this, [this] { Button7Click(); });
  connect(Button6, &QPushButton::clicked, this, [this] { Button6Click(); });
  connect(InProgButton, &QPushButton::clicked, this, [this] { InProgButtonClick(); });
  connect(SpeedButton1, &QToolButton::clicked, this, [this] { SpeedButton1Click(); });
  connect(SpeedButton5, &QToolButton::clicked, this, [this] { SpeedButton5Click(); });
  // toggled also fires when code changes the state, so Select All and
  // UnSelect All reach the Program-button rule the same way as a click.
  connect(CheckBox1, &QCheckBox::toggled, this, [this] { CheckBox1Click(); });
  connect(CheckBox4, &QCheckBox::toggled, this, [this] { CheckBox4Click(); });
  connect(InAutoCheckBox, &QCheckBox::toggled, this, [this] { CheckBox4Click(); });
  connect(Clear1, &QAction::triggered, this, [this] { Clear1Click(); });
  connect(ClearFileList1, &QAction::triggered, this, [this] { ClearFileList1Click(); });
  connect(HistoryListBox, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& at) { PopupMenu1->popup(HistoryListBox->viewport()->mapToGlobal(at)); });
  // A double click on the empty part of the log counts too, so watch the
  // viewport rather than the items.
  HistoryListBox->viewport()->installEventFilter(this);
}

// --- start-up and window events

void TMainForm::SetupTitle() {
  state_.BrandName = "Zorbek";
  setWindowTitle(ToQString(state_.BrandName) + QStringLiteral(" Firmware Update Utility V") +
                 QString::number(VersionMajor) + u'.' + QString::number(VersionMinor));
}

void TMainForm::FormCreate() {
  SetupTitle();
  ShowStatus(std::string());
  for (int panel = 0; panel < 3; ++panel) SetStatusPanel(panel, std::string());
  SetConnectLamp(false);

  const int major = osVersion_().value_or(0);
  if (major > 5) {
    resize(width() + FrameGrowth, height());
    resize(width(), height() + FrameGrowth);
  }
  // A hidden window gets its resize events only when shown; the baseline
  // needs the status bar at the bottom edge now.
  KeepStatusBarAtBottom();

  layoutBaseline_ = {height(), InnerGroupBox->y(), HistoryListBox->y(), ProgramProgressBar->y(), ProgStatusBar->y()};
  ResetJobMemory();
}

void TMainForm::ResetJobMemory() {
  if (OnResetJobMemory) OnResetJobMemory();
}

void TMainForm::PlaceInScreenCentre() {
  const QScreen* screen = QGuiApplication::primaryScreen();
  if (screen == nullptr) return;
  QRect area = rect();
  area.moveCenter(screen->availableGeometry().center());
  move(area.topLeft());
}

void TMainForm::FormActivate() {
  if (OnActivate) OnActivate();
}

void TMainForm::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  if (event->type() == QEvent::ActivationChange && isActiveWindow()) FormActivate();
}

void TMainForm::closeEvent(QCloseEvent* event) {
  // However the window is closed, a running job must stop at its next check.
  state_.UserBreak = true;
  event->accept();
}

void TMainForm::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  KeepStatusBarAtBottom();
}

void TMainForm::KeepStatusBarAtBottom() {
  if (ProgStatusBar == nullptr) return;
  ProgStatusBar->Place({0, height() - ProgStatusBar->height(), width(), ProgStatusBar->height()});
}

bool TMainForm::eventFilter(QObject* watched, QEvent* event) {
  if (watched == HistoryListBox->viewport() && event->type() == QEvent::MouseButtonDblClick) {
    HistoryListBoxDblClick();
    return true;
  }
  return QWidget::eventFilter(watched, event);
}

// --- commands

void TMainForm::ExitButtonClick() {
  state_.UserBreak = true;
  close();
}

void TMainForm::BreakButtonClick() {
  state_.UserBreak = true;
  BreakButton->hide();
}

void TMainForm::Clear1Click() { HistoryListBox->clear(); }

void TMainForm::HistoryListBoxDblClick() { HistoryListBox->clear(); }

void TMainForm::ClearFileList1Click() {
  ClearFileList(*ComboBox1);
  ClearFileList(*ComboBox5);
}

void TMainForm::Button7Click() {
  CheckBox1->setChecked(true);
  CheckBox4->setChecked(true);
}

void TMainForm::Button6Click() {
  CheckBox1->setChecked(false);
  CheckBox4->setChecked(false);
}

void TMainForm::CheckBox1Click() { UpdateProgramButton(); }

void TMainForm::CheckBox4Click() { UpdateProgramButton(); }

void TMainForm::InProgButtonClick() {
  if (OnProgramClick) OnProgramClick();
}

void TMainForm::SpeedButton1Click() { BrowseForFile(*fileOpenDialog_, *ComboBox1, UsbHostExt, UsbHostFilter); }

void TMainForm::SpeedButton5Click() { BrowseForFile(*fileOpenDialog_, *ComboBox5, OsdExt, OsdFilter); }

// --- status and log

void TMainForm::ShowStatus(const std::string& text) {
  StatusLabel->setText(ToQString(text));
  StatusLabel->resize(StatusLabel->sizeHint().width(), StatusLabel->height());
}

void TMainForm::ShowStatus(const std::string& text, TColour colour) {
  SetStatusColour(colour);
  ShowStatus(text);
}

void TMainForm::SetStatusColour(TColour colour) {
  QPalette palette = StatusLabel->palette();
  palette.setColor(QPalette::WindowText, ToQColor(colour));
  StatusLabel->setPalette(palette);
}

TColour TMainForm::GetStatusColour() const {
  const QColor colour = StatusLabel->palette().color(QPalette::WindowText);
  return {static_cast<std::uint8_t>(colour.red()), static_cast<std::uint8_t>(colour.green()),
          static_cast<std::uint8_t>(colour.blue())};
}

std::string TMainForm::GetStatusText() const { return StatusLabel->text().toStdString(); }

void TMainForm::ReportStatus(const std::string& text, TColour colour) {
  ShowStatus(text, colour);
  const std::string shown = GetStatusText();
  SetStatusPanel(1, shown);
  LogLine(shown);
}

void TMainForm::LogLine(const std::string& text) {
  HistoryListBox->addItem(ToQString(text));
  HistoryListBox->setCurrentRow(HistoryListBox->count() - 1);
}

void TMainForm::LogBlank() { HistoryListBox->addItem(QString()); }

void TMainForm::ShowActivity(const std::string& text) { SetStatusPanel(1, text); }

void TMainForm::SetStatusPanel(int index, const std::string& text) { ProgStatusBar->SetPanelText(index, ToQString(text)); }

std::string TMainForm::GetStatusPanel(int index) const { return ProgStatusBar->PanelText(index).toStdString(); }

void TMainForm::SetConnectLamp(bool on) { ShowPicture(*ConnectBallImage, on ? *Green_Image : *Gray_Image); }

void TMainForm::ShowPicture(QLabel& target, const QLabel& source) { target.setPixmap(source.pixmap()); }

// --- Program button and layout

void TMainForm::EnableProgramButtons() {
  InProgButton->setEnabled(true);
  UpdateProgramButton();
}

void TMainForm::DisableProgramButtons() { InProgButton->setEnabled(false); }

void TMainForm::UpdateProgramButton() {
  if (!CheckBox1->isChecked() && !CheckBox4->isChecked()) {
    InProgButton->setEnabled(false);
    return;
  }
  InProgButton->setEnabled(state_.Connected);
}

void TMainForm::RestoreLayout() {
  resize(width(), layoutBaseline_.WindowHeight);
  InnerGroupBox->move(InnerGroupBox->x(), layoutBaseline_.InnerGroupBoxTop);
  HistoryListBox->move(HistoryListBox->x(), layoutBaseline_.HistoryListBoxTop);
  ProgramProgressBar->move(ProgramProgressBar->x(), layoutBaseline_.ProgramProgressBarTop);
  ProgStatusBar->move(ProgStatusBar->x(), layoutBaseline_.ProgStatusBarTop);
}

// --- job view

QComboBox& TMainForm::TargetComboBox(TTarget target) const {
  return target == TTarget::UsbHost ? *ComboBox1 : *ComboBox5;
}

QLabel& TMainForm::TargetLamp(TTarget target) const { return target == TTarget::UsbHost ? *Image1 : *Image5; }

const QLabel& TMainForm::LampSource(TLampPicture picture) const {
  switch (picture) {
    case TLampPicture::Gray:
      return *Gray_Image;
    case TLampPicture::BlueBall:
      return *Blue_Image;
    case TLampPicture::Green:
      return *Green_Image;
    case TLampPicture::Red:
      return *Red_Image;
  }
  return *Gray_Image;
}

bool TMainForm::IsTargetChecked(TTarget target) const {
  return (target == TTarget::UsbHost ? CheckBox1 : CheckBox4)->isChecked();
}

bool TMainForm::IsAutoChecked() const { return InAutoCheckBox->isChecked(); }

std::string TMainForm::TargetFileName(TTarget target) const {
  return TargetComboBox(target).currentText().toStdString();
}

bool TMainForm::SortFileList(TTarget target) { return SortComboBox(TargetComboBox(target)); }

void TMainForm::SetTargetLamp(TTarget target, TLampPicture picture) {
  ShowPicture(TargetLamp(target), LampSource(picture));
}

void TMainForm::SetBreakVisible(bool visible) { BreakButton->setVisible(visible); }

bool TMainForm::IsBreakVisible() const { return !BreakButton->isHidden(); }

void TMainForm::SetProgress(int position, int maximum) {
  // A range of 0..0 would turn the bar into a busy indicator.
  const int top = std::max(1, maximum);
  ProgramProgressBar->setRange(0, top);
  ProgramProgressBar->setValue(std::clamp(position, 0, top));
}

void TMainForm::StepProgress() {
  // Stops at the end rather than starting over, which would look like a restart.
  ProgramProgressBar->setValue(std::min(ProgramProgressBar->value() + 1, ProgramProgressBar->maximum()));
}

}  // namespace kvm::app
