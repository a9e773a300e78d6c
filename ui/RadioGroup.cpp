#include "ui/RadioGroup.h"

#include <QGridLayout>
#include <QHBoxLayout>

namespace pictrim {

TRadioGroup::TRadioGroup(const QString& Caption, const QStringList& Items, int Columns,
                         QWidget* Parent)
    : QGroupBox(Caption, Parent) {
  auto* grid = new QGridLayout(this);
  grid->setContentsMargins(6, 0, 6, 2);
  grid->setHorizontalSpacing(8);
  grid->setVerticalSpacing(0);
  const int rows = (static_cast<int>(Items.size()) + Columns - 1) / Columns;
  for (int i = 0; i < Items.size(); ++i) {
    auto* cell = new QHBoxLayout;
    cell->setSpacing(2);
    auto* button = new QRadioButton(Items[i]);
    cell->addWidget(button);
    cell->addStretch(1);
    grid->addLayout(cell, i % rows, i / rows);
    Group_.addButton(button, i);
    Buttons_.append(button);
    Cells_.append(cell);
  }
  for (int c = 0; c < Columns; ++c) grid->setColumnStretch(c, 1);
  connect(&Group_, &QButtonGroup::idToggled, this, [this](int Id, bool Checked) {
    KeepTabOnSelection();
    if (!Checked || Id == Last_) return;
    Last_ = Id;
    emit Click();
  });
  KeepTabOnSelection();
}

void TRadioGroup::KeepTabOnSelection() {
  const int selected = ItemIndex();
  int target = selected;
  for (int i = 0; target < 0 && i < Count(); ++i)
    if (!Buttons_[i]->isHidden()) target = i;
  for (int i = 0; i < Count(); ++i)
    Buttons_[i]->setFocusPolicy(i == target ? Qt::StrongFocus : Qt::ClickFocus);
}

void TRadioGroup::SetItemVisible(int Index, bool Visible) {
  Buttons_.at(Index)->setVisible(Visible);
  KeepTabOnSelection();
}

int TRadioGroup::ItemIndex() const { return Group_.checkedId(); }

void TRadioGroup::SetItemIndex(int Index) {
  if (Index >= 0 && Index < Count()) {
    Buttons_[Index]->setChecked(true);
    return;
  }
  if (ItemIndex() < 0) return;
  // An exclusive group cannot be emptied by unchecking its entry.
  Group_.setExclusive(false);
  Buttons_[ItemIndex()]->setChecked(false);
  Group_.setExclusive(true);
  Last_ = -1;
  KeepTabOnSelection();
  emit Click();
}

void TRadioGroup::SetItemCaption(int Index, const QString& Caption) {
  Buttons_.at(Index)->setText(Caption);
}

void TRadioGroup::AddToItem(int Index, QWidget* Widget, int Stretch) {
  QHBoxLayout* cell = Cells_.at(Index);
  // Before the closing stretch, so that the widget sits beside the entry.
  cell->insertWidget(cell->count() - 1, Widget, Stretch);
  if (Stretch > 0) cell->setStretch(cell->count() - 1, 0);
}

}  // namespace pictrim
