// A captioned group of exclusive radio entries laid out in a grid that is
// filled column by column, with the selected entry as an index (-1 = none).
// An entry may carry a widget of its own in its cell (an edit that stands for
// the entry's value), and an entry may be hidden while keeping its index.
// Tab enters the group at its selected entry (at its first shown entry when
// none is selected); the arrow keys move within it.
#pragma once

#include <QButtonGroup>
#include <QGroupBox>
#include <QRadioButton>
#include <QStringList>

class QGridLayout;
class QHBoxLayout;

namespace pictrim {

class TRadioGroup : public QGroupBox {
  Q_OBJECT

 public:
  TRadioGroup(const QString& Caption, const QStringList& Items, int Columns,
              QWidget* Parent = nullptr);

  int ItemIndex() const;
  // Selects entry Index, or none for -1; out-of-range values select nothing.
  // Click is emitted only when the selection really changes.
  void SetItemIndex(int Index);
  int Count() const { return static_cast<int>(Buttons_.size()); }
  QRadioButton* Item(int Index) const { return Buttons_.at(Index); }
  void SetItemCaption(int Index, const QString& Caption);
  // Places Widget beside entry Index in the entry's cell.
  void AddToItem(int Index, QWidget* Widget, int Stretch = 0);
  // The cell of entry Index, for widgets that come and go.
  QHBoxLayout* ItemCell(int Index) const { return Cells_.at(Index); }
  // Hides or shows entry Index; a hidden entry keeps its index.
  void SetItemVisible(int Index, bool Visible);

 signals:
  // The selection changed (to ItemIndex(), which may be -1).
  void Click();

 private:
  // Only the entry Tab should land on is in the focus chain.
  void KeepTabOnSelection();

  QButtonGroup Group_;
  QList<QRadioButton*> Buttons_;
  QList<QHBoxLayout*> Cells_;
  int Last_ = -1;
};

}  // namespace pictrim
