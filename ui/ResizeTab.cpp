#include "ui/ResizeTab.h"

#include <QLineEdit>

#include "ui/Controls.h"
#include "ui/RadioGroup.h"
#include "widgets/ColorButton.h"

namespace pictrim {

using namespace controls;

TResizeTab::TResizeTab(QWidget* Parent) : QWidget(Parent) {
  setObjectName(QStringLiteral("TabSheet1"));
  RadioGroup4 = Named(new TRadioGroup(QString(), QStringList(3, QString()), 3), "RadioGroup4");
  RadioGroup4->SetItemIndex(0);
  RadioGroup1 =
      Named(new TRadioGroup(QStringLiteral("Pixel"),
                            QStringList(static_cast<int>(PixelPresets.size()), QString()), 3),
            "RadioGroup1");
  SizeEdit1 = CustomSizeEdit(RadioGroup1, CustomPixelEntry, "SizeEdit1");
  ResizeButton1 = ExecuteButton("ResizeButton1");
  Column_ = SizeTabColumn(this, {RadioGroup4, RadioGroup1}, ResizeButton1);
  connect(SizeEdit1, &QLineEdit::textChanged, this,
          [this] { RadioGroup1->SetItemIndex(CustomPixelEntry); });
  connect(RadioGroup4, &TRadioGroup::Click, this, &TResizeTab::ShowSizeCaption);
  ApplyTexts();
}

void TResizeTab::ApplyTexts() {
  RadioGroup4->setTitle(T(TTextId::EdgeGroupCaption));
  RadioGroup4->SetItemCaption(0, T(TTextId::EdgeWidth));
  RadioGroup4->SetItemCaption(1, T(TTextId::EdgeHeight));
  RadioGroup4->SetItemCaption(2, T(TTextId::EdgeBoth));
  SetPresetCaptions(RadioGroup1, PixelPresets, Text(TTextId::PixelEntry));
  ResizeButton1->setToolTip(T(TTextId::ExecuteHint));
  ShowSizeCaption();
}

void TResizeTab::SetEdgeCaption(const QString& Caption) {
  EdgeCaption_ = Caption;
  ShowSizeCaption();
}

void TResizeTab::ShowSizeCaption() {
  switch (RadioGroup4->ItemIndex()) {
    case 0:
      RadioGroup1->setTitle(T(TTextId::PixelGroupWidthCaption));
      RadioGroup1->setToolTip(T(TTextId::PixelGroupWidthHint));
      break;
    case 1:
      RadioGroup1->setTitle(T(TTextId::PixelGroupHeightCaption));
      RadioGroup1->setToolTip(T(TTextId::PixelGroupHeightHint));
      break;
    default:
      RadioGroup1->setTitle(EdgeCaption_);
      RadioGroup1->setToolTip(T(TTextId::PixelGroupHint));
      break;
  }
}

int TResizeTab::SelectedPreset() const {
  return controls::SelectedPreset(RadioGroup1, PixelPresets);
}

void TResizeTab::TakeSharedArea(QWidget* Area) {
  InsertSharedArea(Column_, 2, Area);
}

}  // namespace pictrim
