// The lamp pictures drawn in code.
#include <gtest/gtest.h>

#include <QImage>

#include "app/Pictures.h"

namespace kvm::app {
namespace {

QColor Centre(const QImage& image) { return image.pixelColor(image.width() / 2, image.height() / 2); }

TEST(AppPictures, OpaqueBallsOnTheBackground) {
  for (TBallColour colour : {TBallColour::Gray, TBallColour::Red, TBallColour::Green, TBallColour::Yellow}) {
    const QImage image = DrawBall(colour, QColor(200, 200, 200)).toImage();
    EXPECT_EQ(image.size(), QSize(BallPictureSize, BallPictureSize));
    EXPECT_FALSE(image.hasAlphaChannel());
    EXPECT_EQ(image.pixelColor(0, 0), QColor(200, 200, 200)) << "corners show the background";
    EXPECT_EQ(image.pixelColor(31, 31), QColor(200, 200, 200));
    EXPECT_NE(Centre(image), QColor(200, 200, 200)) << "the ball covers the middle";
  }
}

TEST(AppPictures, EachBallHasItsHue) {
  const QColor red = Centre(DrawBall(TBallColour::Red).toImage());
  const QColor green = Centre(DrawBall(TBallColour::Green).toImage());
  const QColor yellow = Centre(DrawBall(TBallColour::Yellow).toImage());
  const QColor gray = Centre(DrawBall(TBallColour::Gray).toImage());
  EXPECT_GT(red.red(), 2 * red.green());
  EXPECT_GT(red.red(), 2 * red.blue());
  EXPECT_GT(green.green(), 2 * green.red());
  EXPECT_GT(green.green(), 2 * green.blue());
  EXPECT_GT(yellow.red(), 2 * yellow.blue());
  EXPECT_GT(yellow.green(), 2 * yellow.blue());
  EXPECT_LT(gray.hsvSaturation(), 20);
}

TEST(AppPictures, ShadedFromUpperLeftToLowerRight) {
  const QImage image = DrawBall(TBallColour::Green).toImage();
  EXPECT_GT(image.pixelColor(11, 11).lightness(), image.pixelColor(21, 21).lightness());
}

}  // namespace
}  // namespace kvm::app
