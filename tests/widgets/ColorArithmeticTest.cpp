// The colour button's arithmetic without painting: bevel colours, the
// gradient palette, the gradient bands, glyph and caption placement.
#include <gtest/gtest.h>

#include <limits>
#include <set>

#include "widgets/ColorButton.h"

namespace pictrim {
namespace {

QRgb Grey(int V) {
  return qRgb(V, V, V);
}

std::string ConversionError(auto&& Call) {
  try {
    Call();
  } catch (const EColorConv& E) {
    return E.what();
  }
  return "no error";
}

TEST(ColorArithmetic, lightColourOfMidGreyWithContrastFiveIs191) {
  EXPECT_EQ(LightColor(Grey(128), 5), Grey(191));
  // 0.5 x 129 = 64.5 and 0.5 x 127 = 63.5 both round to 64.
  EXPECT_EQ(LightColor(Grey(127), 5), Grey(191));
  EXPECT_EQ(LightColor(Grey(129), 5), Grey(191));
  EXPECT_EQ(LightColor(qRgb(255, 0, 100), 5), qRgb(255, 127, 177));
}

TEST(ColorArithmetic, highlightContrastZeroIsTheBaseLessOneAndNineIsNearlyWhite) {
  EXPECT_EQ(LightColor(qRgb(128, 64, 200), 0), qRgb(127, 63, 199));
  EXPECT_EQ(LightColor(Grey(128), 9), Grey(242));  // 255 - round(12.8)
  EXPECT_EQ(LightColor(Grey(0), 9), Grey(229));    // 255 - round(25.6)
  // A channel of 0 would become -1: it stays 0 instead of wrapping to white.
  EXPECT_EQ(LightColor(qRgb(0, 10, 255), 0), qRgb(0, 9, 254));
}

TEST(ColorArithmetic, shadowContrastZeroKeepsTheColourAndNineIsNearlyBlack) {
  for (QRgb c : {Grey(128), qRgb(212, 208, 200), qRgb(255, 0, 0), qRgb(12, 200, 99), qRgb(1, 2, 3),
                 Grey(255), Grey(0), qRgb(180, 180, 181)}) {
    EXPECT_EQ(DarkColor(c, 0), c) << std::hex << c;
    const QRgb nearlyBlack = DarkColor(c, 9);
    EXPECT_LE(qRed(nearlyBlack) + qGreen(nearlyBlack) + qBlue(nearlyBlack),
              (qRed(c) + qGreen(c) + qBlue(c)) / 5);
  }
  EXPECT_EQ(DarkColor(Grey(128), 6), Grey(51));  // 128 x 0.4 = 51.2
  EXPECT_EQ(DarkColor(qRgb(255, 0, 0), 6), qRgb(102, 0, 0));
  EXPECT_EQ(DarkColor(Grey(200), 9), Grey(20));
}

TEST(ColorArithmetic, conversionsRefuseComponentsOutsideZeroToOne) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  EXPECT_EQ(ConversionError([] { RGB2HLS(1.5, 0, 0); }), "RGB2HLS: 0 <= Red value <= 1 required");
  EXPECT_EQ(ConversionError([] { RGB2HLS(0, -0.01, 0); }),
            "RGB2HLS: 0 <= Green value <= 1 required");
  EXPECT_EQ(ConversionError([nan] { RGB2HLS(0, 0, nan); }),
            "RGB2HLS: 0 <= Blue value <= 1 required");
  EXPECT_EQ(ConversionError([] { HLS2RGB(1.01, 0.5, 0.5); }),
            "HLS2RGB: 0 <= Hue value <= 1 required");
  EXPECT_EQ(ConversionError([] { HLS2RGB(0.5, 2, 0.5); }),
            "HLS2RGB: 0 <= Luminance value <= 1 required");
  EXPECT_EQ(ConversionError([] { HLS2RGB(0.5, 0.5, -1); }),
            "HLS2RGB: 0 <= Saturation value <= 1 required");
  EXPECT_EQ(ConversionError([] { RGB2HLS(0, 1, 1); }), "no error");
  // Darkening by more than 1 pushes the luminance out of range.
  EXPECT_EQ(ConversionError([] { Darken(Grey(200), 1.5); }),
            "HLS2RGB: 0 <= Luminance value <= 1 required");
}

TEST(ColorArithmetic, paletteRunsFromWhiteThroughTheBaseToBlack) {
  // For mid grey both halves meet exactly: entry i is 255 - i.
  const TGradientPalette grey = GradientPalette(Grey(128), TGradientDirection::gdDownRight);
  for (int i = 0; i <= 255; ++i) ASSERT_EQ(grey[i], Grey(255 - i)) << i;
  // And the other direction is its mirror.
  const TGradientPalette up = GradientPalette(Grey(128), TGradientDirection::gdUpLeft);
  for (int i = 0; i <= 255; ++i) ASSERT_EQ(up[i], Grey(i)) << i;

  // A colour, worked by hand. Light half: 255 - round(x (256 - c)); dark
  // half: the luminance times x, which for a colour of luminance up to one
  // half scales every channel by x.
  const QRgb base = qRgb(180, 120, 40);
  const TGradientPalette p = GradientPalette(base, TGradientDirection::gdDownRight);
  EXPECT_EQ(p[0], Grey(255));
  EXPECT_EQ(p[64], qRgb(217, 187, 147));  // x = 1/2: 255 - 38, 255 - 68, 255 - 108
  EXPECT_EQ(p[126], qRgb(180, 121, 42));  // x = 126/128: 74.8, 133.9, 212.6
  EXPECT_EQ(p[127], base);                // the dark half starts here with x = 1
  EXPECT_EQ(p[128], qRgb(179, 119, 40));  // x = 127/128: 178.6, 119.1, 39.7
  EXPECT_EQ(p[191], qRgb(90, 60, 20));    // x = 64/128
  EXPECT_EQ(p[255], Grey(0));
  const TGradientPalette q = GradientPalette(base, TGradientDirection::gdUpLeft);
  EXPECT_EQ(q[0], Grey(0));
  EXPECT_EQ(q[127], qRgb(179, 119, 40));  // dark, x = 127/128
  EXPECT_EQ(q[128], qRgb(180, 120, 41));  // light, x = 127/128: 75.4, 134.9, 214.3
  EXPECT_EQ(q[255], Grey(255));
}

TEST(ColorArithmetic, aLightColourDarkensThroughItsLuminanceNotChannelByChannel) {
  // 240, 200, 120: luminance 0.706, saturation 0.8, hue 1/9. Half the
  // luminance, 0.353: m2 = 0.353 x 1.8 = 0.635 (red), m1 = 0.071 (blue),
  // green m1 + (m2 - m1) x 6 x 1/9 = 0.447.
  EXPECT_EQ(DarkColor(qRgb(240, 200, 120), 5), qRgb(162, 114, 18));
  // 0.4 of it: 0.282 x 1.8 = 0.508, m1 = 0.056, green 0.358.
  EXPECT_EQ(DarkColor(qRgb(240, 200, 120), 6), qRgb(130, 91, 14));
  const TGradientPalette p = GradientPalette(qRgb(240, 200, 120), TGradientDirection::gdDownRight);
  EXPECT_EQ(p[191], qRgb(162, 114, 18));
}

TEST(GradientGeometry, twentyFivePixelVerticalGradientPutsTwelveBandsOnRowZero) {
  const auto bands = LinearGradientBands(true, 75, 25, false);
  ASSERT_EQ(bands.size(), 256u);
  for (int i = 0; i <= 11; ++i) {
    EXPECT_EQ(bands[i].Area, QRect(0, 0, 75, 1)) << i;
  }
  EXPECT_EQ(bands[11].Entry, 8);  // so row 0 ends in entry 8
  EXPECT_EQ(bands[12].Area.top(), 1);
  EXPECT_EQ(bands[255].Area, QRect(0, 24, 75, 1));
  EXPECT_EQ(bands[255].Entry, 191);
  int last = -1;
  for (const auto& band : bands) last = std::max(last, band.Entry);
  EXPECT_EQ(last, 191);  // the normal gradient never reaches the dark end

  const auto reversed = LinearGradientBands(true, 75, 25, true);
  for (int i = 0; i <= 255; ++i) EXPECT_EQ(reversed[i].Entry, 255 - i);

  const auto horizontal = LinearGradientBands(false, 75, 25, false);
  EXPECT_EQ(horizontal[255].Area, QRect(74, 0, 1, 25));
}

TEST(GradientGeometry, bandsCoverEveryRowInOrder) {
  for (int height : {1, 2, 24, 25, 254, 255, 256, 300, 509, 510, 600, 1000}) {
    const auto bands = LinearGradientBands(true, 10, height, false);
    std::vector<int> lastBand(height, -1);
    int previousTop = 0;
    for (int i = 0; i <= 255; ++i) {
      const QRect& a = bands[i].Area;
      ASSERT_GE(a.top(), previousTop) << height << " band " << i;
      previousTop = a.top();
      for (int y = std::max(0, a.top()); y <= std::min(height - 1, a.bottom()); ++y) {
        lastBand[y] = i;
      }
    }
    for (int y = 0; y < height; ++y) ASSERT_GE(lastBand[y], 0) << height << " row " << y;
    EXPECT_EQ(lastBand[height - 1], 255) << height;
  }
}

TEST(GradientGeometry, pyramidLinesMeetInTheCentreWithEntriesInRange) {
  const auto lines = PyramidGradientLines(75, 25, false);
  ASSERT_EQ(lines.size(), 2u * 76 + 2u * 26);
  std::set<int> entries;
  for (const auto& line : lines) {
    EXPECT_TRUE(line.From == QPoint(37, 12) || line.To == QPoint(37, 12));
    ASSERT_GE(line.Entry, 0);
    ASSERT_LE(line.Entry, 255);
    entries.insert(line.Entry);
  }
  EXPECT_EQ(*entries.begin(), 0);
  EXPECT_EQ(*entries.rbegin(), 255);
  EXPECT_EQ(lines[1].Entry, static_cast<int>(25 * 255.0 / 100));  // (x + H) x q at x = 0
  const auto reversed = PyramidGradientLines(75, 25, true);
  for (size_t i = 0; i < lines.size(); ++i) ASSERT_EQ(reversed[i].Entry, 255 - lines[i].Entry);
  EXPECT_TRUE(PyramidGradientLines(0, 25, false).empty());
  EXPECT_TRUE(PyramidGradientLines(75, 0, false).empty());
  EXPECT_EQ(PyramidGradientLines(1, 1, false).size(), 8u);
}

TEST(GlyphGeometry, stripIsCutIntoGlyphsWithTheBottomLeftColourTransparent) {
  QImage strip(12, 4, QImage::Format_RGB32);
  strip.fill(Qt::white);
  for (int y = 0; y < 3; ++y) {
    for (int x = 0; x < 12; ++x) strip.setPixel(x, y, x < 4 ? qRgb(255, 0, 0) : qRgb(0, 0, 255));
  }
  const QImage second = GlyphImage(strip, 3, 1);
  ASSERT_EQ(second.size(), QSize(4, 4));
  EXPECT_EQ(second.pixel(0, 0), qRgb(0, 0, 255));
  EXPECT_EQ(qAlpha(second.pixel(2, 3)), 0);  // the white bottom row
  EXPECT_EQ(GlyphImage(strip, 3, 0).pixel(3, 0), qRgb(255, 0, 0));
  EXPECT_TRUE(GlyphImage(strip, 3, 3).isNull());
  EXPECT_TRUE(GlyphImage(strip, 0, 0).isNull());
  EXPECT_TRUE(GlyphImage(strip, 13, 0).isNull());  // narrower than a pixel
  EXPECT_TRUE(GlyphImage(QImage(), 1, 0).isNull());

  EXPECT_EQ(GlyphIndex(1, false, true), 0);
  EXPECT_EQ(GlyphIndex(2, false, false), 1);
  EXPECT_EQ(GlyphIndex(2, true, true), 0);
  EXPECT_EQ(GlyphIndex(3, true, true), 2);
  EXPECT_EQ(GlyphIndex(4, false, true), 2);
}

TEST(GlyphGeometry, captionAloneIsCentredAndMovesOnePixelWhenDown) {
  TFaceLayoutInput in;
  in.Face = FaceRect(75, 25, 1, TBorderStyle::bsNormal);
  ASSERT_EQ(in.Face, (TRect{2, 2, 73, 23}));
  in.CaptionSize = QSize(40, 13);
  EXPECT_EQ(PlaceGlyphAndCaption(in).Caption, QRect(16, 6, 40, 13));
  EXPECT_EQ(PlaceGlyphAndCaption(in).CaptionBackground, QRect(17, 7, 40, 13));
  in.Down = true;
  EXPECT_EQ(PlaceGlyphAndCaption(in).Caption, QRect(17, 7, 40, 13));
  EXPECT_EQ(PlaceGlyphAndCaption(in).CaptionBackground, QRect(17, 7, 40, 13));
  in.TopMargin = 2;
  EXPECT_EQ(PlaceGlyphAndCaption(in).Caption.top(), 9);
  in.ChangeDirection = true;  // the caption offset reverses while down
  EXPECT_EQ(PlaceGlyphAndCaption(in).Caption.top(), 5);
  in.Down = false;
  EXPECT_EQ(PlaceGlyphAndCaption(in).Caption.top(), 8);

  EXPECT_EQ(FaceRect(75, 25, 0, TBorderStyle::bsFlat), (TRect{0, 0, 75, 25}));
  EXPECT_EQ(FaceRect(75, 25, 3, TBorderStyle::bsSingle), (TRect{4, 4, 71, 21}));
}

TEST(GlyphGeometry, glyphAndCaptionFollowTheLayout) {
  TFaceLayoutInput in;
  in.Face = TRect{2, 2, 73, 23};
  in.GlyphSize = QSize(16, 16);
  in.CaptionSize = QSize(40, 13);
  in.Layout = TButtonLayout::blGlyphLeft;
  TFaceLayout at = PlaceGlyphAndCaption(in);
  EXPECT_EQ(at.Glyph, QPoint(7, 4));
  EXPECT_EQ(at.Caption.topLeft(), QPoint(24, 6));
  EXPECT_EQ(at.GlyphEdges[0], QRect(23, 4, 1, 17));  // column right of the glyph
  EXPECT_EQ(at.GlyphEdges[1], QRect(7, 20, 17, 1));  // row below it

  in.Layout = TButtonLayout::blGlyphRight;
  at = PlaceGlyphAndCaption(in);
  EXPECT_EQ(at.Glyph, QPoint(50, 4));
  EXPECT_EQ(at.Caption.topLeft(), QPoint(9, 6));

  in.Layout = TButtonLayout::blGlyphTop;
  at = PlaceGlyphAndCaption(in);
  EXPECT_EQ(at.Glyph, QPoint(28, -3));  // (25 - 30) div 2 truncates towards zero
  EXPECT_EQ(at.Caption.topLeft(), QPoint(16, 14));

  in.Layout = TButtonLayout::blGlyphBottom;
  at = PlaceGlyphAndCaption(in);
  EXPECT_EQ(at.Glyph, QPoint(28, 12));
  EXPECT_EQ(at.Caption.topLeft(), QPoint(16, -2));

  in.Down = true;
  at = PlaceGlyphAndCaption(in);
  EXPECT_EQ(at.Glyph, QPoint(29, 13));
  EXPECT_EQ(at.Caption.topLeft(), QPoint(17, -1));
  EXPECT_EQ(at.GlyphEdges[0], QRect(28, 12, 1, 17));  // uncovered column on the left
  EXPECT_EQ(at.GlyphEdges[1], QRect(28, 12, 17, 1));  // and row on top

  in.CaptionSize = QSize();  // a glyph alone is centred whatever the layout
  in.Down = false;
  at = PlaceGlyphAndCaption(in);
  EXPECT_EQ(at.Glyph, QPoint(28, 4));
  EXPECT_TRUE(at.Caption.isNull());
}

TEST(Accelerator, isTheCharacterAfterASingleAmpersand) {
  EXPECT_EQ(AcceleratorChar("&A"), QChar('A'));
  EXPECT_EQ(AcceleratorChar("Größe &ändern"), QChar(u'ä'));
  EXPECT_EQ(AcceleratorChar("R&&D"), QChar());
  EXPECT_EQ(AcceleratorChar("R&&&D"), QChar('D'));
  EXPECT_EQ(AcceleratorChar("Go&"), QChar());
  EXPECT_EQ(AcceleratorChar(""), QChar());
  EXPECT_EQ(AcceleratorChar("plain"), QChar());
}

}  // namespace
}  // namespace pictrim
