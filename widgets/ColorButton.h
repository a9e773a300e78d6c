// The self-drawn push button of the main window: a solid or gradient face
// derived from one base colour, a three-dimensional border and bevel, an
// optional glyph and the caption. It can stay down, work in a group of
// exclusive buttons and repeat its click while held. The colour and layout
// arithmetic are plain functions so that they can be checked without painting.
#pragma once

#include <QColor>
#include <QImage>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>
#include <QWidget>

#include <array>
#include <optional>
#include <stdexcept>
#include <vector>

class QKeyEvent;
class QTimer;

namespace pictrim {

// A colour conversion was given a component outside 0...1.
class EColorConv : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The system colours a button may use; their values come from the
// application palette when the colour is used.
enum class TSystemColor {
  ButtonFace,
  ButtonText,
  ButtonHighlight,
  ButtonShadow,
  ActiveBorder,
  GrayText,
  Window,
  WindowText,
  Highlight
};

// The current value of a system colour.
QRgb SystemColor(TSystemColor Which);

// A colour property: a fixed colour or a system colour.
class TColor {
 public:
  TColor() = default;  // black
  TColor(const QColor& Fixed) : Rgb_(Fixed.rgb()) {}
  TColor(Qt::GlobalColor Fixed) : Rgb_(QColor(Fixed).rgb()) {}
  TColor(TSystemColor System) : System_(System) {}

  bool IsSystem() const { return System_.has_value(); }
  // Red, green and blue, system colours through the application palette.
  QRgb Resolve() const;

  bool operator==(const TColor& Other) const = default;

 private:
  QRgb Rgb_ = qRgb(0, 0, 0);
  std::optional<TSystemColor> System_;
};

enum class TBorderStyle { bsFlat, bsNormal, bsSingle };
enum class TGradientStyle { gsNone, gsHorizontal, gsPyramid, gsVertical };
enum class TGradientDirection { gdDownRight, gdUpLeft };
enum class TButtonLayout { blGlyphBottom, blGlyphLeft, blGlyphRight, blGlyphTop };

// ---------------------------------------------------------------------------
// Colour arithmetic

// Nearest integer, halves to the even neighbour.
int RoundToEven(double X);

// Hue, luminance and saturation, each 0...1.
struct THls {
  double Hue = 0;
  double Luminance = 0;
  double Saturation = 0;
};
struct TRgbF {
  double Red = 0;
  double Green = 0;
  double Blue = 0;
};

// Both raise EColorConv when a component lies outside 0...1.
THls RGB2HLS(double Red, double Green, double Blue);
TRgbF HLS2RGB(double Hue, double Luminance, double Saturation);

// Each channel c becomes 255 - round(X * (256 - c)): X = 0 gives white, X = 1
// the base colour less one (never below 0).
QRgb Lighten(QRgb Base, double X);
// The luminance multiplied by X: X = 0 gives black, X = 1 the base colour.
QRgb Darken(QRgb Base, double X);

// The bevel colours for a contrast of 0...9.
QRgb LightColor(QRgb Base, int ContrastHighlight);
QRgb DarkColor(QRgb Base, int ContrastShadow);

// 256 colours from white through the base colour (entry 127) to black for
// gdDownRight, from black through the base colour to white for gdUpLeft.
using TGradientPalette = std::array<QRgb, 256>;
TGradientPalette GradientPalette(QRgb Base, TGradientDirection Direction);

// ---------------------------------------------------------------------------
// Geometry. TRect keeps the right and bottom edges exclusive, as the layout
// formulas count them.

struct TRect {
  int Left = 0;
  int Top = 0;
  int Right = 0;
  int Bottom = 0;

