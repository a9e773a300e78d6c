#include <gtest/gtest.h>

#include <QFont>
#include <QFontInfo>
#include <QFontMetrics>
#include <QPainter>

#include <utility>

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

// The stamp's face as this machine has it: "MS Sans Serif" where installed,
// else DejaVu Sans, 11 pixels, unsmoothed.
QFont StampFace() {
  QFont font(QStringLiteral("MS Sans Serif"));
  font.setPixelSize(11);
  font.setStyleStrategy(QFont::NoAntialias);
  if (QFontInfo(font).family() != QStringLiteral("MS Sans Serif"))
    font.setFamily(QStringLiteral("DejaVu Sans"));
  return font;
}

// The smallest rectangle holding every pixel of Colour.
QRect BoxOf(const QImage& Image, QColor Colour) {
  QRect box;
  for (int y = 0; y < Image.height(); ++y)
    for (int x = 0; x < Image.width(); ++x)
      if (Image.pixelColor(x, y) == Colour) box |= QRect(x, y, 1, 1);
  return box;
}

// A grey picture with Text as the stamp's rule has it: the line in black
// with its cell's top-left corner at (X, Y), over the same line in Halo one
// pixel off diagonally each way.
QImage RuledStamp(int Width, int Height, int X, int Y, QColor Halo, const QString& Text) {
  QImage image = Grey(Width, Height);
  QPainter painter(&image);
  painter.setFont(StampFace());
  const int ascent = painter.fontMetrics().ascent();
  painter.setPen(Halo);
  for (const auto& [dx, dy] :
       {std::pair{1, -1}, std::pair{1, 1}, std::pair{-1, 1}, std::pair{-1, -1}})
    painter.drawText(X + dx, Y + dy + ascent, Text);
  painter.setPen(QColor(0, 0, 0));
  painter.drawText(X, Y + ascent, Text);
  return image;
}

// The top line's cell starts at (10, 10); the bottom line's at the left 10
// and two text heights above the bottom edge; the top halo is a light grey,
// the bottom one lighter.
TEST(TextStamp, eachLineStandsExactlyWhereItsPositionPutsIt) {
  const int textHeight = QFontMetrics(StampFace()).height();
  QImage top = Grey(200, 100);
  StampText(top, "Hy", TextAtTop);
  EXPECT_EQ(top, RuledStamp(200, 100, 10, 10, QColor(221, 221, 221), "Hy"));
  QImage bottom = Grey(200, 100);
  StampText(bottom, "Hy", TextAtBottom);
  EXPECT_EQ(bottom, RuledStamp(200, 100, 10, 100 - 2 * textHeight, QColor(238, 238, 238), "Hy"));
  EXPECT_NE(BoxOf(bottom, QColor(0, 0, 0)), QRect());
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
