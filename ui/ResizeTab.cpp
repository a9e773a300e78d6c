#include "ui/ResizeTab.h"

#include <QLineEdit>

#include "ui/Controls.h"
#include "ui/RadioGroup.h"
#include "widgets/ColorButton.h"

namespace pictrim {

using namespace controls;

TResizeTab::TResizeTab(QWidget* Parent) : QWidget(Parent) {
  setObjectName(QStringLiteral("TabSheet1"));
  RadioGroup4 = Named(new TRadioGroup(QStringLiteral("maximale ..."),
                                      {QStringLiteral("Breite (X)"), QStringLiteral("Höhe (Y)"),
                                       QStringLiteral("Breite und Höhe ")},
                                      3),
                      "RadioGroup4");
  RadioGroup4->SetItemIndex(0);
  RadioGroup1 =
      Named(new TRadioGroup(QStringLiteral("Pixel"), PresetCaptions(PixelPresets, "Pixel"), 3),
            "RadioGroup1", "Hier stellen Sie die maximale Seitenlänge eines Bildes ein.");
  SizeEdit1 = CustomSizeEdit(RadioGroup1, CustomPixelEntry, "SizeEdit1");
  ResizeButton1 = ExecuteButton("ResizeButton1");
  Column_ = SizeTabColumn(this, {RadioGroup4, RadioGroup1}, ResizeButton1);
  connect(SizeEdit1, &QLineEdit::textChanged, this,
          [this] { RadioGroup1->SetItemIndex(CustomPixelEntry); });
}

int TResizeTab::SelectedPreset() const {
  return controls::SelectedPreset(RadioGroup1, PixelPresets);
}

void TResizeTab::TakeSharedArea(QWidget* Area) {
  InsertSharedArea(Column_, 2, Area);
}

}  // namespace pictrim
