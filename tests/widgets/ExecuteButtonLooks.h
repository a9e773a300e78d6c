// The main window's execute button in each of its eight looks: plain and
// gradient, enabled and disabled, released and pressed. Shared by the
// button's tests and the program that draws the looks for a person.
#pragma once

#include <QString>
#include <QWidget>

#include <array>

#include "widgets/ColorButton.h"

namespace pictrim::test {

struct TExecuteButtonLook {
  const char* Name;
  TGradientStyle Style;
  bool Enabled;
  bool Down;
};

inline constexpr std::array<TExecuteButtonLook, 8> ExecuteButtonLooks = {{
    {"plain-enabled-released", TGradientStyle::gsNone, true, false},
    {"plain-enabled-pressed", TGradientStyle::gsNone, true, true},
    {"plain-disabled-released", TGradientStyle::gsNone, false, false},
    {"plain-disabled-pressed", TGradientStyle::gsNone, false, true},
    {"gradient-enabled-released", TGradientStyle::gsVertical, true, false},
    {"gradient-enabled-pressed", TGradientStyle::gsVertical, true, true},
    {"gradient-disabled-released", TGradientStyle::gsVertical, false, false},
    {"gradient-disabled-pressed", TGradientStyle::gsVertical, false, true},
}};

// A new execute button on Parent in Look. It is grouped (GroupIndex of its
// own), since a grouped button stays down when disabled and so the disabled
// pressed look exists too.
inline TGradientColorButton* MakeExecuteButton(QWidget* Parent, const TExecuteButtonLook& Look,
                                               int GroupIndex) {
  auto* button = new TGradientColorButton(Parent);
  button->resize(180, 25);
  button->SetColor(TSystemColor::ActiveBorder);
  button->SetCaption(QString::fromUtf8("Größe ändern AUSFÜHREN"));
  button->SetGradientStyle(Look.Style);
  button->SetGrouped(true);
  button->SetGroupIndex(GroupIndex);
  button->SetDown(Look.Down);
  button->setEnabled(Look.Enabled);
  return button;
}

}  // namespace pictrim::test
