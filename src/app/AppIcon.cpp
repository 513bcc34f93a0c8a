#include "app/AppIcon.h"

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPixmap>
#include <QSvgRenderer>

namespace kvm::app {

QIcon ApplicationIcon() {
  // Rendered here rather than left to an icon engine plugin, which the
  // platform may lack.
  QSvgRenderer renderer(QStringLiteral(":/kvmflash.svg"));
  if (!renderer.isValid()) return {};
  QIcon icon;
  for (int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    renderer.render(&painter);
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
