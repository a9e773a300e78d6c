// The colour button as a widget on Qt's offscreen platform: property rules,
// rendered pixels, the down state with its face shift, groups, the repeat
// timer, the accelerator key and the keyboard.
#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QMouseEvent>
#include <QKeyEvent>
#include <QPalette>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <stdexcept>
#include <string>
#include <vector>

#include "tests/widgets/ExecuteButtonLooks.h"
#include "util/MoreDialogs.h"
#include "widgets/ColorButton.h"

namespace pictrim {
namespace {

void SendMouse(QWidget& Widget, QEvent::Type Type, Qt::MouseButton Button) {
  const QPointF at(10, 10);
  const Qt::MouseButtons held = Type == QEvent::MouseButtonRelease ? Qt::NoButton : Button;
  QMouseEvent event(Type, at, Widget.mapToGlobal(at), Button, held, Qt::NoModifier);
  QApplication::sendEvent(&Widget, &event);
}
void Press(QWidget& Widget, Qt::MouseButton Button = Qt::LeftButton) {
  SendMouse(Widget, QEvent::MouseButtonPress, Button);
}
void Release(QWidget& Widget, Qt::MouseButton Button = Qt::LeftButton) {
  SendMouse(Widget, QEvent::MouseButtonRelease, Button);
}

QImage Render(QWidget& Widget) {
  return Widget.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

// A strip of Count solid glyphs of 8 x 8 in the given colours, each with a
// white bottom row (their transparent colour).
QImage GlyphStrip(const std::vector<QRgb>& Colors) {
  QImage strip(8 * static_cast<int>(Colors.size()), 8, QImage::Format_RGB32);
  strip.fill(Qt::white);
  for (size_t i = 0; i < Colors.size(); ++i) {
    for (int y = 0; y < 7; ++y) {
      for (int x = 0; x < 8; ++x) strip.setPixel(8 * static_cast<int>(i) + x, y, Colors[i]);
    }
  }
  return strip;
}

int CountPixels(const QImage& Image, QRgb Color) {
  int n = 0;
  for (int y = 0; y < Image.height(); ++y) {
    for (int x = 0; x < Image.width(); ++x)
      n += (Image.pixel(x, y) & RGB_MASK) == (Color & RGB_MASK);
  }
  return n;
}

class ColorButton : public ::testing::Test {
 protected:
  QWidget Form;
  TGradientColorButton* Button = new TGradientColorButton(&Form);
};

TEST_F(ColorButton, newButtonHasTheDefaults) {
  const TGradientColorButton& b = *Button;
  EXPECT_EQ(b.size(), QSize(75, 25));
  EXPECT_EQ(b.Color(), TColor(TSystemColor::ButtonFace));
  EXPECT_EQ(b.BevelWidth(), 1);
  EXPECT_EQ(b.BorderStyle(), TBorderStyle::bsNormal);
  EXPECT_EQ(b.BorderColor(), TColor(QColor(0, 0, 0)));
  EXPECT_EQ(b.ContrastHighlight(), 5);
  EXPECT_EQ(b.ContrastShadow(), 6);
  EXPECT_EQ(b.GradientStyle(), TGradientStyle::gsNone);
  EXPECT_EQ(b.GradientDirection(), TGradientDirection::gdDownRight);
  EXPECT_FALSE(b.ChangeDirection() || b.Down() || b.Grouped() || b.AllowAllUp() || b.AllowTimer());
  EXPECT_EQ(b.GroupIndex(), 0);
  EXPECT_EQ(b.TimerDelay(), 400);
  EXPECT_EQ(b.TimerInterval(), 100);
  EXPECT_TRUE(b.Glyph().isNull());
  EXPECT_EQ(b.NumGlyphs(), 0);
  EXPECT_EQ(b.Layout(), TButtonLayout::blGlyphLeft);
  EXPECT_EQ(b.Margin(), 1);
  EXPECT_EQ(b.Spacing(), 1);
  EXPECT_EQ(b.TopMargin(), 0);
  EXPECT_EQ(b.RepeatTimer(), nullptr);
  // Derived colours and the palette exist from the start, from the system's
  // button face colour.
  const QRgb face = QApplication::palette().color(QPalette::Active, QPalette::Button).rgb();
  EXPECT_EQ(b.LightColor(), LightColor(face, 5));
  EXPECT_EQ(b.DarkColor(), DarkColor(face, 6));
  EXPECT_EQ(b.Palette(), GradientPalette(face, TGradientDirection::gdDownRight));
}

TEST_F(ColorButton, drawsIntoItsParentWithoutANativeWindow) {
  Form.resize(200, 100);
  Form.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&Form));
  EXPECT_TRUE(Button->isVisible());
  EXPECT_FALSE(Button->testAttribute(Qt::WA_NativeWindow));
  EXPECT_EQ(Button->internalWinId(), WId(0));
  EXPECT_EQ(Button->windowHandle(), nullptr);
  EXPECT_NE(Form.internalWinId(), WId(0));
}

TEST_F(ColorButton, bevelWidthMustStayBelowHalfTheSmallerEdge) {
  Button->SetBevelWidth(12);  // 25 div 2 = 12
  EXPECT_EQ(Button->BevelWidth(), 1);
  Button->SetBevelWidth(-1);
  EXPECT_EQ(Button->BevelWidth(), 1);
  Button->SetBevelWidth(11);
  EXPECT_EQ(Button->BevelWidth(), 11);
  Button->SetBevelWidth(0);
  EXPECT_EQ(Button->BevelWidth(), 0);
  Button->resize(20, 100);
  Button->SetBevelWidth(10);
  EXPECT_EQ(Button->BevelWidth(), 0);
  Button->SetBevelWidth(9);
  EXPECT_EQ(Button->BevelWidth(), 9);
}

TEST_F(ColorButton, contrastsOutsideZeroToNineAreRefusedAndTheColoursStay) {
  Button->SetColor(QColor(128, 128, 128));
  EXPECT_EQ(Button->LightColor(), qRgb(191, 191, 191));
  EXPECT_EQ(Button->DarkColor(), qRgb(51, 51, 51));
  Button->SetContrastHighlight(10);
  Button->SetContrastShadow(10);
  Button->SetContrastShadow(-1);
  EXPECT_EQ(Button->ContrastHighlight(), 5);
  EXPECT_EQ(Button->ContrastShadow(), 6);
  EXPECT_EQ(Button->LightColor(), qRgb(191, 191, 191));
  EXPECT_EQ(Button->DarkColor(), qRgb(51, 51, 51));

  Button->SetContrastHighlight(9);
  Button->SetContrastShadow(0);
  EXPECT_EQ(Button->LightColor(), qRgb(242, 242, 242));
  EXPECT_EQ(Button->DarkColor(), qRgb(128, 128, 128));
}

TEST_F(ColorButton, paletteFollowsColourAndDirectionWhileAGradientIsOn) {
  Button->SetGradientStyle(TGradientStyle::gsVertical);
  Button->SetColor(QColor(200, 50, 50));
  EXPECT_EQ(Button->Palette(), GradientPalette(qRgb(200, 50, 50), TGradientDirection::gdDownRight));
  Button->SetGradientDirection(TGradientDirection::gdUpLeft);
  EXPECT_EQ(Button->Palette(), GradientPalette(qRgb(200, 50, 50), TGradientDirection::gdUpLeft));
  // Without a gradient the palette waits until one is switched on.
  Button->SetGradientStyle(TGradientStyle::gsNone);
  Button->SetColor(QColor(10, 120, 10));
  Button->SetGradientStyle(TGradientStyle::gsPyramid);
  EXPECT_EQ(Button->Palette(), GradientPalette(qRgb(10, 120, 10), TGradientDirection::gdUpLeft));
}

TEST_F(ColorButton, systemColoursFollowTheApplicationPalette) {
  const QPalette saved = QApplication::palette();
  QPalette changed = saved;
  changed.setColor(QPalette::Button, QColor(100, 150, 200));
  QApplication::setPalette(changed);
  QApplication::processEvents();
  EXPECT_EQ(Button->LightColor(), LightColor(qRgb(100, 150, 200), 5));
  QApplication::setPalette(saved);
  QApplication::processEvents();
  EXPECT_EQ(Button->LightColor(), LightColor(saved.color(QPalette::Button).rgb(), 5));
}

TEST_F(ColorButton, verticalGradientFillsRowsFromThePalette) {
  Button->SetColor(QColor(90, 140, 210));
  Button->SetGradientStyle(TGradientStyle::gsVertical);
  Button->SetBorderStyle(TBorderStyle::bsFlat);
  Button->SetBevelWidth(0);
  const TGradientPalette& p = Button->Palette();
  QImage image = Render(*Button);
  ASSERT_EQ(image.size(), QSize(75, 25));
  EXPECT_EQ(image.pixel(0, 0), p[8]);
  EXPECT_EQ(image.pixel(74, 0), p[8]);
  EXPECT_EQ(image.pixel(40, 24), p[191]);
  EXPECT_EQ(image.pixel(40, 12), p[99]);  // bands 124 to 133 share row 12

  // Down with ChangeDirection the full palette runs backwards.
  Button->SetChangeDirection(true);
  Button->SetDown(true);
  image = Render(*Button);
  EXPECT_EQ(image.pixel(0, 0), p[255 - 11]);
  EXPECT_EQ(image.pixel(40, 24), p[0]);

  // With the normal border and bevel the frame lies on top of the gradient.
  Button->SetDown(false);
  Button->SetBorderStyle(TBorderStyle::bsNormal);
  Button->SetBevelWidth(1);
  image = Render(*Button);
  EXPECT_EQ(image.pixel(40, 0), Button->LightColor());
  EXPECT_EQ(image.pixel(40, 24), qRgb(0, 0, 0));
  EXPECT_EQ(image.pixel(40, 23), Button->DarkColor());
  EXPECT_EQ(image.pixel(40, 12), p[99]);
}

TEST_F(ColorButton, borderAndBevelSwapTheirColoursWhenDown) {
  Button->SetColor(QColor(128, 128, 128));
  Button->SetBevelWidth(2);
  const QRgb light = Button->LightColor(), dark = Button->DarkColor(), black = qRgb(0, 0, 0);
  QImage up = Render(*Button);
  EXPECT_EQ(up.pixel(30, 0), light);
  EXPECT_EQ(up.pixel(0, 10), light);
  EXPECT_EQ(up.pixel(30, 24), black);
  EXPECT_EQ(up.pixel(74, 10), black);
  EXPECT_EQ(up.pixel(30, 1), light);  // bevel ring 0
  EXPECT_EQ(up.pixel(30, 2), light);  // bevel ring 1
  EXPECT_EQ(up.pixel(30, 23), dark);
  EXPECT_EQ(up.pixel(72, 10), dark);
  EXPECT_EQ(up.pixel(73, 1), dark);  // the dark lines own the corners
  EXPECT_EQ(up.pixel(30, 3), qRgb(128, 128, 128));
  Button->SetDown(true);
  QImage down = Render(*Button);
  EXPECT_EQ(down.pixel(30, 0), black);
  EXPECT_EQ(down.pixel(30, 24), light);
  EXPECT_EQ(down.pixel(30, 1), dark);
  EXPECT_EQ(down.pixel(30, 23), light);

  Button->SetBorderStyle(TBorderStyle::bsSingle);
  Button->SetBorderColor(QColor(255, 0, 0));
  down = Render(*Button);
  EXPECT_EQ(down.pixel(30, 0), qRgb(255, 0, 0));
  EXPECT_EQ(down.pixel(74, 10), qRgb(255, 0, 0));
}

TEST_F(ColorButton, glyphIsKeptButNotDrawnWhileNumGlyphsIsZero) {
  Button->SetColor(QColor(128, 128, 128));
  const QImage without = Render(*Button);
  Button->SetGlyph(GlyphStrip({qRgb(255, 0, 0)}));
  EXPECT_FALSE(Button->Glyph().isNull());
  EXPECT_EQ(Render(*Button), without);
  Button->SetNumGlyphs(5);  // refused
  EXPECT_EQ(Button->NumGlyphs(), 0);
  Button->SetNumGlyphs(1);
  const QImage with = Render(*Button);
  EXPECT_EQ(CountPixels(with, qRgb(255, 0, 0)), 8 * 7);  // the white row is transparent
  EXPECT_EQ(CountPixels(with, qRgb(255, 255, 255)), 0);
}

TEST_F(ColorButton, disabledAndDownGlyphsComeFromTheStrip) {
  const QRgb normal = qRgb(255, 0, 0), disabled = qRgb(0, 255, 0), down = qRgb(0, 0, 255);
  Button->SetGlyph(GlyphStrip({normal, disabled, down}));
  Button->SetNumGlyphs(3);
  EXPECT_EQ(CountPixels(Render(*Button), normal), 56);
  Button->SetDown(true);
  EXPECT_EQ(CountPixels(Render(*Button), down), 56);
  Button->SetDown(false);
  Button->setEnabled(false);
  EXPECT_EQ(CountPixels(Render(*Button), disabled), 56);
}

TEST_F(ColorButton, pressAndReleaseShiftTheFaceByOnePixel) {
  Button->SetColor(QColor(170, 170, 170));
  Button->SetCaption("Go");
  Button->SetGlyph(GlyphStrip({qRgb(200, 0, 0)}));
  Button->SetNumGlyphs(1);
  const TRect face = FaceRect(75, 25, 1, TBorderStyle::bsNormal);
  const QImage up = Render(*Button);

  Press(*Button);
  ASSERT_TRUE(Button->Down());
  const QImage pressed = Render(*Button);    // border, bevel and the moved face
  const QImage repainted = Render(*Button);  // everything drawn again while held
  EXPECT_EQ(pressed, repainted);
  int moved = 0;
  for (int y = face.Top; y < face.Bottom - 1; ++y) {
    for (int x = face.Left; x < face.Right - 1; ++x) {
      ASSERT_EQ(pressed.pixel(x + 1, y + 1), up.pixel(x, y)) << x << "," << y;
      moved += up.pixel(x, y) != up.pixel(x + 1, y + 1);
    }
  }
  EXPECT_GT(moved, 20);  // the face has content, so the comparison means something
  EXPECT_EQ(pressed.pixel(30, 0), qRgb(0, 0, 0));

  Release(*Button);
  ASSERT_FALSE(Button->Down());
  EXPECT_EQ(Render(*Button), up);
  EXPECT_EQ(Render(*Button), up);
}

TEST_F(ColorButton, mouseClickGoesDownAndUpAndClicksOnce) {
  QSignalSpy clicks(Button, &TGradientColorButton::Clicked);
  QSignalSpy states(Button, &TGradientColorButton::StateChanged);
  QSignalSpy downs(Button, &TGradientColorButton::MouseDown);
  Press(*Button);
  EXPECT_TRUE(Button->Down());
  EXPECT_EQ(clicks.count(), 0);
  Release(*Button);
  EXPECT_FALSE(Button->Down());
  EXPECT_EQ(clicks.count(), 1);
  EXPECT_EQ(states.count(), 2);
  EXPECT_EQ(downs.count(), 1);
  EXPECT_EQ(Button->RepeatTimer(), nullptr);  // not without AllowTimer

  Press(*Button, Qt::RightButton);
  EXPECT_FALSE(Button->Down());
  Release(*Button, Qt::RightButton);
  EXPECT_EQ(clicks.count(), 1);
  EXPECT_EQ(downs.count(), 2);

  Button->setEnabled(false);
  Press(*Button);
  Release(*Button);
  EXPECT_FALSE(Button->Down());
  EXPECT_EQ(clicks.count(), 1);

  // Setting an unchanged value does nothing.
  Button->setEnabled(true);
  Button->SetDown(true);
  Button->SetDown(true);
  EXPECT_EQ(states.count(), 3);
}

TEST_F(ColorButton, groupKeepsOneButtonDown) {
  auto* second = new TGradientColorButton(&Form);
  auto* third = new TGradientColorButton(&Form);
  auto* otherGroup = new TGradientColorButton(&Form);
  auto* ungrouped = new TGradientColorButton(&Form);
  for (auto* b : {Button, second, third, otherGroup}) {
    b->SetGrouped(true);
    b->SetGroupIndex(1);
  }
  otherGroup->SetGroupIndex(2);
  Button->SetDown(true);
  otherGroup->SetDown(true);
  ungrouped->SetDown(true);
  QSignalSpy released(Button, &TGradientColorButton::StateChanged);

  second->SetDown(true);
  EXPECT_FALSE(Button->Down());
  EXPECT_EQ(released.count(), 1);
  EXPECT_TRUE(second->Down());
  EXPECT_TRUE(otherGroup->Down());
  EXPECT_TRUE(ungrouped->Down());

  // A click on a grouped button leaves it down; a click on the down one does
  // not release it unless AllowAllUp is set.
  Press(*third);
  Release(*third);
  EXPECT_TRUE(third->Down());
  EXPECT_FALSE(second->Down());
  Press(*third);
  Release(*third);
  EXPECT_TRUE(third->Down());
  third->SetAllowAllUp(true);
  Press(*third);
  Release(*third);
  EXPECT_FALSE(third->Down());

  // Disabling releases an ungrouped button only.
  ungrouped->setEnabled(false);
  EXPECT_FALSE(ungrouped->Down());
  otherGroup->setEnabled(false);
  EXPECT_TRUE(otherGroup->Down());
}

TEST_F(ColorButton, repeatTimerClicksWhileHeld) {
  Button->SetAllowTimer(true);
  Button->SetTimerDelay(300);
  Button->SetTimerInterval(10);
  QSignalSpy clicks(Button, &TGradientColorButton::Clicked);
  QElapsedTimer sincePress;
  qint64 firstClickAfter = -1;
  QObject::connect(Button, &TGradientColorButton::Clicked, [&] {
    if (firstClickAfter < 0) firstClickAfter = sincePress.elapsed();
  });
  sincePress.start();
  Press(*Button);
  ASSERT_NE(Button->RepeatTimer(), nullptr);
  EXPECT_EQ(Button->RepeatTimer()->interval(), 300);
  EXPECT_TRUE(Button->RepeatTimer()->isActive());
  EXPECT_EQ(clicks.count(), 0);
  ASSERT_TRUE(QTest::qWaitFor([&] { return clicks.count() >= 3; }, 60000));
  // The first click waits for the delay (a coarse timer may fire up to 5 %
  // early), the next ones follow at the interval.
  EXPECT_GE(firstClickAfter, 285);
  EXPECT_EQ(Button->RepeatTimer()->interval(), 10);
  const int held = clicks.count();
  Release(*Button);
  EXPECT_EQ(clicks.count(), held + 1);
  EXPECT_FALSE(Button->RepeatTimer()->isActive());
  // A tick that arrives after the release clicks no more.
  Button->TimerTick();
  EXPECT_EQ(clicks.count(), held + 1);
}

TEST_F(ColorButton, aFailingRepeatedClickStopsTheTimerAndIsReported) {
  Button->SetAllowTimer(true);
  Button->SetTimerDelay(5);
  QObject::connect(Button, &TGradientColorButton::Clicked,
                   [] { throw std::runtime_error("click failed"); });
  Press(*Button);
  EXPECT_THROW(Button->TimerTick(), std::runtime_error);
  EXPECT_FALSE(Button->RepeatTimer()->isActive());

  // From the event loop the error reaches the user as a message.
  std::vector<std::string> messages;
  const TMessageHandler saved =
      SetMessageHandler([&messages](const std::string& Text) { messages.push_back(Text); });
  Press(*Button);
  const bool reported = QTest::qWaitFor([&] { return !messages.empty(); }, 60000);
  SetMessageHandler(saved);
  EXPECT_TRUE(reported);
  EXPECT_EQ(messages, std::vector<std::string>{"click failed"});
  EXPECT_FALSE(Button->RepeatTimer()->isActive());
}

TEST_F(ColorButton, acceleratorKeyFromTheCaptionClicks) {
  Button->SetCaption("&A");
  QSignalSpy clicks(Button, &TGradientColorButton::Clicked);
  EXPECT_TRUE(Button->DialogChar('a'));
  EXPECT_TRUE(Button->DialogChar('A'));
  EXPECT_EQ(clicks.count(), 2);
  EXPECT_FALSE(Button->DialogChar('b'));
  EXPECT_EQ(clicks.count(), 2);
  EXPECT_FALSE(Button->Down());  // an ungrouped button does not toggle

  Button->SetGrouped(true);
  EXPECT_TRUE(Button->DialogChar('a'));
  EXPECT_TRUE(Button->Down());
  EXPECT_TRUE(Button->DialogChar('a'));
  EXPECT_TRUE(Button->Down());  // stays down without AllowAllUp
  Button->SetAllowAllUp(true);
  EXPECT_TRUE(Button->DialogChar('a'));
  EXPECT_FALSE(Button->Down());
  EXPECT_EQ(clicks.count(), 5);

  Button->setEnabled(false);  // handled, but no click
  EXPECT_TRUE(Button->DialogChar('a'));
  EXPECT_EQ(clicks.count(), 5);

  Button->SetCaption("Go&");
  EXPECT_FALSE(Button->DialogChar('&'));
}

TEST_F(ColorButton, acceleratorArrivesThroughTheKeyboard) {
  Button->SetCaption("S&tart");
  QSignalSpy clicks(Button, &TGradientColorButton::Clicked);
  Form.show();
  Form.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&Form));
  QTest::keyClick(&Form, Qt::Key_T, Qt::AltModifier);
  EXPECT_EQ(clicks.count(), 1);
  QTest::keyClick(&Form, Qt::Key_S, Qt::AltModifier);
  EXPECT_EQ(clicks.count(), 1);
  Button->SetCaption("&Stop");
  QTest::keyClick(&Form, Qt::Key_T, Qt::AltModifier);
  QTest::keyClick(&Form, Qt::Key_S, Qt::AltModifier);
  EXPECT_EQ(clicks.count(), 2);
}

