// A one-line label that keeps its whole text but shows, when the text is
// wider than the label, its beginning and end with "…" between them; the
// whole text is then its tooltip. For paths and status texts in a window of
// fixed size.
#pragma once

#include <QLabel>

namespace pictrim {

class TElidingLabel : public QLabel {
 public:
  explicit TElidingLabel(const QString& Text, QWidget* Parent = nullptr);
  void SetText(const QString& Text);
  QSize minimumSizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* Event) override;
};

}  // namespace pictrim
