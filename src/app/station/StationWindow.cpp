#include "app/station/StationWindow.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "app/FileDialog.h"
#include "app/FileLists.h"
#include "jobs/ProgrammingJobs.h"
#include "app/station/UnitTile.h"

namespace kvm::stationwindow {

namespace {


QToolButton* Browse(QWidget* parent) {
  auto* button = new QToolButton(parent);
  button->setText(QStringLiteral("..."));
  button->setFixedSize(20, 22);
  return button;
}

QString Grouped(std::int64_t value) { return QLocale::c().toString(static_cast<qlonglong>(value)); }

QString Clock(std::int64_t ms) {
  const std::int64_t seconds = std::max<std::int64_t>(0, ms) / 1000;
  return QString::asprintf("%02lld:%02lld:%02lld", static_cast<long long>(seconds / 3600),
                           static_cast<long long>(seconds / 60 % 60), static_cast<long long>(seconds % 60));
}

}  // namespace

TStationWindow::TStationWindow(TStationWindowOptions options, QWidget* parent)
    : QWidget(parent),
      options_(std::move(options)),
      runner_(feed_, options_.Machine ? options_.Machine : TStationRunner::TMachineFactory(station::NativeMachine)),
      fileDialog_(std::make_unique<app::TQtFileDialog>(this)) {
  clock_.start();
  setWindowTitle(QStringLiteral("Zorbek KVM Programming Station"));
  BuildControls();
  resize(1340, 720);
  drawTimer_.setInterval(options_.DrawMs);
  connect(&drawTimer_, &QTimer::timeout, this, [this] { Draw(); });
  drawTimer_.start();
  ShowMessage(QStringLiteral("Ready: choose the files, press Start, then plug in the programmers."), Blue);
  UpdateButtons();
}

TStationWindow::~TStationWindow() {
  // The run ends (its units get Break) and its records are written before
  // the feed it tells goes.
  drawTimer_.stop();
  runner_.Stop();
  runner_.Wait(-1);
}

QWidget* TStationWindow::BuildFileRow(TTarget target) {
  TFileRow& row = files_[target];
  row.Box = new QComboBox(this);
  row.Box->setEditable(true);
  row.Box->setInsertPolicy(QComboBox::NoInsert);
  row.Box->setDuplicatesEnabled(true);
  row.Box->setMinimumWidth(380);
  row.Box->setObjectName(target == TTarget::UsbHost ? "UsbHostFile" : "OsdFile");
  row.Browse = Browse(this);
  row.Info = new QLabel(this);
  row.Info->setTextFormat(Qt::PlainText);
  row.Info->setMinimumWidth(480);
  connect(row.Box, &QComboBox::currentTextChanged, this, [this, target] { DescribeFile(target); });
  connect(row.Browse, &QToolButton::clicked, this, [this, target] {
    const bool usbHost = target == TTarget::UsbHost;
    app::BrowseForFile(*fileDialog_, *files_[target].Box, usbHost ? "*.USB" : "*.OSD",
                       usbHost ? "*.USB|*.USB" : "*.OSD|*.OSD");
  });
  return row.Box;
}

void TStationWindow::BuildControls() {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(8, 8, 8, 8);
  layout->setSpacing(6);

  auto* setup = new QGroupBox(QStringLiteral("Station"), this);
  auto* grid = new QGridLayout(setup);
  grid->setContentsMargins(8, 6, 8, 6);
  grid->setVerticalSpacing(4);
  int row = 0;
  for (const TTarget target : {TTarget::UsbHost, TTarget::Osd}) {
    grid->addWidget(new QLabel(TargetName(target), setup), row, 0);
    grid->addWidget(BuildFileRow(target), row, 1);
    grid->addWidget(files_[target].Browse, row, 2);
    grid->addWidget(files_[target].Info, row, 3);
    ++row;
  }
  const auto addPath = [&](const QString& name, QLineEdit*& edit, QToolButton*& browse, const QString& title) {
    grid->addWidget(new QLabel(name, setup), row, 0);
    edit = new QLineEdit(setup);
    edit->setPlaceholderText(QStringLiteral("none"));
    browse = Browse(setup);
    grid->addWidget(edit, row, 1);
    grid->addWidget(browse, row, 2);
    connect(browse, &QToolButton::clicked, this, [this, edit, title] { BrowseLog(edit, title); });
    ++row;
  };
  addPath(QStringLiteral("Log"), logEdit_, logBrowse_, QStringLiteral("Traceability log (appended to)"));
  addPath(QStringLiteral("Events"), eventsEdit_, eventsBrowse_, QStringLiteral("Event stream (appended to)"));
  logEdit_->setObjectName("LogFile");
  eventsEdit_->setObjectName("EventsFile");
  recipeLabel_ = new QLabel(setup);
  recipeLabel_->setTextFormat(Qt::PlainText);
  grid->addWidget(recipeLabel_, row - 2, 3);
  auto* buttons = new QHBoxLayout;
  startButton_ = new QPushButton(QStringLiteral("Start"), setup);
  stopButton_ = new QPushButton(QStringLiteral("Stop"), setup);
  saveRecipeButton_ = new QPushButton(QStringLiteral("Save Recipe..."), setup);
  for (QPushButton* button : {startButton_, stopButton_, saveRecipeButton_}) {
    button->setMinimumWidth(90);
    buttons->addWidget(button);
  }
  buttons->addStretch(1);
  grid->addLayout(buttons, row - 1, 3);
  grid->setColumnStretch(1, 1);
  connect(startButton_, &QPushButton::clicked, this, [this] { StartClicked(); });
  connect(stopButton_, &QPushButton::clicked, this, [this] { StopClicked(); });
  connect(saveRecipeButton_, &QPushButton::clicked, this, [this] { SaveRecipeClicked(); });
  layout->addWidget(setup);

  auto* status = new QHBoxLayout;
  tally_ = new QLabel(this);
  QFont bold = tally_->font();
  bold.setBold(true);
  tally_->setFont(bold);
  message_ = new QLabel(this);
  message_->setFont(bold);
  message_->setTextFormat(Qt::PlainText);
  status->addWidget(tally_);
  status->addSpacing(24);
  status->addWidget(message_, 1);
  layout->addLayout(status);

  tileArea_ = new QScrollArea(this);
  tileArea_->setWidgetResizable(true);
  tileArea_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  tileCanvas_ = new QWidget(tileArea_);
  tileGrid_ = new QGridLayout(tileCanvas_);
  tileGrid_->setContentsMargins(4, 4, 4, 4);
  tileGrid_->setSpacing(6);
  tileGrid_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  tileArea_->setWidget(tileCanvas_);
  layout->addWidget(tileArea_, 1);

  auto* logHead = new QHBoxLayout;
  logHead->addWidget(new QLabel(QStringLiteral("Log of"), this));
  logFilter_ = new QComboBox(this);
  logFilter_->setMinimumWidth(220);
  logFilter_->addItem(QStringLiteral("All units"), QString());
  logHead->addWidget(logFilter_);
  logHead->addStretch(1);
  layout->addLayout(logHead);
  connect(logFilter_, &QComboBox::currentIndexChanged, this, [this] { DrawLog(true); });
  log_ = new QPlainTextEdit(this);
  log_->setReadOnly(true);
  log_->setLineWrapMode(QPlainTextEdit::NoWrap);
  log_->setFixedHeight(150);
  log_->setMaximumBlockCount(static_cast<int>(TStationBoard::MaxLogEntries));
  layout->addWidget(log_);
}

void TStationWindow::UseRecipe(const station::TRecipe& recipe) {
  for (const TTarget target : {TTarget::UsbHost, TTarget::Osd}) {
    const station::TRecipeFile* file = recipe.FileFor(target);
    files_[target].Box->setEditText(file ? QString::fromStdString(file->Path) : QString());
  }
  logEdit_->setText(QString::fromStdString(recipe.LogFile));
  eventsEdit_->setText(QString::fromStdString(recipe.EventsFile));
  recipe_ = recipe;
  recipeLabel_->setText("Recipe " + QString::fromStdString(recipe.Path) + " (files locked)");
  UpdateButtons();
}

void TStationWindow::SetFirmwareFile(TTarget target, const QString& path) {
  QComboBox& box = *files_[target].Box;
  int index = 0;
  if (!app::FindInComboBox(box, path, index)) {
    box.insertItem(0, path);
    index = 0;
  }
  box.setCurrentIndex(index);
  DescribeFile(target);
}

void TStationWindow::SetLogFile(const QString& path) { logEdit_->setText(path); }
void TStationWindow::SetEventsFile(const QString& path) { eventsEdit_->setText(path); }

void TStationWindow::DescribeFile(TTarget target) {
  TFileRow& row = files_[target];
  const std::string path = row.Box->currentText().trimmed().toStdString();
  QPalette palette = row.Info->palette();
  if (path.empty()) {
    row.Info->setText(QString());
    return;
  }
  station::TFirmwareFile file;
  std::string error;
  if (!station::CheckFirmwareFile(target, path, file, error)) {
    row.Info->setText(QString::fromStdString(error));
    palette.setColor(QPalette::WindowText, QColor(Red.R, Red.G, Red.B));
  } else {
    row.Info->setText(QFileInfo(QString::fromStdString(path)).fileName() + "   " + Grouped(file.FileSize) +
                      " bytes   checksum " + QString::asprintf("%04X", file.CheckSum) + "   SHA-256 " +
                      file.Sha256.left(12));
    row.Info->setToolTip("SHA-256 " + file.Sha256);
    palette.setColor(QPalette::WindowText, this->palette().color(QPalette::WindowText));
  }
  row.Info->setPalette(palette);
}

void TStationWindow::BrowseLog(QLineEdit* edit, const QString& title) {
  const QString path = QFileDialog::getSaveFileName(this, title, edit->text(), QStringLiteral("JSON Lines (*.jsonl);;All files (*)"),
                                                    nullptr, QFileDialog::DontConfirmOverwrite);
  if (!path.isEmpty()) edit->setText(path);
}

std::vector<TTarget> TStationWindow::ChosenTargets() const {
  std::vector<TTarget> targets;
  for (const TTarget target : {TTarget::UsbHost, TTarget::Osd})
    if (!files_.at(target).Box->currentText().trimmed().isEmpty()) targets.push_back(target);
  return targets;
}

void TStationWindow::ShowMessage(const QString& text, TColour colour) {
  message_->setText(text);
  QPalette palette = message_->palette();
  palette.setColor(QPalette::WindowText, QColor(colour.R, colour.G, colour.B));
  message_->setPalette(palette);
}

void TStationWindow::StartClicked() {
  if (runner_.Running()) return;
  station::TStationPlan plan;
  plan.UsbHostFile = files_[TTarget::UsbHost].Box->currentText().trimmed().toStdString();
  plan.OsdFile = files_[TTarget::Osd].Box->currentText().trimmed().toStdString();
  if (plan.UsbHostFile.empty() && plan.OsdFile.empty()) {
    ShowMessage(QStringLiteral("Choose a firmware file for USB Host or OSD."), Red);
    return;
  }
  plan.LogFile = logEdit_->text().trimmed().toStdString();
  plan.EventsFile = eventsEdit_->text().trimmed().toStdString();
  if (plan.EventsFile == "-") {
    ShowMessage(QStringLiteral("The window has no standard output for the events: give a file."), Red);
    return;
  }
  plan.TickMs = options_.TickMs;
  if (recipe_) {
    plan.Ports = recipe_->Ports;
    plan.Serials = recipe_->Serials;
    plan.Recipe = recipe_;
  }
  runTargets_ = ChosenTargets();
  board_.Start(runTargets_, NowMs());
  for (auto& [key, tile] : tiles_) delete tile;
  tiles_.clear();
  tileOrder_.clear();
  log_->clear();
  logShown_ = 0;
  logFilter_->blockSignals(true);
  while (logFilter_->count() > 1) logFilter_->removeItem(1);
  logFilter_->setCurrentIndex(0);
  logFilter_->blockSignals(false);
  ranOnce_ = true;
  runner_.Start(std::move(plan));
  ShowMessage(QStringLiteral("Running: plug in the programmers."), Green);
  UpdateButtons();
}

void TStationWindow::StopClicked() {
  if (!runner_.Running()) return;
  runner_.Stop();
  ShowMessage(QStringLiteral("Stopping: every running unit gets Break."), Green);
}

void TStationWindow::SaveRecipeClicked() {
  const QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Save Recipe"), QString(),
                                                    QStringLiteral("Recipes (*.json);;All files (*)"));
  // The dialog has asked before an existing file is replaced.
  if (!path.isEmpty()) SaveRecipe(path);
}

