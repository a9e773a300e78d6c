#include <gtest/gtest.h>

#include "engine/Resize.h"

namespace pictrim {
namespace {

QImage Grey(int Width, int Height) {
  QImage image(Width, Height, QImage::Format_RGB888);
  image.fill(QColor(128, 128, 128));
  return image;
}

int CountColour(const QImage& Image, QColor Colour, QRect Area) {
  int n = 0;
  for (int y = std::max(0, Area.top()); y <= std::min(Image.height() - 1, Area.bottom()); ++y) {
    for (int x = std::max(0, Area.left()); x <= std::min(Image.width() - 1, Area.right()); ++x) {
      n += Image.pixelColor(x, y) == Colour;
    }
  }
  return n;
}

TEST(TextStamp, positionZeroDrawsNothing) {
  QImage image = Grey(100, 60);
  EXPECT_EQ(StampText(image, "Hello", 0), 0);
  EXPECT_EQ(image, Grey(100, 60));
}

TEST(TextStamp, topLineIsBlackWithALightGreyHaloNearTenTen) {
  QImage image = Grey(200, 100);
  StampText(image, "Hello World", TextAtTop);
  const QRect top(8, 8, 100, 20);
  EXPECT_GT(CountColour(image, QColor(0, 0, 0), top), 20);
  EXPECT_GT(CountColour(image, QColor(221, 221, 221), top), 20);
  EXPECT_EQ(CountColour(image, QColor(0, 0, 0), QRect(0, 40, 200, 60)), 0);
  EXPECT_EQ(CountColour(image, QColor(0, 0, 0), QRect(0, 0, 200, 8)), 0);
  EXPECT_EQ(CountColour(image, QColor(0, 0, 0), QRect(0, 0, 9, 100)), 0);
}

TEST(TextStamp, bottomLineSitsTwoTextHeightsAboveTheEdgeWithALighterHalo) {
  QImage image = Grey(200, 100);
  StampText(image, "Hello World", TextAtBottom);
  EXPECT_GT(CountColour(image, QColor(0, 0, 0), QRect(8, 60, 100, 40)), 20);
  EXPECT_GT(CountColour(image, QColor(238, 238, 238), QRect(8, 60, 100, 40)), 20);
  EXPECT_EQ(CountColour(image, QColor(0, 0, 0), QRect(0, 0, 200, 50)), 0);
  EXPECT_EQ(CountColour(image, QColor(221, 221, 221), QRect(0, 0, 200, 100)), 0);
}

TEST(TextStamp, bothLinesAndAShortPictureClippedAtTheTop) {
  QImage both = Grey(200, 100);
  StampText(both, "Hello", TextAtTop | TextAtBottom);
  EXPECT_GT(CountColour(both, QColor(221, 221, 221), QRect(0, 0, 200, 30)), 0);
  EXPECT_GT(CountColour(both, QColor(238, 238, 238), QRect(0, 60, 200, 40)), 0);

  QImage shortOne = Grey(120, 20);
  StampText(shortOne, "Hello", TextAtBottom);  // starts above the top edge
  EXPECT_EQ(shortOne.size(), QSize(120, 20));
  EXPECT_GT(CountColour(shortOne, QColor(0, 0, 0), QRect(0, 0, 120, 20)), 0);
}

TEST(TextStamp, textRunningPastTheRightEdgeIsClipped) {
  QImage image = Grey(30, 40);
  StampText(image, "A rather long line of text", TextAtTop);
  EXPECT_EQ(image.size(), QSize(30, 40));
  EXPECT_GT(CountColour(image, QColor(0, 0, 0), QRect(10, 10, 20, 15)), 0);
}

}  // namespace
}  // namespace pictrim
