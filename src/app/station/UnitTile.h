// One unit on the station window: port and serial, a lamp per target in
// the main window's lamp pictures, its progress, its status in the main
// window's colours and its elapsed time.
#pragma once

#include <QFrame>
#include <map>

#include "app/station/StationBoard.h"

class QLabel;
class QProgressBar;

namespace kvm::stationwindow {

class TUnitTile final : public QFrame {
 public:
  TUnitTile(const std::vector<TTarget>& targets, QWidget* parent);

  void Show(const TTile& tile, std::int64_t nowMs);

  static constexpr int TileWidth = 320;
  static constexpr int TileHeight = 124;

  // What it shows, for the tests.
  QString StatusText() const;
  QColor StatusColour() const;
  TLamp Lamp(TTarget target) const { return lamps_.at(target); }
  QString Title() const;

 private:
  QLabel* title_;
  QLabel* elapsed_;
  std::map<TTarget, QLabel*> lampPictures_;
  std::map<TTarget, TLamp> lamps_;
  QProgressBar* progress_;
  QLabel* status_;
};

}  // namespace kvm::stationwindow
