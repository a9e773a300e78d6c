#include "widgets/ColorButton.h"

#include <QEvent>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QKeySequence>
#include <QMouseEvent>
#include <QPainter>
#include <QPalette>
#include <QShortcutEvent>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <utility>

#include "util/MoreDialogs.h"

namespace pictrim {

// ---------------------------------------------------------------------------
// Colours

QRgb SystemColor(TSystemColor Which) {
  const QPalette palette = QGuiApplication::palette();
  switch (Which) {
    case TSystemColor::ButtonFace:
      return palette.color(QPalette::Active, QPalette::Button).rgb();
    case TSystemColor::ButtonText:
      return palette.color(QPalette::Active, QPalette::ButtonText).rgb();
    case TSystemColor::ButtonHighlight:
      return palette.color(QPalette::Active, QPalette::Light).rgb();
    case TSystemColor::ButtonShadow:
      return palette.color(QPalette::Active, QPalette::Dark).rgb();
    case TSystemColor::ActiveBorder:
      // Window frames are drawn by the window manager here; the window
      // background is the colour they are closest to.
      return palette.color(QPalette::Active, QPalette::Window).rgb();
    case TSystemColor::GrayText:
      return palette.color(QPalette::Disabled, QPalette::Text).rgb();
    case TSystemColor::Window:
      return palette.color(QPalette::Active, QPalette::Base).rgb();
    case TSystemColor::WindowText:
      return palette.color(QPalette::Active, QPalette::WindowText).rgb();
    case TSystemColor::Highlight:
      return palette.color(QPalette::Active, QPalette::Highlight).rgb();
  }
  return qRgb(0, 0, 0);
}

QRgb TColor::Resolve() const {
  return System_ ? SystemColor(*System_) : Rgb_;
}

int RoundToEven(double X) {
  const double floor = std::floor(X);
  const double fraction = X - floor;
  double result = floor;
  if (fraction > 0.5 || (fraction == 0.5 && std::fmod(floor, 2.0) != 0.0)) result = floor + 1;
  return static_cast<int>(result);
}

namespace {

void CheckUnit(const char* Function, const char* Component, double Value) {
  if (!(Value >= 0.0 && Value <= 1.0)) {
    throw EColorConv(std::string(Function) + ": 0 <= " + Component + " value <= 1 required");
  }
}

double HueToChannel(double M1, double M2, double Hue) {
  if (Hue < 0) Hue += 1;
  if (Hue > 1) Hue -= 1;
  if (Hue < 1.0 / 6) return M1 + (M2 - M1) * Hue * 6;
  if (Hue < 0.5) return M2;
  if (Hue < 2.0 / 3) return M1 + (M2 - M1) * (2.0 / 3 - Hue) * 6;
  return M1;
}

int ToByte(double Unit) {
  return std::clamp(RoundToEven(Unit * 255), 0, 255);
}

}  // namespace

THls RGB2HLS(double Red, double Green, double Blue) {
  CheckUnit("RGB2HLS", "Red", Red);
  CheckUnit("RGB2HLS", "Green", Green);
  CheckUnit("RGB2HLS", "Blue", Blue);
  const double high = std::max({Red, Green, Blue});
  const double low = std::min({Red, Green, Blue});
  THls hls;
  hls.Luminance = (high + low) / 2;
  if (high == low) return hls;  // a grey: no hue, no saturation
  const double range = high - low;
  hls.Saturation =
      std::min(1.0, hls.Luminance <= 0.5 ? range / (high + low) : range / (2 - high - low));
  double hue;
  if (Red == high) {
    hue = (Green - Blue) / range;
  } else if (Green == high) {
    hue = 2 + (Blue - Red) / range;
  } else {
    hue = 4 + (Red - Green) / range;
  }
  hue /= 6;
  if (hue < 0) hue += 1;
  if (hue >= 1) hue -= 1;
  hls.Hue = hue;
  return hls;
}

TRgbF HLS2RGB(double Hue, double Luminance, double Saturation) {
  CheckUnit("HLS2RGB", "Hue", Hue);
  CheckUnit("HLS2RGB", "Luminance", Luminance);
  CheckUnit("HLS2RGB", "Saturation", Saturation);
  if (Saturation == 0) return {Luminance, Luminance, Luminance};
  const double m2 = Luminance <= 0.5 ? Luminance * (1 + Saturation)
                                     : Luminance + Saturation - Luminance * Saturation;
  const double m1 = 2 * Luminance - m2;
  return {HueToChannel(m1, m2, Hue + 1.0 / 3), HueToChannel(m1, m2, Hue),
          HueToChannel(m1, m2, Hue - 1.0 / 3)};
}

QRgb Lighten(QRgb Base, double X) {
  // The formula reaches -1 for a zero channel at X = 1; a channel stays 0 then.
  auto channel = [X](int C) { return std::clamp(255 - RoundToEven(X * (256 - C)), 0, 255); };
  return qRgb(channel(qRed(Base)), channel(qGreen(Base)), channel(qBlue(Base)));
}

QRgb Darken(QRgb Base, double X) {
  const THls hls = RGB2HLS(qRed(Base) / 255.0, qGreen(Base) / 255.0, qBlue(Base) / 255.0);
  const TRgbF rgb = HLS2RGB(hls.Hue, hls.Luminance * X, hls.Saturation);
  return qRgb(ToByte(rgb.Red), ToByte(rgb.Green), ToByte(rgb.Blue));
}

QRgb LightColor(QRgb Base, int ContrastHighlight) {
  return Lighten(Base, (10 - ContrastHighlight) / 10.0);
}

QRgb DarkColor(QRgb Base, int ContrastShadow) {
  return Darken(Base, (10 - ContrastShadow) / 10.0);
}

TGradientPalette GradientPalette(QRgb Base, TGradientDirection Direction) {
  const bool downRight = Direction == TGradientDirection::gdDownRight;
  TGradientPalette palette{};
  for (int i = 0; i <= 127; ++i) {
    const double x = i / 128.0;
    palette[i] = downRight ? Lighten(Base, x) : Darken(Base, x);
  }
  // The dark half of gdDownRight starts at 127, so that entry is the base colour.
  for (int i = downRight ? 127 : 128; i <= 255; ++i) {
    const double x = (255 - i) / 128.0;
    palette[i] = downRight ? Darken(Base, x) : Lighten(Base, x);
  }
  return palette;
}

// ---------------------------------------------------------------------------
// Geometry

TRect FaceRect(int Width, int Height, int BevelWidth, TBorderStyle Style) {
  const int border = Style == TBorderStyle::bsFlat ? 0 : 1;
  return TRect{0, 0, Width, Height}.Shrunk(BevelWidth + border);
}

std::vector<TGradientBand> LinearGradientBands(bool Vertical, int Width, int Height,
                                               bool Reversed) {
  const double step = (Vertical ? Height : Width) / 255.0;
  const int bandSize = static_cast<int>(step + 1);
  std::vector<TGradientBand> bands;
  bands.reserve(256);
  for (int i = 0; i <= 255; ++i) {
    const int start = i == 0 ? 0 : static_cast<int>((i - 1) * step);
    const int entry = Reversed ? 255 - i : (3 * i) / 4;
    const QRect area =
        Vertical ? QRect(0, start, Width, bandSize) : QRect(start, 0, bandSize, Height);
    bands.push_back({area, entry});
  }
  return bands;
}

std::vector<TGradientLine> PyramidGradientLines(int Width, int Height, bool Reversed) {
  std::vector<TGradientLine> lines;
  if (Width <= 0 || Height <= 0) return lines;
  const QPoint centre(Width / 2, Height / 2);
  // trunc(Distance x 255 / (Width + Height)), in integers so that the far
  // corner reaches entry 255 exactly.
  const int64_t span = static_cast<int64_t>(Width) + Height;
  auto entry = [span, Reversed](int Distance) {
    const int e = static_cast<int>(std::clamp<int64_t>(Distance * int64_t{255} / span, 0, 255));
    return Reversed ? 255 - e : e;
  };
  lines.reserve(2 * static_cast<size_t>(Width + Height + 2));
  for (int x = 0; x <= Width; ++x) {
    lines.push_back({QPoint(x, 0), centre, entry(x)});
    lines.push_back({centre, QPoint(x, Height - 1), entry(x + Height)});
  }
  for (int y = 0; y <= Height; ++y) {
    lines.push_back({QPoint(Width - 1, y), centre, entry(y + Width)});
    lines.push_back({centre, QPoint(0, y), entry(y)});
  }
  return lines;
}

int GlyphIndex(int NumGlyphs, bool Enabled, bool Down) {
  int index = 0;
  if (!Enabled && NumGlyphs >= 2) index = 1;
  if (Down && NumGlyphs >= 3) index = 2;
  return index;
}

QImage GlyphImage(const QImage& Strip, int NumGlyphs, int Index) {
  if (Strip.isNull() || NumGlyphs <= 0 || Index < 0 || Index >= NumGlyphs) return QImage();
  const int width = Strip.width() / NumGlyphs;
  const int height = Strip.height();
  if (width <= 0 || height <= 0) return QImage();
  QImage glyph = Strip.copy(Index * width, 0, width, height).convertToFormat(QImage::Format_ARGB32);
  const QRgb transparent = glyph.pixel(0, height - 1) & RGB_MASK;
  for (int y = 0; y < height; ++y) {
    auto* row = reinterpret_cast<QRgb*>(glyph.scanLine(y));
    for (int x = 0; x < width; ++x) {
      if ((row[x] & RGB_MASK) == transparent) row[x] = 0;
    }
  }
  return glyph;
}

TFaceLayout PlaceGlyphAndCaption(const TFaceLayoutInput& In) {
  const bool glyph = !In.GlyphSize.isEmpty();
  const bool caption = !In.CaptionSize.isEmpty();
  const int gw = glyph ? In.GlyphSize.width() : 0;
  const int gh = glyph ? In.GlyphSize.height() : 0;
  const int tw = caption ? In.CaptionSize.width() : 0;
  const int th = caption ? In.CaptionSize.height() : 0;
  const int right = In.Face.Right;
  const int rows = In.Face.Top + In.Face.Bottom;

  int gx = (right - gw) / 2;
  int gy = (rows - gh) / 2;
  if (glyph && caption) {
    switch (In.Layout) {
      case TButtonLayout::blGlyphLeft:
        gx = (right - (tw + gw + In.Spacing)) / 2 - In.Margin;
        break;
      case TButtonLayout::blGlyphRight:
        gx = ((tw + gw + In.Spacing) + right) / 2 + In.Margin - gw;
        break;
      case TButtonLayout::blGlyphTop:
        gy = (rows - (th + gh + In.Spacing)) / 2 - In.Margin;
        break;
      case TButtonLayout::blGlyphBottom:
        gy = (rows + (th + gh + In.Spacing)) / 2 + In.Margin - gh;
        break;
    }
  }

  int cx = (right - tw) / 2;
  int cy = (rows - th) / 2 + (In.Down && In.ChangeDirection ? -In.TopMargin : In.TopMargin);
  if (glyph && caption) {
    switch (In.Layout) {
      case TButtonLayout::blGlyphLeft:
        cx = gx + gw + In.Spacing;
        break;
      case TButtonLayout::blGlyphRight:
        cx = gx - tw - In.Spacing;
        break;
      case TButtonLayout::blGlyphTop:
        cy = gy + gh + In.Spacing;
        break;
      case TButtonLayout::blGlyphBottom:
        cy = gy - th - In.Spacing;
        break;
    }
  }

  // Down, everything on the face sits one pixel right and down: the same
  // place the face shift of a press moves it to.
  if (In.Down) {
    ++gx, ++gy, ++cx, ++cy;
  }

  TFaceLayout out;
  out.Glyph = QPoint(gx, gy);
  if (glyph) {
    if (In.Down) {  // the column and row the glyph has moved away from
      out.GlyphEdges[0] = QRect(gx - 1, gy - 1, 1, gh + 1);
      out.GlyphEdges[1] = QRect(gx - 1, gy - 1, gw + 1, 1);
    } else {  // the column and row a pressed glyph would cover
      out.GlyphEdges[0] = QRect(gx + gw, gy, 1, gh + 1);
      out.GlyphEdges[1] = QRect(gx, gy + gh, gw + 1, 1);
    }
  }
  if (caption) {
    out.Caption = QRect(cx, cy, tw, th);
    out.CaptionBackground = In.Down ? out.Caption : out.Caption.translated(1, 1);
  }
  return out;
}

TFaceShift FaceShift(const TRect& Face, bool WentDown) {
  if (Face.Width() <= 1 || Face.Height() <= 1) return {};
  const QSize size(Face.Width() - 1, Face.Height() - 1);
  if (WentDown)
    return {QRect(QPoint(Face.Left, Face.Top), size), QPoint(Face.Left + 1, Face.Top + 1)};
  return {QRect(QPoint(Face.Left + 1, Face.Top + 1), size), QPoint(Face.Left, Face.Top)};
}

QChar AcceleratorChar(const QString& Caption) {
  for (qsizetype i = 0; i + 1 < Caption.size(); ++i) {
    if (Caption[i] != u'&') continue;
    if (Caption[i + 1] != u'&') return Caption[i + 1];
    ++i;  // "&&" is a plain "&"
  }
  return QChar();
}

// ---------------------------------------------------------------------------
// The button

namespace {

template <typename T>
bool Assign(T& Member, const T& Value) {
  if (Member == Value) return false;
  Member = Value;
  return true;
}

}  // namespace

TGradientColorButton::TGradientColorButton(QWidget* Parent) : QWidget(Parent) {
  // The paint step covers every pixel, so nothing is erased beforehand.
  setAttribute(Qt::WA_OpaquePaintEvent);
  setAttribute(Qt::WA_NoSystemBackground);
  // Reached with Tab as well as with the mouse; Space and Enter press it.
  setFocusPolicy(Qt::StrongFocus);
  resize(sizeHint());
  UpdateColors();
  UpdatePalette();
}

TGradientColorButton::~TGradientColorButton() = default;

void TGradientColorButton::UpdateColors() {
  Base_ = Color_.Resolve();
  Light_ = pictrim::LightColor(Base_, ContrastHighlight_);
  Dark_ = pictrim::DarkColor(Base_, ContrastShadow_);
}

void TGradientColorButton::UpdatePalette() {
  Palette_ = GradientPalette(Base_, GradientDirection_);
}

void TGradientColorButton::ColorsChanged() {
  UpdateColors();
  if (GradientStyle_ != TGradientStyle::gsNone) UpdatePalette();
  Redraw();
}

void TGradientColorButton::Redraw() {
  Repaint_ = TRepaint::Full;
  update();
}

void TGradientColorButton::RedrawShifted(bool WentDown) {
  // A shift applies to the picture as last painted; anything else already
  // waiting needs the whole face drawn again.
  if (Repaint_ != TRepaint::None) {
    Redraw();
    return;
  }
  Repaint_ = WentDown ? TRepaint::ShiftDown : TRepaint::ShiftUp;
  update();
}

void TGradientColorButton::SetColor(const TColor& Value) {
  if (Assign(Color_, Value)) ColorsChanged();
}

void TGradientColorButton::SetBevelWidth(int Value) {
  if (Value == BevelWidth_) return;
  if (Value < 0 || Value >= height() / 2 || Value >= width() / 2) return;
  BevelWidth_ = Value;
  Redraw();
}

void TGradientColorButton::SetBorderStyle(TBorderStyle Value) {
  if (Assign(BorderStyle_, Value)) Redraw();
}

void TGradientColorButton::SetBorderColor(const TColor& Value) {
  if (Assign(BorderColor_, Value)) Redraw();
}

void TGradientColorButton::SetContrastHighlight(int Value) {
  if (Value >= 0 && Value <= 9 && Assign(ContrastHighlight_, Value)) ColorsChanged();
}

void TGradientColorButton::SetContrastShadow(int Value) {
  if (Value >= 0 && Value <= 9 && Assign(ContrastShadow_, Value)) ColorsChanged();
}

void TGradientColorButton::SetGradientStyle(TGradientStyle Value) {
  if (!Assign(GradientStyle_, Value)) return;
  if (Value != TGradientStyle::gsNone) UpdatePalette();
  Redraw();
}

void TGradientColorButton::SetGradientDirection(TGradientDirection Value) {
  if (!Assign(GradientDirection_, Value)) return;
  if (GradientStyle_ != TGradientStyle::gsNone) UpdatePalette();
  Redraw();
}

void TGradientColorButton::SetChangeDirection(bool Value) {
  if (Assign(ChangeDirection_, Value)) Redraw();
}

void TGradientColorButton::SetDown(bool Value) {
  if (!Assign(Down_, Value)) return;
  // The face shift only moves what is there; a strip with a glyph of its own
  // for the down state needs the whole face drawn.
  const bool sameGlyph =
      GlyphIndex(NumGlyphs_, isEnabled(), true) == GlyphIndex(NumGlyphs_, isEnabled(), false);
  if (GradientStyle_ == TGradientStyle::gsNone && sameGlyph) {
    RedrawShifted(Value);
  } else {
    Redraw();
  }
  if (Grouped_ && Down_) ReleaseGroup();
  emit StateChanged();
}

void TGradientColorButton::ReleaseGroup() {
  QWidget* parent = parentWidget();
  if (parent == nullptr) return;
  const auto siblings = parent->findChildren<TGradientColorButton*>(Qt::FindDirectChildrenOnly);
  for (TGradientColorButton* other : siblings) {
    if (other != this && other->Grouped_ && other->GroupIndex_ == GroupIndex_ && other->Down_) {
      other->SetDown(false);
    }
  }
}

void TGradientColorButton::SetGrouped(bool Value) {
  if (Assign(Grouped_, Value)) Redraw();
}

void TGradientColorButton::SetGroupIndex(int Value) {
  if (Assign(GroupIndex_, Value)) Redraw();
}

void TGradientColorButton::SetAllowAllUp(bool Value) {
  if (Assign(AllowAllUp_, Value)) Redraw();
}

void TGradientColorButton::SetAllowTimer(bool Value) {
  if (Assign(AllowTimer_, Value)) Redraw();
}

void TGradientColorButton::SetTimerDelay(int Value) {
  if (Assign(TimerDelay_, Value)) Redraw();
}

void TGradientColorButton::SetTimerInterval(int Value) {
  if (Assign(TimerInterval_, Value)) Redraw();
}

void TGradientColorButton::SetGlyph(const QImage& Value) {
  if (Assign(Glyph_, Value)) Redraw();
}

void TGradientColorButton::SetNumGlyphs(int Value) {
  if (Value < 0 || Value > 4) return;
  if (Assign(NumGlyphs_, Value)) Redraw();
}

void TGradientColorButton::SetLayout(TButtonLayout Value) {
  if (Assign(Layout_, Value)) Redraw();
}

void TGradientColorButton::SetMargin(int Value) {
  if (Assign(Margin_, Value)) Redraw();
}

void TGradientColorButton::SetSpacing(int Value) {
  if (Assign(Spacing_, Value)) Redraw();
}

void TGradientColorButton::SetTopMargin(int Value) {
  if (Assign(TopMargin_, Value)) Redraw();
}

void TGradientColorButton::SetCaption(const QString& Value) {
  if (!Assign(Caption_, Value)) return;
  UpdateAccelerator();
  Redraw();
}

void TGradientColorButton::UpdateAccelerator() {
  if (ShortcutId_ != 0) {
    releaseShortcut(ShortcutId_);
    ShortcutId_ = 0;
  }
  // The accelerator is typed with Alt, as for every other control here.
  const QChar key = AcceleratorChar(Caption_);
  if (!key.isNull()) {
    ShortcutId_ = grabShortcut(QKeySequence(
        QKeyCombination(Qt::AltModifier, static_cast<Qt::Key>(key.toUpper().unicode()))));
  }
}

void TGradientColorButton::Click() {
  emit Clicked();
}

bool TGradientColorButton::DialogChar(QChar Key) {
  const QChar accelerator = AcceleratorChar(Caption_);
  if (accelerator.isNull() || accelerator.toUpper() != Key.toUpper()) return false;
  if (Grouped_ && (!Down_ || AllowAllUp_)) SetDown(!Down_);
  if (isEnabled()) Click();
  return true;
}

void TGradientColorButton::TimerTick() {
  if (RepeatTimer_ != nullptr) RepeatTimer_->setInterval(std::max(0, TimerInterval_));
  if (!(Down_ && isEnabled() && MouseCaptured_)) return;
  try {
    Click();
  } catch (...) {
    if (RepeatTimer_ != nullptr) RepeatTimer_->stop();
    throw;
  }
}

void TGradientColorButton::Press() {
  DownBeforePress_ = Down_;
  if (!Down_) SetDown(true);
  if (!AllowTimer_) return;
  if (RepeatTimer_ == nullptr) {
    RepeatTimer_ = new QTimer(this);
    // Errors must not leave through the event loop; they reach the user as a
    // message instead.
    connect(RepeatTimer_, &QTimer::timeout, this, [this] {
      try {
        TimerTick();
      } catch (const std::exception& E) {
        ShowMessage(E.what());
      }
    });
  }
  RepeatTimer_->setInterval(std::max(0, TimerDelay_));
  RepeatTimer_->start();
}

void TGradientColorButton::Release() {
  if (Down_ && (!Grouped_ || (AllowAllUp_ && DownBeforePress_))) SetDown(false);
  if (RepeatTimer_ != nullptr) RepeatTimer_->stop();
  Click();
}

void TGradientColorButton::mousePressEvent(QMouseEvent* Event) {
  MouseCaptured_ = true;
  emit MouseDown(Event->button(), Event->modifiers(), Event->position().toPoint());
  if (Event->button() == Qt::LeftButton && isEnabled()) Press();
  Event->accept();
}

bool TGradientColorButton::IsPressKey(const QKeyEvent* Event) {
  if (Event->modifiers() & ~Qt::KeypadModifier) return false;
  return Event->key() == Qt::Key_Space || Event->key() == Qt::Key_Return ||
         Event->key() == Qt::Key_Enter;
}

void TGradientColorButton::keyPressEvent(QKeyEvent* Event) {
  if (!IsPressKey(Event)) {
    QWidget::keyPressEvent(Event);
    return;
  }
  Event->accept();
  if (Event->isAutoRepeat() || !isEnabled()) return;
  // Space clicks when it is let go, as a mouse button does; Enter at once.
  Press();
  if (Event->key() != Qt::Key_Space) Release();
}

void TGradientColorButton::keyReleaseEvent(QKeyEvent* Event) {
  if (!IsPressKey(Event)) {
    QWidget::keyReleaseEvent(Event);
    return;
  }
  Event->accept();
  if (Event->key() == Qt::Key_Space && !Event->isAutoRepeat() && isEnabled() && Down_) Release();
}

void TGradientColorButton::focusInEvent(QFocusEvent* Event) {
  QWidget::focusInEvent(Event);
  update();
}

void TGradientColorButton::focusOutEvent(QFocusEvent* Event) {
  QWidget::focusOutEvent(Event);
  update();
}

void TGradientColorButton::mouseDoubleClickEvent(QMouseEvent* Event) {
  emit DoubleClicked();
  mousePressEvent(Event);
}

void TGradientColorButton::mouseMoveEvent(QMouseEvent* Event) {
  emit MouseMove(Event->modifiers(), Event->position().toPoint());
}

void TGradientColorButton::mouseReleaseEvent(QMouseEvent* Event) {
  if (Event->buttons() == Qt::NoButton) MouseCaptured_ = false;
  emit MouseUp(Event->button(), Event->modifiers(), Event->position().toPoint());
  if (Event->button() == Qt::LeftButton && isEnabled()) Release();
  Event->accept();
}

bool TGradientColorButton::event(QEvent* Event) {
  if (Event->type() == QEvent::Shortcut) {
    const auto* shortcut = static_cast<QShortcutEvent*>(Event);
    if (ShortcutId_ != 0 && shortcut->shortcutId() == ShortcutId_) {
      DialogChar(AcceleratorChar(Caption_));
      return true;
    }
  }
  return QWidget::event(Event);
}

void TGradientColorButton::changeEvent(QEvent* Event) {
  switch (Event->type()) {
    case QEvent::EnabledChange:
      // A disabled widget gets no mouse release, so a press ends here.
      if (!isEnabled()) {
        MouseCaptured_ = false;
        if (RepeatTimer_ != nullptr) RepeatTimer_->stop();
      }
      if (!Grouped_) SetDown(false);
      Redraw();
      break;
    case QEvent::FontChange:
      Redraw();
      break;
    case QEvent::PaletteChange:
    case QEvent::ApplicationPaletteChange:
      ColorsChanged();  // system colours may have new values
      break;
    default:
      break;
  }
  QWidget::changeEvent(Event);
}

void TGradientColorButton::resizeEvent(QResizeEvent* Event) {
  Redraw();
  QWidget::resizeEvent(Event);
}

// ---------------------------------------------------------------------------
// Painting. The face is drawn into Frame_ and copied onto the parent's
// surface; a change of the down state without gradient only redraws the
// border and bevel and moves the inner area of Frame_ by one pixel.

void TGradientColorButton::paintEvent(QPaintEvent*) {
  const TRepaint request = std::exchange(Repaint_, TRepaint::None);
  if (width() <= 0 || height() <= 0) return;
  const qreal ratio = devicePixelRatioF();
  const QSize pixels = (QSizeF(size()) * ratio).toSize();
  const bool shift = (request == TRepaint::ShiftDown || request == TRepaint::ShiftUp) &&
                     GradientStyle_ == TGradientStyle::gsNone && Frame_.size() == pixels &&
                     Frame_.devicePixelRatio() == ratio;
  if (shift) {
    const QImage before = Frame_;
    QPainter painter(&Frame_);
    DrawBorderAndBevel(painter);
    const TFaceShift move = FaceShift(FaceRect(width(), height(), BevelWidth_, BorderStyle_),
                                      request == TRepaint::ShiftDown);
    if (!move.Source.isEmpty()) {
      const QRectF source(QPointF(move.Source.topLeft()) * ratio,
                          QSizeF(move.Source.size()) * ratio);
      painter.drawImage(QRectF(move.Target, move.Source.size()), before, source);
    }
  } else {
    Frame_ = QImage(pixels, QImage::Format_RGB32);
    Frame_.setDevicePixelRatio(ratio);
    // Text is measured and drawn at the widget's resolution.
    Frame_.setDotsPerMeterX(qRound(logicalDpiX() / 0.0254));
    Frame_.setDotsPerMeterY(qRound(logicalDpiY() / 0.0254));
    QPainter painter(&Frame_);
    PaintWhole(painter);
  }
  QPainter painter(this);
  painter.drawImage(QPoint(0, 0), Frame_);
  // The keyboard focus is drawn over the picture, never into it, so the face
  // shift of a press still starts from the button's own pixels.
  if (hasFocus()) DrawFocusFrame(painter);
}

void TGradientColorButton::DrawFocusFrame(QPainter& Painter) const {
  const int inset = BevelWidth_ + (BorderStyle_ == TBorderStyle::bsFlat ? 0 : 1) + 2;
  const QRect frame = rect().adjusted(inset, inset, -inset - 1, -inset - 1);
  if (frame.width() <= 0 || frame.height() <= 0) return;
  Painter.setPen(QPen(QColor(Dark_), 1, Qt::DotLine));
  Painter.setBrush(Qt::NoBrush);
  Painter.drawRect(frame);
}

void TGradientColorButton::PaintWhole(QPainter& Painter) const {
  // The face colour first, everywhere: the face rectangle and whatever the
  // border and bevel of a very small button leave uncovered.
  Painter.fillRect(rect(), QColor(Base_));
  const bool gradient = GradientStyle_ != TGradientStyle::gsNone;
  if (gradient) DrawGradient(Painter);
  DrawGlyphAndCaption(Painter, FaceRect(width(), height(), BevelWidth_, BorderStyle_), gradient);
  DrawBorderAndBevel(Painter);
}

void TGradientColorButton::DrawGradient(QPainter& Painter) const {
  const bool reversed = ChangeDirection_ && Down_;
  if (GradientStyle_ == TGradientStyle::gsPyramid) {
    for (const TGradientLine& line : PyramidGradientLines(width(), height(), reversed)) {
      Painter.setPen(QColor(Palette_[line.Entry]));
      Painter.drawLine(line.From, line.To);
    }
    return;
  }
  const bool vertical = GradientStyle_ == TGradientStyle::gsVertical;
  for (const TGradientBand& band : LinearGradientBands(vertical, width(), height(), reversed)) {
    Painter.fillRect(band.Area, QColor(Palette_[band.Entry]));
  }
}

void TGradientColorButton::DrawGlyphAndCaption(QPainter& Painter, const TRect& Face,
                                               bool Gradient) const {
  const QImage glyph =
      NumGlyphs_ > 0 ? GlyphImage(Glyph_, NumGlyphs_, GlyphIndex(NumGlyphs_, isEnabled(), Down_))
                     : QImage();
  Painter.setFont(font());
  const int textFlags = Qt::TextSingleLine | Qt::TextShowMnemonic;
  const QSize captionSize =
      Caption_.isEmpty() ? QSize() : Painter.fontMetrics().size(textFlags, Caption_);

  TFaceLayoutInput in;
  in.Face = Face;
  in.GlyphSize = glyph.isNull() ? QSize() : glyph.size();
  in.CaptionSize = captionSize;
  in.Layout = Layout_;
  in.Margin = Margin_;
  in.Spacing = Spacing_;
  in.TopMargin = TopMargin_;
  in.Down = Down_;
  in.ChangeDirection = ChangeDirection_;
  const TFaceLayout at = PlaceGlyphAndCaption(in);

  const QColor faceColor(Base_);
  if (!glyph.isNull()) {
    if (!Gradient) {
      for (const QRect& edge : at.GlyphEdges) Painter.fillRect(edge, faceColor);
    }
    Painter.drawImage(at.Glyph, glyph);
  }
  if (!captionSize.isEmpty()) {
    if (!Gradient) Painter.fillRect(at.CaptionBackground, faceColor);
    const TSystemColor text = isEnabled() ? TSystemColor::ButtonText : TSystemColor::GrayText;
    Painter.setPen(QColor(SystemColor(text)));
    Painter.drawText(at.Caption, Qt::AlignCenter | textFlags, Caption_);
  }
}

void TGradientColorButton::DrawBorderAndBevel(QPainter& Painter) const {
  auto row = [&Painter](int Left, int Right, int Y, QRgb Color) {
    if (Right >= Left) Painter.fillRect(QRect(Left, Y, Right - Left + 1, 1), QColor(Color));
  };
  auto column = [&Painter](int X, int Top, int Bottom, QRgb Color) {
    if (Bottom >= Top) Painter.fillRect(QRect(X, Top, 1, Bottom - Top + 1), QColor(Color));
  };

  TRect r{0, 0, width(), height()};
  if (r.IsEmpty()) return;
  const QRgb border = BorderColor_.Resolve();
  if (BorderStyle_ == TBorderStyle::bsSingle) {
    row(r.Left, r.Right - 1, r.Top, border);
    row(r.Left, r.Right - 1, r.Bottom - 1, border);
    column(r.Left, r.Top, r.Bottom - 1, border);
    column(r.Right - 1, r.Top, r.Bottom - 1, border);
    r = r.Shrunk(1);
  } else if (BorderStyle_ == TBorderStyle::bsNormal) {
    const QRgb topLeft = Down_ ? border : Light_;
    const QRgb bottomRight = Down_ ? Light_ : border;
    column(r.Left, r.Top, r.Bottom - 1, topLeft);
    row(r.Left, r.Right - 1, r.Top, topLeft);
    row(r.Left, r.Right - 1, r.Bottom - 1, bottomRight);
    column(r.Right - 1, r.Top, r.Bottom - 1, bottomRight);
    r = r.Shrunk(1);
  }

  // All top and left lines of the bevel first, then the bottom and right
  // ones, which therefore own the two corners where they meet.
  const QRgb topLeft = Down_ ? Dark_ : Light_;
  const QRgb bottomRight = Down_ ? Light_ : Dark_;
  for (int k = 0; k < BevelWidth_; ++k) {
    const TRect ring = r.Shrunk(k);
    if (ring.IsEmpty()) break;
    row(ring.Left, ring.Right - 1, ring.Top, topLeft);
    column(ring.Left, ring.Top, ring.Bottom - 1, topLeft);
  }
  for (int k = 0; k < BevelWidth_; ++k) {
    const TRect ring = r.Shrunk(k);
    if (ring.IsEmpty()) break;
    column(ring.Right - 1, ring.Top, ring.Bottom - 1, bottomRight);
    row(ring.Left, ring.Right - 1, ring.Bottom - 1, bottomRight);
  }
}

}  // namespace pictrim
