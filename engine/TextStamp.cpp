// The text stamp: one line of text, black with a light one-pixel halo, in the
// top-left and/or bottom-left corner of a copy.
#include <QFont>
#include <QFontInfo>
#include <QFontMetrics>
#include <QPainter>

#include "engine/Resize.h"

namespace pictrim {
namespace {

// The face of the stamp: "MS Sans Serif" where installed, else DejaVu Sans,
// at 11 pixels (8 points at 96 dots per inch) whatever the picture's size.
QFont StampFont() {
  QFont font(QStringLiteral("MS Sans Serif"));
  font.setPixelSize(11);
  font.setStyleStrategy(QFont::NoAntialias);
  if (QFontInfo(font).family() != QStringLiteral("MS Sans Serif")) {
    font.setFamily(QStringLiteral("DejaVu Sans"));
  }
  return font;
}

// Draws the text with its cell's top-left corner at (X, Y).
void DrawAt(QPainter& Painter, int X, int Y, const QString& Text) {
  Painter.drawText(X, Y + Painter.fontMetrics().ascent(), Text);
}

}  // namespace

int StampText(QImage& Bitmap, const std::string& Text, uint8_t Position) {
  if (Bitmap.isNull() || (Position & (TextAtTop | TextAtBottom)) == 0) return 0;
  if (Bitmap.format() != QImage::Format_RGB888 && Bitmap.format() != QImage::Format_RGB32 &&
      Bitmap.format() != QImage::Format_ARGB32) {
    Bitmap = Bitmap.convertToFormat(QImage::Format_RGB888);
  }
  const QString text = QString::fromStdString(Text);
  QPainter painter(&Bitmap);
  painter.setFont(StampFont());
  painter.setBackgroundMode(Qt::TransparentMode);
  if (Position & TextAtTop) {
    painter.setPen(QColor(221, 221, 221));
    DrawAt(painter, 11, 9, text);
    DrawAt(painter, 11, 11, text);
    DrawAt(painter, 9, 11, text);
    DrawAt(painter, 9, 9, text);
    painter.setPen(QColor(0, 0, 0));
    DrawAt(painter, 10, 10, text);
  }
  if (Position & TextAtBottom) {
    const int textHeight = painter.fontMetrics().height();  // height of "Xy"
    const int y = Bitmap.height() - 2 * textHeight;
    painter.setPen(QColor(238, 238, 238));
    DrawAt(painter, 11, y + 1, text);
    DrawAt(painter, 11, y - 1, text);
    DrawAt(painter, 9, y + 1, text);
    DrawAt(painter, 9, y - 1, text);
    painter.setPen(QColor(0, 0, 0));
    DrawAt(painter, 10, y, text);
  }
  return 0;
}

}  // namespace pictrim
