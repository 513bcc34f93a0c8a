// The lamp pictures drawn in code.
#include <gtest/gtest.h>

#include <QImage>

#include "app/Pictures.h"

namespace kvm::app {
namespace {

TEST(AppPictures, OpaqueShadedBallsOfTheirColourOnTheBackground) {
  const QColor background(200, 200, 200);
  auto ball = [&](TBallColour colour) { return DrawBall(colour, background).toImage(); };
  for (TBallColour colour : {TBallColour::Gray, TBallColour::Red, TBallColour::Green, TBallColour::Yellow}) {
    const QImage image = ball(colour);
    EXPECT_EQ(image.size(), QSize(32, 32));
    EXPECT_FALSE(image.hasAlphaChannel());
    EXPECT_EQ(image.pixelColor(0, 0), background);
    EXPECT_GT(image.pixelColor(11, 11).lightness(), image.pixelColor(21, 21).lightness()) << "lit from upper left";
  }
  const QColor red = ball(TBallColour::Red).pixelColor(16, 16), green = ball(TBallColour::Green).pixelColor(16, 16);
  const QColor yellow = ball(TBallColour::Yellow).pixelColor(16, 16), gray = ball(TBallColour::Gray).pixelColor(16, 16);
  EXPECT_GT(red.red(), 2 * std::max(red.green(), red.blue()));
  EXPECT_GT(green.green(), 2 * std::max(green.red(), green.blue()));
  EXPECT_GT(std::min(yellow.red(), yellow.green()), 2 * yellow.blue());
  EXPECT_LT(gray.hsvSaturation(), 20);
}

}  // namespace
}  // namespace kvm::app