bool TStationWindow::SaveRecipe(const QString& path) {
  std::vector<station::TFirmwareFile> files;
  for (const TTarget target : ChosenTargets()) {
    station::TFirmwareFile file;
    std::string error;
    if (!station::CheckFirmwareFile(target, files_[target].Box->currentText().trimmed().toStdString(), file, error)) {
      ShowMessage(QString::fromStdString(error), Red);
      return false;
    }
    files.push_back(std::move(file));
  }
  if (files.empty()) {
    ShowMessage(QStringLiteral("Choose a firmware file for USB Host or OSD."), Red);
    return false;
  }
  const std::string log = logEdit_->text().trimmed().toStdString();
  const std::string events = eventsEdit_->text().trimmed().toStdString();
  station::TRecipe recipe = station::MakeRecipe(files, log, events, recipe_ ? recipe_->Ports : std::vector<std::string>{},
                                                recipe_ ? recipe_->Serials : std::vector<std::string>{});
  std::vector<std::string> inputs{log, events};
  for (const station::TFirmwareFile& file : files) inputs.push_back(file.Path);
  if (recipe_) inputs.push_back(recipe_->Path);
  std::string error;
  if (!station::WriteRecipe(path.toStdString(), recipe, true, inputs, error)) {
    ShowMessage(QString::fromStdString(error), Red);
    return false;
  }
  ShowMessage("Recipe saved to " + path, Blue);
  return true;
}

