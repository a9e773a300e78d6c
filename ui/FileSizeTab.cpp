#include "ui/FileSizeTab.h"

#include <QLineEdit>

#include "ui/Controls.h"
#include "ui/RadioGroup.h"
#include "widgets/ColorButton.h"

namespace pictrim {

using namespace controls;

TFileSizeTab::TFileSizeTab(QWidget* Parent) : QWidget(Parent) {
  setObjectName(QStringLiteral("TabSheet2"));
  RadioGroup2 =
      Named(new TRadioGroup(QStringLiteral("Dateigröße"),
                            QStringList(static_cast<int>(KilobytePresets.size()), QString()), 2),
            "RadioGroup2");
  // Kilobytes read the same in every language.
  SetPresetCaptions(RadioGroup2, KilobytePresets, "%1 kB");
  SizeEdit2 = CustomSizeEdit(RadioGroup2, CustomKilobyteEntry, "SizeEdit2");
  ResizeButton2 = ExecuteButton("ResizeButton2");
  Column_ = SizeTabColumn(this, {RadioGroup2}, ResizeButton2);
  connect(SizeEdit2, &QLineEdit::textChanged, this,
          [this] { RadioGroup2->SetItemIndex(CustomKilobyteEntry); });
  ApplyTexts();
}

void TFileSizeTab::ApplyTexts() {
  RadioGroup2->setToolTip(T(TTextId::KilobyteGroupHint));
  ResizeButton2->setToolTip(T(TTextId::ExecuteHint));
}

int TFileSizeTab::SelectedPreset() const {
  return controls::SelectedPreset(RadioGroup2, KilobytePresets);
}

void TFileSizeTab::TakeSharedArea(QWidget* Area) {
  InsertSharedArea(Column_, 1, Area);
}

}  // namespace pictrim
