#include "app/Pictures.h"

#include <QImage>
#include <QPainter>
#include <QRadialGradient>

namespace kvm::app {

namespace {

QColor BaseColour(TBallColour colour) {
  switch (colour) {
    case TBallColour::Gray:
      return QColor(128, 128, 128);
    case TBallColour::Red:
      return QColor(224, 0, 0);
    case TBallColour::Green:
      return QColor(0, 176, 0);
    case TBallColour::Yellow:
      return QColor(240, 216, 0);
  }
  return QColor(128, 128, 128);
}

}  // namespace

QPixmap DrawBall(TBallColour colour, QColor background, qreal devicePixelRatio) {
  // RGB32 keeps the picture opaque (24-bit colour), like the lamps' bitmaps.
  const int devicePixels = qRound(BallPictureSize * devicePixelRatio);
  QImage image(devicePixels, devicePixels, QImage::Format_RGB32);
  image.setDevicePixelRatio(devicePixelRatio);
  image.fill(background.rgb());

  const QColor base = BaseColour(colour);
  const QPointF centre(BallPictureSize / 2.0, BallPictureSize / 2.0);
  const qreal radius = BallPictureSize / 2.0 - 2.0;
  QRadialGradient shade(centre, radius, centre - QPointF(radius / 2.5, radius / 2.5));
  shade.setColorAt(0.0, base.lighter(190));
  shade.setColorAt(0.45, base);
  shade.setColorAt(1.0, base.darker(220));

  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(QPen(base.darker(260), 1.0));
  painter.setBrush(shade);
  painter.drawEllipse(centre, radius, radius);
  painter.end();
  return QPixmap::fromImage(image);
}

}  // namespace kvm::app
