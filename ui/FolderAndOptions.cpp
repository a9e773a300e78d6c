#include "ui/FolderAndOptions.h"

#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>

#include "engine/Resize.h"
#include "ui/Controls.h"
#include "ui/RadioGroup.h"

namespace pictrim {

using namespace controls;

namespace {

constexpr const char* NoFolderText = "- Bitte Verzeichnis wählen -";

}  // namespace

TFolderAndOptions::TFolderAndOptions(QWidget* Parent) : QWidget(Parent) {
  setObjectName(QStringLiteral("SharedArea"));
  BuildFolderGroup();
  BuildOptionsGroup();
  auto* layout = TightColumn(this, 0, 3);
  layout->addWidget(PathRadioGroup);
  layout->addWidget(OptionsGroupBox);
  connect(TextCheckBox, &QCheckBox::toggled, this, &TFolderAndOptions::TextCheckBoxClick);
  connect(CheckBoxTop, &QCheckBox::toggled, this, &TFolderAndOptions::CheckBoxTopClick);
  connect(CheckBoxBottom, &QCheckBox::toggled, this, &TFolderAndOptions::CheckBoxBottomClick);
}

void TFolderAndOptions::BuildFolderGroup() {
  PathRadioGroup = Named(
      new TRadioGroup(
          QString(),
          {QStringLiteral("Dummy"), QStringLiteral("auswählen"), QStringLiteral("aus Liste")}, 1),
      "PathRadioGroup");
  // The placeholder entry keeps its index but is never seen or chosen.
  PathRadioGroup->Item(0)->hide();
  PathButton = Named(new QPushButton(QStringLiteral("Verzeichnis wählen")), "PathButton");
  PathButton->setFixedSize(145, 21);
  LanguageComboBox1 = Named(new QComboBox, "LanguageComboBox1");
  LanguageComboBox1->setMinimumWidth(110);
  LanguageComboBox1->setFixedHeight(21);
  PathRadioGroup->AddToItem(0, PathButton);
  PathRadioGroup->ItemCell(0)->addWidget(LanguageComboBox1);
  PathEdit = Named(new QLineEdit, "PathEdit");
  PathEdit->setReadOnly(true);
  PathEdit->setFixedHeight(EditHeight);
  PathRadioGroup->AddToItem(1, PathEdit, 1);
  PathComboBox = Named(new QComboBox, "PathComboBox");
  PathComboBox->setEditable(true);
  PathComboBox->setFixedHeight(EditHeight + 1);
  PathComboBox->setInsertPolicy(QComboBox::NoInsert);
  PathComboBox->setEnabled(false);
  PathComboBox->installEventFilter(this);
  PathComboBox->lineEdit()->installEventFilter(this);
  PathRadioGroup->AddToItem(2, PathComboBox, 1);
}

void TFolderAndOptions::BuildOptionsGroup() {
  OptionsGroupBox = Named(new QGroupBox(QStringLiteral("Optionen")), "OptionsGroupBox");
  auto* options = TightColumn(OptionsGroupBox, 6, 0);
  options->setContentsMargins(6, 0, 6, 2);
  OverwriteCheckBox =
      Named(new QCheckBox(QStringLiteral("Dateien überschreiben falls schon vorhanden")),
            "OverwriteCheckBox");
  TextCheckBox =
      Named(new QCheckBox(QStringLiteral("Text ins Bild einkopieren :")), "TextCheckBox");
  PictureText = Named(new QLineEdit, "PictureText");
  PictureText->setMaxLength(255);
  PictureText->setFixedHeight(EditHeight);
  PictureText->setEnabled(false);
  CheckBoxTop = Named(new QCheckBox(QStringLiteral("Text oben")), "CheckBoxTop");
  CheckBoxTop->setEnabled(false);
  CheckBoxBottom = Named(new QCheckBox(QStringLiteral("Text unten")), "CheckBoxBottom");
  CheckBoxBottom->setEnabled(false);
  auto* textRow = new QHBoxLayout;
  textRow->addWidget(TextCheckBox);
  textRow->addWidget(PictureText, 1);
  auto* positionRow = new QHBoxLayout;
  positionRow->addWidget(CheckBoxTop);
  positionRow->addSpacing(16);
  positionRow->addWidget(CheckBoxBottom);
  positionRow->addStretch(1);
  options->addWidget(OverwriteCheckBox);
  options->addLayout(textRow);
  options->addLayout(positionRow);
}

void TFolderAndOptions::TextCheckBoxClick() {
  const bool on = TextCheckBox->isChecked();
  PictureText->setEnabled(on);
  CheckBoxTop->setEnabled(on);
  CheckBoxBottom->setEnabled(on);
  if (on && !CheckBoxTop->isChecked() && !CheckBoxBottom->isChecked())
    CheckBoxTop->setChecked(true);
}

void TFolderAndOptions::CheckBoxTopClick() {
  if (!CheckBoxTop->isChecked() && !CheckBoxBottom->isChecked()) CheckBoxBottom->setChecked(true);
}

void TFolderAndOptions::CheckBoxBottomClick() {
  if (!CheckBoxTop->isChecked() && !CheckBoxBottom->isChecked()) CheckBoxTop->setChecked(true);
}

std::string TFolderAndOptions::StampTextForJob() const {
  return TextCheckBox->isChecked() ? PictureText->text().toStdString() : std::string();
}

uint8_t TFolderAndOptions::StampPosition() const {
  return static_cast<uint8_t>((CheckBoxTop->isChecked() ? TextAtTop : 0) |
                              (CheckBoxBottom->isChecked() ? TextAtBottom : 0));
}

void TFolderAndOptions::TakeLanguageBoxBack() {
  if (LanguageComboBox1->parentWidget() == PathRadioGroup) return;
  if (QWidget* old = LanguageComboBox1->parentWidget())
    if (QLayout* oldLayout = old->layout()) oldLayout->removeWidget(LanguageComboBox1);
  PathRadioGroup->ItemCell(0)->addWidget(LanguageComboBox1);
  LanguageComboBox1->show();
}

void TFolderAndOptions::PathComboBoxKeyUp() {
  if (PathComboBox->currentText().isEmpty())
    PathComboBox->setEditText(QString::fromUtf8(NoFolderText));
}

bool TFolderAndOptions::eventFilter(QObject* Watched, QEvent* Event) {
  if (Event->type() == QEvent::KeyRelease &&
      (Watched == PathComboBox || Watched == PathComboBox->lineEdit()))
    PathComboBoxKeyUp();
  return QWidget::eventFilter(Watched, Event);
}

}  // namespace pictrim
