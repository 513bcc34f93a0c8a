#include "app/station/UnitTile.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <algorithm>

#include "app/Pictures.h"

namespace kvm::stationwindow {

namespace {

app::TBallColour BallOf(TLamp lamp) {
  switch (lamp) {
    case TLamp::Yellow: return app::TBallColour::Yellow;
    case TLamp::Green: return app::TBallColour::Green;
    case TLamp::Red: return app::TBallColour::Red;
    case TLamp::Gray: break;
  }
  return app::TBallColour::Gray;
}


}  // namespace

TUnitTile::TUnitTile(const std::vector<TTarget>& targets, QWidget* parent) : QFrame(parent) {
  setFrameShape(QFrame::StyledPanel);
  setFixedSize(TileWidth, TileHeight);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(8, 6, 8, 6);
  layout->setSpacing(4);

  auto* head = new QHBoxLayout;
  title_ = new QLabel(this);
  QFont bold = title_->font();
  bold.setBold(true);
  title_->setFont(bold);
  title_->setTextFormat(Qt::PlainText);
  elapsed_ = new QLabel(this);
  elapsed_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  head->addWidget(title_, 1);
  head->addWidget(elapsed_);
  layout->addLayout(head);

  auto* lampRow = new QHBoxLayout;
  for (const TTarget target : targets) {
    auto* picture = new QLabel(this);
    picture->setFixedSize(16, 16);
    picture->setScaledContents(true);
    lampPictures_[target] = picture;
    lamps_[target] = TLamp::Red;  // drawn gray below
    lampRow->addWidget(picture);
    lampRow->addWidget(new QLabel(TargetName(target), this));
    lampRow->addSpacing(12);
  }
  lampRow->addStretch(1);
  layout->addLayout(lampRow);

  progress_ = new QProgressBar(this);
  progress_->setTextVisible(false);
  progress_->setFixedHeight(10);
  layout->addWidget(progress_);

  status_ = new QLabel(this);
  status_->setFont(bold);
  status_->setTextFormat(Qt::PlainText);
  status_->setWordWrap(true);
  status_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  layout->addWidget(status_, 1);
}

void TUnitTile::Show(const TTile& tile, std::int64_t nowMs) {
  const QString title = QString::fromStdString(tile.Port) + "  " + QString::fromStdString(tile.Serial);
  if (title_->text() != title) title_->setText(title);
  const std::int64_t seconds = std::max<std::int64_t>(0, tile.ElapsedMs(nowMs)) / 1000;
  elapsed_->setText(QString::asprintf("%lld:%02lld", static_cast<long long>(seconds / 60), static_cast<long long>(seconds % 60)));
  for (const auto& [target, lamp] : tile.Lamps) {
    const auto picture = lampPictures_.find(target);
    if (picture == lampPictures_.end() || lamps_[target] == lamp) continue;
    lamps_[target] = lamp;
    picture->second->setPixmap(app::DrawBall(BallOf(lamp), palette().color(QPalette::Window),
                                             picture->second->devicePixelRatioF()));
  }
  progress_->setRange(0, tile.Maximum > 0 ? tile.Maximum : 100);
  progress_->setValue(tile.Finished && tile.Colour == Blue ? progress_->maximum() : tile.Position);
  const QString status = QString::fromStdString(tile.Status);
  if (status_->text() != status) status_->setText(status);
  const QColor colour(tile.Colour.R, tile.Colour.G, tile.Colour.B);
  if (StatusColour() != colour) {
    QPalette palette = status_->palette();
    palette.setColor(QPalette::WindowText, colour);
    status_->setPalette(palette);
  }
  setToolTip(tile.Present ? QString() : QStringLiteral("unplugged"));
}

QString TUnitTile::StatusText() const { return status_->text(); }
QColor TUnitTile::StatusColour() const { return status_->palette().color(QPalette::WindowText); }
QString TUnitTile::Title() const { return title_->text(); }

}  // namespace kvm::stationwindow