void TStationWindow::closeEvent(QCloseEvent* event) {
  if (!runner_.Running()) {
    event->accept();
    return;
  }
  // The window closes once every running unit has ended and its record is
  // written; a second close also ends their waits for replies.
  event->ignore();
  closeWhenStopped_ = true;
  runner_.Stop();
  ShowMessage(QStringLiteral("Closing once every running unit's record is written."), Green);
  UpdateButtons();
}

void TStationWindow::Draw() {
  const bool wasRunning = board_.Running();
  board_.Apply(feed_.Take(), NowMs());
  const std::int64_t now = NowMs();
  DrawTiles(now);
  DrawLog(false);
  DrawTally(now);
  if (wasRunning && !board_.Running()) {
    const TTally& tally = board_.Tally();
    if (board_.ExitCode() != 0 && tally.Finished() == 0 && !board_.Log().empty() && board_.Log().back().Error)
      ShowMessage(QString::fromStdString(board_.Log().back().Text), Red);
    else
      ShowMessage(QString("Stopped: %1 programmed, %2 failed.").arg(tally.Programmed).arg(tally.Failed),
                  board_.ExitCode() == 0 ? Blue : Red);
  }
  UpdateButtons();
  if (closeWhenStopped_ && !runner_.Running()) close();
}

void TStationWindow::DrawTiles(std::int64_t nowMs) {
  const std::vector<TTile>& tiles = board_.Tiles();
  std::vector<std::string> order;
  for (const TTile& tile : tiles) order.push_back(tile.Key);
  const int width = tileArea_->viewport()->width() - 8;
  const int columns = std::max(1, (width + 6) / (TUnitTile::TileWidth + 6));
  if (order != tileOrder_ || columns != tileColumns_) {
    for (auto it = tiles_.begin(); it != tiles_.end();) {
      if (std::find(order.begin(), order.end(), it->first) == order.end()) {
        delete it->second;
        it = tiles_.erase(it);
      } else {
        tileGrid_->removeWidget(it->second);
        ++it;
      }
    }
    for (std::size_t i = 0; i < order.size(); ++i) {
      TUnitTile*& widget = tiles_[order[i]];
      if (widget == nullptr) widget = new TUnitTile(runTargets_, tileCanvas_);
      tileGrid_->addWidget(widget, static_cast<int>(i) / columns, static_cast<int>(i) % columns);
      widget->show();
    }
    tileOrder_ = order;
    tileColumns_ = columns;
  }
  for (const TTile& tile : tiles) tiles_.at(tile.Key)->Show(tile, nowMs);
}

