// The application's icon on Windows, where the program is built without Qt
// Svg (Debian's MinGW Qt has only qtbase): the same green ball, drawn by the
// lamp's own painter at the usual icon sizes.
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include "app/AppIcon.h"
#include "app/Pictures.h"

namespace kvm::app {

QIcon ApplicationIcon() {
  QIcon icon;
  for (int size : {16, 24, 32, 48, 64, 128, 256}) {
    QPixmap ball = DrawBall(TBallColour::Green, QColor(Qt::transparent), size / 32.0);
    ball.setDevicePixelRatio(1.0);
    // Only the ball: the square around it stays transparent.
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath disc;
    disc.addEllipse(QRectF(0.5, 0.5, size - 1.0, size - 1.0));
    painter.setClipPath(disc);
    painter.drawPixmap(QRect(0, 0, size, size), ball);
    painter.end();
    icon.addPixmap(QPixmap::fromImage(image));
  }
  return icon;
}

void SetApplicationIdentity() {
  QGuiApplication::setWindowIcon(ApplicationIcon());
  QGuiApplication::setDesktopFileName(QString::fromLatin1(DesktopName));
}

}  // namespace kvm::app
