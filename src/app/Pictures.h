// The shaded balls shown by the lamps of the main window.
#pragma once

#include <QColor>
#include <QPixmap>

namespace kvm::app {

enum class TBallColour { Gray, Red, Green, Yellow };

inline constexpr int BallPictureSize = 32;
inline constexpr QRgb BallBackground = qRgb(224, 224, 224);

// A 32 x 32 opaque picture of a ball lit from the upper left on a light gray
// background (pass the window face so that the lamps blend into it). Drawn
// with devicePixelRatio device pixels per pixel, so that it stays sharp on a
// scaled screen.
QPixmap DrawBall(TBallColour colour, QColor background = QColor(BallBackground), qreal devicePixelRatio = 1.0);

}  // namespace kvm::app
