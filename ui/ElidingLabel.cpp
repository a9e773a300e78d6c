#include "ui/ElidingLabel.h"

#include <QPainter>

namespace pictrim {

TElidingLabel::TElidingLabel(const QString& Text, QWidget* Parent) : QLabel(Text, Parent) {}

void TElidingLabel::SetText(const QString& Text) {
  setText(Text);
  setToolTip(fontMetrics().horizontalAdvance(Text) > contentsRect().width() ? Text : QString());
}

// Any width will do: the text gives way, never the window.
QSize TElidingLabel::minimumSizeHint() const { return {0, QLabel::minimumSizeHint().height()}; }

void TElidingLabel::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const QRect area = contentsRect();
  painter.setPen(palette().color(foregroundRole()));
  painter.drawText(area, static_cast<int>(alignment()),
                   fontMetrics().elidedText(text(), Qt::ElideMiddle, area.width()));
}

}  // namespace pictrim
