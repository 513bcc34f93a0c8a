// The application icon from the packaged SVG, and the lamps on a scaled
// screen.
#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QImage>

#include "app/AppIcon.h"
#include "app/Pictures.h"

namespace kvm::app {
namespace {

TEST(AppIcon, GreenBallOnATransparentSquareAtEverySize) {
  const QIcon icon = ApplicationIcon();
  ASSERT_FALSE(icon.isNull()) << "the compiled-in kvmflash.svg is missing or unreadable";
  for (int size : {16, 48, 256}) {
    const QImage image = icon.pixmap(size, size).toImage();
    ASSERT_EQ(image.size(), QSize(size, size));
    EXPECT_EQ(qAlpha(image.pixel(0, 0)), 0) << size;
    EXPECT_EQ(qAlpha(image.pixel(size - 1, size - 1)), 0) << size;
    const QColor centre = image.pixelColor(size / 2, size / 2);
    EXPECT_EQ(centre.alpha(), 255) << size;
    EXPECT_GT(centre.green(), 2 * std::max(centre.red(), centre.blue())) << size;
  }
  const QImage large = icon.pixmap(256, 256).toImage();
  EXPECT_GT(large.pixelColor(90, 90).lightness(), large.pixelColor(166, 166).lightness()) << "lit from upper left";
}

TEST(AppIcon, SameGreenAsTheLampItShows) {
  const QColor icon = ApplicationIcon().pixmap(64, 64).toImage().pixelColor(32, 32);
  const QColor lamp = DrawBall(TBallColour::Green).toImage().pixelColor(16, 16);
  EXPECT_NEAR(icon.hsvHue(), lamp.hsvHue(), 10);
  EXPECT_NEAR(icon.value(), lamp.value(), 40);
}

TEST(AppIcon, WindowsGetItAndTheDesktopFileName) {
  SetApplicationIdentity();
  EXPECT_FALSE(QGuiApplication::windowIcon().isNull());
  EXPECT_EQ(QGuiApplication::desktopFileName(), QStringLiteral("kvmflash"));
}

// On a screen scaled by 2 the lamp must have twice the pixels, not a blown-up
// 32-pixel picture.
TEST(AppPictures, BallDrawnAtTheDevicePixelRatio) {
  const QColor background(200, 200, 200);
  const QPixmap plain = DrawBall(TBallColour::Red, background);
  const QPixmap sharp = DrawBall(TBallColour::Red, background, 2.0);
  EXPECT_EQ(sharp.size(), QSize(64, 64));
  EXPECT_EQ(sharp.devicePixelRatio(), 2.0);
  EXPECT_EQ(sharp.deviceIndependentSize(), QSizeF(plain.size()));
  const QImage image = sharp.toImage();
  EXPECT_FALSE(image.hasAlphaChannel());
  EXPECT_EQ(image.pixelColor(0, 0), background);
  EXPECT_EQ(image.pixelColor(63, 63), background);
  // The same picture: sampled at matching points, the two agree.
  const QImage small = plain.toImage();
  for (int p : {8, 16, 24}) {
    const QColor a = small.pixelColor(p, p), b = image.pixelColor(2 * p, 2 * p);
    EXPECT_NEAR(a.red(), b.red(), 24) << p;
    EXPECT_NEAR(a.green(), b.green(), 24) << p;
  }
}

}  // namespace
}  // namespace kvm::app