void TStationWindow::DrawLog(bool rebuild) {
  const std::vector<TLogEntry>& entries = board_.Log();
  for (const std::string& unit : board_.LogUnits()) {
    const QString key = QString::fromStdString(unit);
    if (logFilter_->findData(key) < 0) logFilter_->addItem(key.trimmed(), key);
  }
  const QString filter = logFilter_->currentData().toString();
  // logShown_ counts every entry since Start, also those the board let go.
  const std::size_t first = board_.LogDropped();
  const std::size_t end = first + entries.size();
  if (rebuild || logShown_ > end) {
    log_->clear();
    logShown_ = first;
  }
  logShown_ = std::max(logShown_, first);
  if (logShown_ == end) return;
  QScrollBar* bar = log_->verticalScrollBar();
  const bool atEnd = bar->value() == bar->maximum();
  for (; logShown_ < end; ++logShown_) {
    const TLogEntry& entry = entries[logShown_ - first];
    if (!filter.isEmpty() && QString::fromStdString(entry.Unit) != filter) continue;
    log_->appendPlainText(QString::fromStdString(entry.Error ? "station: " + entry.Text : entry.Text));
  }
  if (atEnd || rebuild) bar->setValue(bar->maximum());
}

void TStationWindow::DrawTally(std::int64_t nowMs) {
  const TTally& tally = board_.Tally();
  const bool started = ranOnce_;
  tally_->setText(QString("Programmed %1   Failed %2   Yield %3%   Units per hour %4   Time %5")
                      .arg(tally.Programmed)
                      .arg(tally.Failed)
                      .arg(tally.Yield(), 0, 'f', 1)
                      .arg(started ? tally.UnitsPerHour(nowMs) : 0.0, 0, 'f', 0)
                      .arg(Clock(started ? tally.RunMs(nowMs) : 0)));
}

void TStationWindow::UpdateButtons() {
  const bool running = runner_.Running();
  startButton_->setEnabled(!running);
  stopButton_->setEnabled(running && !closeWhenStopped_);
  const bool editable = !running && !recipe_;
  for (auto& [target, row] : files_) {
    row.Box->setEnabled(editable);
    row.Browse->setEnabled(editable);
  }
  for (QLineEdit* edit : {logEdit_, eventsEdit_}) edit->setReadOnly(!editable);
  for (QToolButton* browse : {logBrowse_, eventsBrowse_}) browse->setEnabled(editable);
}

std::vector<const TUnitTile*> TStationWindow::ShownTiles() const {
  std::vector<const TUnitTile*> shown;
  for (const std::string& key : tileOrder_) shown.push_back(tiles_.at(key));
  return shown;
}

QString TStationWindow::TallyText() const { return tally_->text(); }
QString TStationWindow::LogText() const { return log_->toPlainText(); }
QString TStationWindow::FileText(TTarget target) const { return files_.at(target).Info->text(); }
QString TStationWindow::MessageText() const { return message_->text(); }

}  // namespace kvm::stationwindow
