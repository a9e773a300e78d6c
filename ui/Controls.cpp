#include "ui/Controls.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFontMetricsF>
#include <QKeyEvent>
#include <QLineEdit>

#include <algorithm>
#include <cmath>

#include "ui/RadioGroup.h"
#include "widgets/ColorButton.h"

namespace pictrim::controls {

namespace {

// The line height of the design font, DejaVu Sans at 11 pixels.
constexpr double DesignLineHeight = 13.0;

}  // namespace

int Scaled(int DesignPixels) {
  const double scale = QFontMetricsF(QApplication::font()).height() / DesignLineHeight;
  return std::max(DesignPixels, static_cast<int>(std::lround(DesignPixels * scale)));
}

QVBoxLayout* TightColumn(QWidget* Parent, int Margin, int Spacing) {
  auto* layout = new QVBoxLayout(Parent);
  layout->setContentsMargins(Margin, Margin, Margin, Margin);
  layout->setSpacing(Spacing);
  return layout;
}

void SetBold(QWidget* Widget, bool Bold) {
  QFont font = Widget->font();
  font.setBold(Bold);
  Widget->setFont(font);
}

TGradientColorButton* ExecuteButton(const char* Name) {
  auto* button = Named(new TGradientColorButton, Name);
  button->SetCaption(QStringLiteral("Größe ändern AUSFÜHREN"));
  button->SetColor(TSystemColor::ActiveBorder);
  button->setFixedHeight(Scaled(ExecuteHeight));
  return button;
}

namespace {

class TEnterPresses : public QObject {
 public:
  using QObject::QObject;

 protected:
  bool eventFilter(QObject* Watched, QEvent* Event) override {
    if (Event->type() != QEvent::KeyPress) return false;
    const int key = static_cast<QKeyEvent*>(Event)->key();
    if (key != Qt::Key_Return && key != Qt::Key_Enter) return false;
    auto* button = static_cast<QAbstractButton*>(Watched);
    if (button->isEnabled()) button->click();
    return true;
  }
};

}  // namespace

void PressOnEnter(QAbstractButton* Button) {
  Button->installEventFilter(new TEnterPresses(Button));
}

QLineEdit* CustomSizeEdit(TRadioGroup* Group, int Entry, const char* Name) {
  auto* edit = Named(new QLineEdit, Name);
  edit->setFixedSize(Scaled(49), Scaled(EditHeight));
  Group->AddToItem(Entry, edit);
  return edit;
}

void SetPresetCaptions(TRadioGroup* Group, const std::array<int, 8>& Presets,
                       const std::string& Pattern) {
  for (size_t i = 0; i < Presets.size(); ++i) {
    const int value = Presets[i];
    Group->SetItemCaption(static_cast<int>(i),
                          value == 0 ? QString() : Q(FormatText(Pattern, {std::to_string(value)})));
  }
}

int SelectedPreset(const TRadioGroup* Group, const std::array<int, 8>& Presets) {
  const int index = Group->ItemIndex();
  return index >= 0 && index < static_cast<int>(Presets.size()) ? Presets[index] : 0;
}

QVBoxLayout* SizeTabColumn(QWidget* Tab, std::initializer_list<QWidget*> Groups, QWidget* Button) {
  QVBoxLayout* column = TightColumn(Tab, 6, 3);
  for (QWidget* group : Groups) column->addWidget(group);
  column->addStretch(1);
  column->addWidget(Button);
  return column;
}

void InsertSharedArea(QVBoxLayout* Column, int Slot, QWidget* Area) {
  QWidget* tab = Column->parentWidget();
  if (Area->parentWidget() == tab) return;
  if (QWidget* old = Area->parentWidget())
    if (QLayout* layout = old->layout()) layout->removeWidget(Area);
  Column->insertWidget(Slot, Area);
  Area->show();
}

}  // namespace pictrim::controls