// The main window's execute button in its eight looks: plain and gradient,
// enabled and disabled, released and pressed. A grouped button stays down
// when disabled, so the disabled pressed look exists too. No two look alike.
TEST_F(ColorButton, theExecuteButtonsEightLooksAllDiffer) {
  std::vector<QImage> images;
  for (const test::TExecuteButtonLook& look : test::ExecuteButtonLooks) {
    TGradientColorButton* button =
        test::MakeExecuteButton(&Form, look, static_cast<int>(images.size()) + 1);
    ASSERT_EQ(button->Down(), look.Down) << look.Name;
    images.push_back(Render(*button));
  }
  for (size_t i = 0; i < images.size(); ++i) {
    for (size_t j = i + 1; j < images.size(); ++j) {
      EXPECT_NE(images[i], images[j])
          << test::ExecuteButtonLooks[i].Name << " / " << test::ExecuteButtonLooks[j].Name;
    }
  }
}

TEST_F(ColorButton, tabReachesItAndSpaceOrEnterClickIt) {
  auto* before = new QPushButton("Before", &Form);
  before->move(0, 30);
  QSignalSpy clicks(Button, &TGradientColorButton::Clicked);
  Form.show();
  Form.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&Form));
  before->setFocus();
  QTest::keyClick(before, Qt::Key_Tab);
  ASSERT_TRUE(Button->hasFocus());

  // Space clicks when let go, as the mouse button does: down in between.
  QTest::keyPress(Button, Qt::Key_Space);
  EXPECT_TRUE(Button->Down());
  EXPECT_EQ(clicks.count(), 0);
  QTest::keyRelease(Button, Qt::Key_Space);
  EXPECT_FALSE(Button->Down());
  EXPECT_EQ(clicks.count(), 1);
  QTest::keyClick(Button, Qt::Key_Return);
  QTest::keyClick(Button, Qt::Key_Enter, Qt::KeypadModifier);
  EXPECT_EQ(clicks.count(), 3);
  EXPECT_FALSE(Button->Down());

  // Held keys do not click again; other keys and modifiers are not for it.
  QTest::keyPress(Button, Qt::Key_Space);
  QKeyEvent repeat(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier, " ", true);
  QApplication::sendEvent(Button, &repeat);
  QTest::keyRelease(Button, Qt::Key_Space);
  QTest::keyClick(Button, Qt::Key_Return, Qt::ControlModifier);
  QTest::keyClick(Button, Qt::Key_X);
  EXPECT_EQ(clicks.count(), 4);

  Button->setEnabled(false);
  QTest::keyClick(Button, Qt::Key_Return);
  EXPECT_EQ(clicks.count(), 4);
}

