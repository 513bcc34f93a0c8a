// kvmflash-station: the station for the operator on the line. The firmware
// file of each target (chosen with "..." as in the main window, shown with
// its size, checksum and SHA-256), the log and events paths, Start and Stop,
// the tally, a tile per unit in port order and the log of every unit. It
// reads no settings: what it remembers, it remembers in a recipe.
#pragma once

#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>
#include <map>
#include <memory>
#include <optional>

#include "station/Recipe.h"
#include "app/station/StationBoard.h"
#include "app/station/StationFeed.h"
#include "app/station/StationRunner.h"

class QComboBox;
class QGridLayout;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QScrollArea;
class QToolButton;

namespace kvm::app {
class IFileDialog;
}

namespace kvm::stationwindow {

class TUnitTile;

struct TStationWindowOptions {
  TStationRunner::TMachineFactory Machine;  // the devices (the machine's own when not set)
  int TickMs = 1000;                        // the units' one-second timers
  int DrawMs = 100;                         // how often the window takes what the run told
};

class TStationWindow final : public QWidget {
 public:
  explicit TStationWindow(TStationWindowOptions options = {}, QWidget* parent = nullptr);
  ~TStationWindow() override;

  // Takes the recipe's files, outputs and filters and locks them.
  void UseRecipe(const station::TRecipe& recipe);
  // Lists `path` for the target and makes it the file its units get.
  void SetFirmwareFile(TTarget target, const QString& path);
  void SetLogFile(const QString& path);
  void SetEventsFile(const QString& path);

  // Writes the set-up shown to `path` (replacing a file there: the save
  // dialog has asked); false with the reason shown.
  bool SaveRecipe(const QString& path);
  void StartClicked();
  void StopClicked();
  // Draws what the run told since the last time (the timer does this too).
  void Draw();

  const TStationBoard& Board() const { return board_; }
  bool Running() const { return runner_.Running(); }
  bool Locked() const { return recipe_.has_value(); }
  // The tiles shown, in order.
  std::vector<const TUnitTile*> ShownTiles() const;
  QString TallyText() const;
  QString LogText() const;
  QString FileText(TTarget target) const;
  QString MessageText() const;
  QComboBox* LogFilter() const { return logFilter_; }
  QPushButton* StartButton() const { return startButton_; }
  QPushButton* StopButton() const { return stopButton_; }

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  struct TFileRow {
    QComboBox* Box = nullptr;
    QToolButton* Browse = nullptr;
    QLabel* Info = nullptr;
  };

  void BuildControls();
  QWidget* BuildFileRow(TTarget target);
  void DescribeFile(TTarget target);
  void BrowseLog(QLineEdit* edit, const QString& title);
  void SaveRecipeClicked();
  void ShowMessage(const QString& text, TColour colour);
  void DrawTiles(std::int64_t nowMs);
  void DrawLog(bool rebuild);
  void DrawTally(std::int64_t nowMs);
  void UpdateButtons();
  std::vector<TTarget> ChosenTargets() const;
  std::int64_t NowMs() const { return clock_.elapsed(); }

  TStationWindowOptions options_;
  TStationFeed feed_;
  TStationRunner runner_;
  TStationBoard board_;
  std::optional<station::TRecipe> recipe_;
  std::unique_ptr<app::IFileDialog> fileDialog_;
  QElapsedTimer clock_;
  QTimer drawTimer_;
  bool closeWhenStopped_ = false;
  bool ranOnce_ = false;

  std::map<TTarget, TFileRow> files_;
  QLineEdit* logEdit_ = nullptr;
  QLineEdit* eventsEdit_ = nullptr;
  QToolButton* logBrowse_ = nullptr;
  QToolButton* eventsBrowse_ = nullptr;
  QPushButton* startButton_ = nullptr;
  QPushButton* stopButton_ = nullptr;
  QPushButton* saveRecipeButton_ = nullptr;
  QLabel* recipeLabel_ = nullptr;
  QLabel* tally_ = nullptr;
  QLabel* message_ = nullptr;
  QScrollArea* tileArea_ = nullptr;
  QWidget* tileCanvas_ = nullptr;
  QGridLayout* tileGrid_ = nullptr;
  std::map<std::string, TUnitTile*> tiles_;
  std::vector<std::string> tileOrder_;
  int tileColumns_ = 0;
  QComboBox* logFilter_ = nullptr;
  QPlainTextEdit* log_ = nullptr;
  std::size_t logShown_ = 0;
  std::vector<TTarget> runTargets_;
};

}  // namespace kvm::stationwindow
