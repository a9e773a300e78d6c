// Windows that fit the screen they are on: a page that scrolls when the window
// is smaller than the page's natural size, the largest size a window may
// have on its screen, and the placing of a small window over its parent.
// Sizes are the window system's logical pixels, so they hold at any scale
// factor and font resolution.
#pragma once

#include <QRect>
#include <QScrollArea>
#include <QSize>

class QScreen;
class QWidget;

namespace pictrim {

// A page that shows its widget at the widget's natural size and scrolls it
// when there is less room. Its own natural size is the widget's, however
// large, so that a window laid out around it asks for the whole page.
class TScrollPage : public QScrollArea {
 public:
  explicit TScrollPage(QWidget* Page, QWidget* Parent = nullptr);
  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;
};

// The screen Window is on, or the primary screen before it has one.
QScreen* ScreenOf(const QWidget* Window);

// The room a window has on Screen: its available area (without panels and
// docks), or nothing when there is no screen.
QRect AvailableArea(const QScreen* Screen);

// What the frame (title bar and borders) adds to the size of Window; an
// estimate before the window system has framed it.
QSize FrameExtra(const QWidget* Window);

// Wanted bounded so that the window, frame included, fits into Area.
QSize FittedSize(const QSize& Wanted, const QSize& Frame, const QRect& Area);

// Where a frame of size Frame lies centred on Over, moved as little as
// needed to lie inside Area (its top-left corner inside when it is larger).
QRect CentredFrame(const QSize& Frame, const QRect& Over, const QRect& Area);

// Bounds Window's size (and its largest size) to its screen's available
// area, Wanted being the size it would like; it keeps its place unless that
// would put part of it off the screen.
void FitToScreen(QWidget* Window, const QSize& Wanted);

// Places Window centred on Parent's frame (on the screen when Parent is
// null or hidden), its size bounded to the screen's available area.
void CentreOnParent(QWidget* Window, const QWidget* Parent);

}  // namespace pictrim