TEST_F(ColorButton, theKeyboardFocusIsDrawnOverThePictureAndGoesWithTheFocus) {
  Button->SetCaption("Go");
  Form.show();
  Form.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&Form));
  Button->clearFocus();  // the window gave it the focus as its only control
  const QImage plain = Render(*Button);
  Button->setFocus();
  const QImage focused = Render(*Button);
  EXPECT_NE(focused, plain);
  // Only the inside changes: border and bevel stay as they are.
  for (int x = 0; x < plain.width(); ++x) {
    EXPECT_EQ(focused.pixel(x, 0), plain.pixel(x, 0));
    EXPECT_EQ(focused.pixel(x, plain.height() - 1), plain.pixel(x, plain.height() - 1));
  }
  Button->clearFocus();
  EXPECT_EQ(Render(*Button), plain);
}

TEST_F(ColorButton, paintsAnySizeAndStyleWithoutFault) {
  Button->SetCaption("Caption");
  Button->SetGlyph(GlyphStrip({qRgb(255, 0, 0), qRgb(0, 255, 0)}));
  Button->SetNumGlyphs(2);
  for (auto style : {TGradientStyle::gsNone, TGradientStyle::gsHorizontal,
                     TGradientStyle::gsPyramid, TGradientStyle::gsVertical}) {
    Button->SetGradientStyle(style);
    for (auto border : {TBorderStyle::bsFlat, TBorderStyle::bsNormal, TBorderStyle::bsSingle}) {
      Button->SetBorderStyle(border);
      for (QSize size : {QSize(1, 1), QSize(2, 3), QSize(5, 4), QSize(75, 25), QSize(300, 40)}) {
        Button->resize(75, 25);
        Button->SetBevelWidth(3);
        Button->resize(size);  // the bevel may now be wider than the button
        for (bool down : {false, true}) {
          Button->SetDown(down);
          const QImage image = Render(*Button);
          ASSERT_EQ(image.size(), size);
        }
      }
    }
  }
}

}  // namespace
}  // namespace pictrim