  int Width() const { return Right - Left; }
  int Height() const { return Bottom - Top; }
  bool IsEmpty() const { return Right <= Left || Bottom <= Top; }
  TRect Shrunk(int By) const { return {Left + By, Top + By, Right - By, Bottom - By}; }
  QRect ToQRect() const { return QRect(Left, Top, Width(), Height()); }
  bool operator==(const TRect& Other) const = default;
};

// The face: the client rectangle less the bevel and, unless flat, the border.
TRect FaceRect(int Width, int Height, int BevelWidth, TBorderStyle Style);

// One band of a horizontal or vertical gradient and its palette entry.
struct TGradientBand {
  QRect Area;
  int Entry = 0;
};
// The 256 bands over a Width x Height client area; Reversed while the button
// is down with ChangeDirection set.
std::vector<TGradientBand> LinearGradientBands(bool Vertical, int Width, int Height, bool Reversed);

// One line of the pyramid gradient (both end points drawn) and its entry.
struct TGradientLine {
  QPoint From;
  QPoint To;
  int Entry = 0;
};
std::vector<TGradientLine> PyramidGradientLines(int Width, int Height, bool Reversed);

// Which glyph of the strip is drawn, counted from 0.
int GlyphIndex(int NumGlyphs, bool Enabled, bool Down);

// Glyph Index of a strip of NumGlyphs, with the colour of its bottom-left
// pixel made transparent. Null when there is nothing to draw.
QImage GlyphImage(const QImage& Strip, int NumGlyphs, int Index);

// What the placement of glyph and caption depends on. An empty GlyphSize means
// no glyph, an empty CaptionSize no caption.
struct TFaceLayoutInput {
  TRect Face;
  QSize GlyphSize;
  QSize CaptionSize;
  TButtonLayout Layout = TButtonLayout::blGlyphLeft;
  int Margin = 1;
  int Spacing = 1;
  int TopMargin = 0;
  bool Down = false;
  bool ChangeDirection = false;
};

struct TFaceLayout {
  QPoint Glyph;             // top-left of the glyph
  QRect GlyphEdges[2];      // the face-coloured column and row beside the glyph
  QRect Caption;            // the caption is centred in this rectangle
  QRect CaptionBackground;  // filled with the face colour when there is no gradient
};

TFaceLayout PlaceGlyphAndCaption(const TFaceLayoutInput& In);

// The part of the face copied and where it goes when the button goes down
// (one pixel right and down) or up (one pixel left and up).
struct TFaceShift {
  QRect Source;
  QPoint Target;
};
TFaceShift FaceShift(const TRect& Face, bool WentDown);

// The character after the accelerator "&" of a caption ("&&" stands for a
// plain "&"); null when there is none.
QChar AcceleratorChar(const QString& Caption);

// ---------------------------------------------------------------------------

// The button. It draws into its parent's surface (no native window of its
// own); a new button is 75 x 25 pixels. It takes the keyboard focus with Tab
// or a click; Space (when let go) and Enter then click it.
class TGradientColorButton : public QWidget {
  Q_OBJECT

 public:
  explicit TGradientColorButton(QWidget* Parent = nullptr);
  ~TGradientColorButton() override;

  QSize sizeHint() const override { return QSize(75, 25); }

  // Properties. Each setter ignores a value equal to the current one and
  // redraws after every accepted change.
  TColor Color() const { return Color_; }
  void SetColor(const TColor& Value);
  int BevelWidth() const { return BevelWidth_; }
  // Accepts 0 <= Value < height div 2 and < width div 2 only.
  void SetBevelWidth(int Value);
  TBorderStyle BorderStyle() const { return BorderStyle_; }
  void SetBorderStyle(TBorderStyle Value);
  TColor BorderColor() const { return BorderColor_; }
  void SetBorderColor(const TColor& Value);
  // Both accept 0...9 only.
  int ContrastHighlight() const { return ContrastHighlight_; }
  void SetContrastHighlight(int Value);
  int ContrastShadow() const { return ContrastShadow_; }
  void SetContrastShadow(int Value);
  TGradientStyle GradientStyle() const { return GradientStyle_; }
  void SetGradientStyle(TGradientStyle Value);
  TGradientDirection GradientDirection() const { return GradientDirection_; }
  void SetGradientDirection(TGradientDirection Value);
  bool ChangeDirection() const { return ChangeDirection_; }
  void SetChangeDirection(bool Value);
  bool Down() const { return Down_; }
  // A grouped button going down releases the other down buttons of its group.
  void SetDown(bool Value);
  bool Grouped() const { return Grouped_; }
  void SetGrouped(bool Value);
  int GroupIndex() const { return GroupIndex_; }
  void SetGroupIndex(int Value);
  bool AllowAllUp() const { return AllowAllUp_; }
  void SetAllowAllUp(bool Value);
  bool AllowTimer() const { return AllowTimer_; }
  void SetAllowTimer(bool Value);
  int TimerDelay() const { return TimerDelay_; }
  void SetTimerDelay(int Value);
  int TimerInterval() const { return TimerInterval_; }
  void SetTimerInterval(int Value);
  // A strip of up to four glyphs of equal width; the button keeps a copy.
  const QImage& Glyph() const { return Glyph_; }
  void SetGlyph(const QImage& Value);
  // 0...4; 0 draws no glyph.
  int NumGlyphs() const { return NumGlyphs_; }
  void SetNumGlyphs(int Value);
  TButtonLayout Layout() const { return Layout_; }
  void SetLayout(TButtonLayout Value);
  int Margin() const { return Margin_; }
  void SetMargin(int Value);
  int Spacing() const { return Spacing_; }
  void SetSpacing(int Value);
  int TopMargin() const { return TopMargin_; }
  void SetTopMargin(int Value);
  QString Caption() const { return Caption_; }
  void SetCaption(const QString& Value);

