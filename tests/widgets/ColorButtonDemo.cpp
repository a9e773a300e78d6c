// Renders the colour button as the main window uses it, in its plain and its
// gradient look, enabled and disabled, released and pressed, into PNG files
// (and one sheet with all of them), and the other gradients and glyph layouts
// onto a second sheet, for a person to look at:
//   pictrim_colorbutton_demo OUTPUT_FOLDER
#include <QApplication>
#include <QDir>
#include <QFont>
#include <QImage>
#include <QPainter>
#include <QWidget>

#include <cstdio>
#include <vector>

#include "tests/widgets/ExecuteButtonLooks.h"
#include "widgets/ColorButton.h"

namespace pictrim {
namespace {

// Saves Image as Folder/Name; false (with a line on stderr) when it cannot.
bool Save(const QImage& Image, const QString& Folder, const QString& Name) {
  if (Image.save(Folder + "/" + Name)) return true;
  std::fprintf(stderr, "could not write %s/%s\n", qPrintable(Folder), qPrintable(Name));
  return false;
}

bool RenderTheExecuteButtonsLooks(const QString& folder) {
  QWidget form;
  std::vector<QImage> images;
  for (const test::TExecuteButtonLook& look : test::ExecuteButtonLooks) {
    TGradientColorButton* button =
        test::MakeExecuteButton(&form, look, static_cast<int>(images.size()) + 1);
    const QImage image = button->grab().toImage();
    if (!Save(image, folder, QString(look.Name) + ".png")) return false;
    images.push_back(image);
  }

  // The sheet: plain looks on the left, gradient looks on the right, scaled
  // up three times so that single pixels can be seen.
  const int scale = 3, gap = 8;
  const QSize cell = images.front().size() * scale;
  QImage sheet(2 * cell.width() + 3 * gap, 4 * cell.height() + 5 * gap, QImage::Format_RGB32);
  sheet.fill(Qt::white);
  QPainter painter(&sheet);
  for (size_t i = 0; i < images.size(); ++i) {
    const int column = static_cast<int>(i) / 4, row = static_cast<int>(i) % 4;
    const QPoint at(gap + column * (cell.width() + gap), gap + row * (cell.height() + gap));
    painter.drawImage(QRect(at, cell), images[i]);
  }
  painter.end();
  return Save(sheet, folder, "sheet.png");
}

// The other gradients, a coloured base and the glyph layouts, on one sheet.
bool RenderTheOtherStyles(const QString& folder) {
  QImage glyph(32, 16, QImage::Format_RGB32);
  glyph.fill(Qt::magenta);  // the bottom-left colour: transparent
  QPainter strip(&glyph);
  strip.setBrush(QColor(200, 30, 30));
  strip.drawEllipse(2, 2, 11, 11);
  strip.setBrush(QColor(120, 120, 120));
  strip.drawEllipse(18, 2, 11, 11);
  strip.end();

  QWidget form;
  QImage sheet(3 * 130 + 4 * 6, 4 * 40 + 5 * 6, QImage::Format_RGB32);
  sheet.fill(Qt::white);
  QPainter painter(&sheet);
  const TGradientStyle styles[] = {TGradientStyle::gsHorizontal, TGradientStyle::gsPyramid,
                                   TGradientStyle::gsVertical};
  const TButtonLayout layouts[] = {TButtonLayout::blGlyphLeft, TButtonLayout::blGlyphRight,
                                   TButtonLayout::blGlyphTop, TButtonLayout::blGlyphBottom};
  for (int column = 0; column < 3; ++column) {
    for (int row = 0; row < 4; ++row) {
      TGradientColorButton button(&form);
      button.resize(130, 40);
      button.SetColor(QColor(70, 110, 190));
      button.SetBevelWidth(2);
      button.SetGradientStyle(styles[column]);
      button.SetGradientDirection(row % 2 ? TGradientDirection::gdUpLeft
                                          : TGradientDirection::gdDownRight);
      button.SetChangeDirection(true);
      button.SetGlyph(glyph);
      button.SetNumGlyphs(2);
      button.SetLayout(layouts[row]);
      button.SetCaption("&Start");
      button.SetDown(row == 3);
      painter.drawImage(QPoint(6 + column * 136, 6 + row * 46), button.grab().toImage());
    }
  }
  painter.end();
  return Save(sheet, folder, "styles.png");
}

}  // namespace
}  // namespace pictrim

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: pictrim_colorbutton_demo OUTPUT_FOLDER\n");
    return 2;
  }
  QFont font("DejaVu Sans");
  font.setPixelSize(11);
  QApplication::setFont(font);
  const QString folder = QString::fromLocal8Bit(argv[1]);
  if (!QDir().mkpath(folder)) {
    std::fprintf(stderr, "could not create %s\n", argv[1]);
    return 1;
  }
  return pictrim::RenderTheExecuteButtonsLooks(folder) && pictrim::RenderTheOtherStyles(folder) ? 0
                                                                                                : 1;
}
