#include "ui/ScreenFit.h"

#include <QGuiApplication>
#include <QScreen>
#include <QScrollBar>
#include <QStyle>
#include <QWidget>

#include <algorithm>

namespace pictrim {

TScrollPage::TScrollPage(QWidget* Page, QWidget* Parent) : QScrollArea(Parent) {
  setObjectName(Page->objectName() + QStringLiteral("Scroll"));
  setFrameShape(QFrame::NoFrame);
  setWidgetResizable(true);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  // The page keeps its own background (tab pages, the grey progress panel).
  viewport()->setAutoFillBackground(false);
  setWidget(Page);
}

QSize TScrollPage::sizeHint() const {
  const int frame = 2 * frameWidth();
  const QWidget* page = widget();
  const QSize natural = page ? page->sizeHint().expandedTo(page->minimumSizeHint()) : QSize();
  return natural + QSize(frame, frame);
}

QSize TScrollPage::minimumSizeHint() const {
  // Room for the scroll bars and a little of the page: less room than the
  // page needs is what the bars are for.
  const int bar = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this);
  return QSize(4 * bar, 4 * bar);
}

QScreen* ScreenOf(const QWidget* Window) {
  if (Window != nullptr) {
    if (QScreen* screen = Window->screen()) return screen;
  }
  return QGuiApplication::primaryScreen();
}

QRect AvailableArea(const QScreen* Screen) {
  return Screen != nullptr ? Screen->availableGeometry() : QRect();
}

QSize FrameExtra(const QWidget* Window) {
  const QWidget* window = Window->window();
  const QSize extra = window->frameGeometry().size() - window->size();
  if (window->testAttribute(Qt::WA_WState_Created) && window->isVisible() &&
      (extra.width() > 0 || extra.height() > 0))
    return extra;
  // Not framed yet: a title bar and thin borders, as most desktops draw them.
  const int title = window->style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, window);
  const int border = 4;
  return QSize(2 * border, title + 2 * border);
}

QSize FittedSize(const QSize& Wanted, const QSize& Frame, const QRect& Area) {
  if (!Area.isValid()) return Wanted;
  const QSize room = (Area.size() - Frame).expandedTo(QSize(1, 1));
  return Wanted.boundedTo(room);
}

QRect CentredFrame(const QSize& Frame, const QRect& Over, const QRect& Area) {
  QRect frame(QPoint(0, 0), Frame);
  frame.moveCenter(Over.center());
  if (!Area.isValid()) return frame;
  // Inside the area, its top-left corner first: a title bar off the screen
  // could not be grabbed to move the window back.
  frame.moveLeft(std::min(frame.left(), Area.right() + 1 - frame.width()));
  frame.moveTop(std::min(frame.top(), Area.bottom() + 1 - frame.height()));
  frame.moveLeft(std::max(frame.left(), Area.left()));
  frame.moveTop(std::max(frame.top(), Area.top()));
  return frame;
}

void FitToScreen(QWidget* Window, const QSize& Wanted) {
  const QRect area = AvailableArea(ScreenOf(Window));
  const QSize frame = FrameExtra(Window);
  const QSize size = FittedSize(Wanted, frame, area);
  if (area.isValid()) Window->setMaximumSize((area.size() - frame).expandedTo(QSize(1, 1)));
  Window->resize(size.expandedTo(Window->minimumSize()).boundedTo(Window->maximumSize()));
  if (!Window->isVisible() || !area.isValid()) return;
  const QRect now(Window->frameGeometry().topLeft(), Window->size() + frame);
  if (area.contains(now)) return;
  Window->move(CentredFrame(now.size(), now, area).topLeft());
}

void CentreOnParent(QWidget* Window, const QWidget* Parent) {
  const bool overParent = Parent != nullptr && Parent->isVisible();
  const QRect area = AvailableArea(ScreenOf(overParent ? Parent : Window));
  const QSize frame = FrameExtra(Window);
  const QSize size = FittedSize(Window->size(), frame, area);
  if (size != Window->size()) Window->resize(size);
  const QRect over = overParent ? Parent->window()->frameGeometry() : area;
  if (!over.isValid()) return;
  Window->move(CentredFrame(size + frame, over, area).topLeft());
}

}  // namespace pictrim