  // Derived state.
  QRgb LightColor() const { return Light_; }
  QRgb DarkColor() const { return Dark_; }
  const TGradientPalette& Palette() const { return Palette_; }
  // The repeat timer, null until a press has needed it.
  const QTimer* RepeatTimer() const { return RepeatTimer_; }

  // Fires the click event.
  void Click();
  // An accelerator key: true when the caption's accelerator is Key (the key
  // is then handled), false when the key is to be passed on.
  bool DialogChar(QChar Key);
  // One tick of the repeat timer: clicks while the button is held down. A
  // click that raises stops the timer and the error is passed on.
  void TimerTick();

 signals:
  void Clicked();
  void DoubleClicked();
  void StateChanged();
  void MouseDown(Qt::MouseButton Button, Qt::KeyboardModifiers Modifiers, QPoint Pos);
  void MouseMove(Qt::KeyboardModifiers Modifiers, QPoint Pos);
  void MouseUp(Qt::MouseButton Button, Qt::KeyboardModifiers Modifiers, QPoint Pos);

 protected:
  bool event(QEvent* Event) override;
  void changeEvent(QEvent* Event) override;
  void paintEvent(QPaintEvent* Event) override;
  void resizeEvent(QResizeEvent* Event) override;
  void mousePressEvent(QMouseEvent* Event) override;
  void keyPressEvent(QKeyEvent* Event) override;
  void keyReleaseEvent(QKeyEvent* Event) override;
  void focusInEvent(QFocusEvent* Event) override;
  void focusOutEvent(QFocusEvent* Event) override;
  void mouseDoubleClickEvent(QMouseEvent* Event) override;
  void mouseMoveEvent(QMouseEvent* Event) override;
  void mouseReleaseEvent(QMouseEvent* Event) override;

 private:
  void UpdateColors();
  void UpdatePalette();
  // Recomputes the derived colours (and the palette when a gradient is on) and redraws.
  void ColorsChanged();
  void Redraw();
  void RedrawShifted(bool WentDown);
  void ReleaseGroup();
  void UpdateAccelerator();
  void Press();
  void Release();

  void PaintWhole(QPainter& Painter) const;
  void DrawGradient(QPainter& Painter) const;
  void DrawGlyphAndCaption(QPainter& Painter, const TRect& Face, bool Gradient) const;
  void DrawBorderAndBevel(QPainter& Painter) const;
  // A dotted frame inside the bevel while the button has the keyboard focus.
  void DrawFocusFrame(QPainter& Painter) const;
  // Space, Return and Enter without Shift, Ctrl or Alt.
  static bool IsPressKey(const QKeyEvent* Event);

  TColor Color_{TSystemColor::ButtonFace};
  int BevelWidth_ = 1;
  TBorderStyle BorderStyle_ = TBorderStyle::bsNormal;
  TColor BorderColor_;
  int ContrastHighlight_ = 5;
  int ContrastShadow_ = 6;
  TGradientStyle GradientStyle_ = TGradientStyle::gsNone;
  TGradientDirection GradientDirection_ = TGradientDirection::gdDownRight;
  bool ChangeDirection_ = false;
  bool Down_ = false;
  bool Grouped_ = false;
  int GroupIndex_ = 0;
  bool AllowAllUp_ = false;
  bool AllowTimer_ = false;
  int TimerDelay_ = 400;
  int TimerInterval_ = 100;
  QImage Glyph_;
  int NumGlyphs_ = 0;
  TButtonLayout Layout_ = TButtonLayout::blGlyphLeft;
  int Margin_ = 1;
  int Spacing_ = 1;
  int TopMargin_ = 0;
  QString Caption_;

  QRgb Base_ = 0;
  QRgb Light_ = 0;
  QRgb Dark_ = 0;
  TGradientPalette Palette_{};
  QTimer* RepeatTimer_ = nullptr;  // child object, freed with the button
  bool DownBeforePress_ = false;
  bool MouseCaptured_ = false;
  int ShortcutId_ = 0;

  // What the next paint has to do: everything, or only the border, bevel and
  // face shift on top of the last painted picture (Frame_) after a change of
  // the down state. Paints nobody asked for draw everything.
  enum class TRepaint { None, Full, ShiftDown, ShiftUp };
  TRepaint Repaint_ = TRepaint::Full;
  QImage Frame_;
};

}  // namespace pictrim
