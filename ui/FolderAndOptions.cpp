#include "ui/FolderAndOptions.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QStyle>
#include <QToolButton>

#include <algorithm>

#include "engine/Resize.h"
#include "image/JpegImage.h"
#include "platform/Paths.h"
#include "ui/Controls.h"
#include "ui/RadioGroup.h"
#include "util/MoreDialogs.h"

namespace pictrim {

using namespace controls;

namespace {

// The folder button is never narrower than this, whatever its captions.
constexpr int PathButtonMinWidth = 145;
constexpr int PathButtonHeight = 21;

// The width Button needs to show Caption whole.
int WidthFor(QPushButton* Button, const QString& Caption) {
  const QString before = Button->text();
  Button->setText(Caption);
  const int width = Button->sizeHint().width();
  Button->setText(before);
  return width;
}

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
  SetPathCaptions(QStringLiteral("Verzeichnis wählen"),
                  QStringLiteral("Verzeichnis-Liste bearbeiten"));
  ShowOptionsOf(TJob::Resize);
  ApplyTexts();
}

void TFolderAndOptions::BuildFolderGroup() {
  PathRadioGroup = Named(
      new TRadioGroup(
          QString(),
          {QStringLiteral("Dummy"), QStringLiteral("auswählen"), QStringLiteral("aus Liste")}, 1),
      "PathRadioGroup");
  // The placeholder entry keeps its index but is never seen or chosen.
  PathRadioGroup->SetItemVisible(0, false);
  PathButton = Named(new QPushButton, "PathButton");
  PathButton->setFixedHeight(Scaled(PathButtonHeight));
  PressOnEnter(PathButton);
  LanguageComboBox1 = Named(new QComboBox, "LanguageComboBox1");
  LanguageComboBox1->setMinimumWidth(Scaled(110));
  LanguageComboBox1->setFixedHeight(Scaled(PathButtonHeight));
  // Its own weight, so that the bold group it sits in on tab 3 leaves it plain.
  SetBold(LanguageComboBox1, false);
  PathRadioGroup->AddToItem(0, PathButton);
  PathRadioGroup->ItemCell(0)->addWidget(LanguageComboBox1);
  PathEdit = Named(new QLineEdit, "PathEdit");
  PathEdit->setReadOnly(true);
  PathEdit->setFixedHeight(Scaled(EditHeight));
  PathRadioGroup->AddToItem(1, PathEdit, 1);
  // A list to pick from: its placeholder shows while nothing is picked and
  // is no text anybody could edit.
  PathComboBox = Named(new QComboBox, "PathComboBox");
  PathComboBox->setFixedHeight(Scaled(EditHeight + 1));
  PathComboBox->setEnabled(false);
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
  PictureText->setFixedHeight(Scaled(EditHeight));
  PictureText->setEnabled(false);
  CheckBoxTop = Named(new QCheckBox, "CheckBoxTop");
  CheckBoxTop->setEnabled(false);
  CheckBoxBottom = Named(new QCheckBox, "CheckBoxBottom");
  CheckBoxBottom->setEnabled(false);
  QualityLabel = Named(new QLabel, "QualityLabel");
  QualitySpinBox = Named(new QSpinBox, "QualitySpinBox");
  QualitySpinBox->setRange(0, MaxJobQuality);  // 0: the jobs' own qualities
  QualitySpinBox->setFixedHeight(Scaled(EditHeight));
  QualityLabel->setBuddy(QualitySpinBox);
  NoEnlargeCheckBox = Named(new QCheckBox, "NoEnlargeCheckBox");
  StrictSizeCheckBox = Named(new QCheckBox, "StrictSizeCheckBox");
  SharpCheckBox = Named(new QCheckBox, "SharpCheckBox");

  auto* textRow = new QHBoxLayout;
  textRow->addWidget(TextCheckBox);
  textRow->addWidget(PictureText, 1);
  auto* positionRow = new QHBoxLayout;
  positionRow->addWidget(CheckBoxTop);
  positionRow->addSpacing(16);
  positionRow->addWidget(CheckBoxBottom);
  positionRow->addStretch(1);
  auto* qualityRow = new QHBoxLayout;
  qualityRow->addWidget(QualityLabel);
  qualityRow->addWidget(QualitySpinBox);
  qualityRow->addSpacing(16);
  qualityRow->addWidget(NoEnlargeCheckBox);
  qualityRow->addWidget(StrictSizeCheckBox);
  qualityRow->addStretch(1);
  options->addWidget(OverwriteCheckBox);
  options->addLayout(textRow);
  options->addLayout(positionRow);
  options->addLayout(qualityRow);
  options->addWidget(SharpCheckBox, 0, Qt::AlignLeft);
  options->addLayout(BuildOutputRow());
}

QHBoxLayout* TFolderAndOptions::BuildOutputRow() {
  OutputFolderLabel = Named(new QLabel, "OutputFolderLabel");
  OutputFolderEdit = Named(new QLineEdit, "OutputFolderEdit");
  OutputFolderEdit->setReadOnly(true);
  OutputFolderEdit->setFixedHeight(Scaled(EditHeight));
  OutputFolderButton = Named(new QToolButton, "OutputFolderButton");
  OutputFolderButton->setIcon(style()->standardIcon(QStyle::SP_DirOpenIcon));
  OutputFolderButton->setFixedHeight(Scaled(EditHeight));
  PressOnEnter(OutputFolderButton);
  OutputFolderClear = Named(new QToolButton, "OutputFolderClear");
  OutputFolderClear->setIcon(style()->standardIcon(QStyle::SP_DialogResetButton));
  OutputFolderClear->setFixedHeight(Scaled(EditHeight));
  PressOnEnter(OutputFolderClear);
  OutputFolderLabel->setBuddy(OutputFolderButton);
  connect(OutputFolderButton, &QToolButton::clicked, this,
          &TFolderAndOptions::OutputFolderButtonClick);
  connect(OutputFolderClear, &QToolButton::clicked, this, [this] { SetOutputFolder({}); });
  auto* row = new QHBoxLayout;
  row->setSpacing(3);
  row->addWidget(OutputFolderLabel);
  row->addWidget(OutputFolderEdit, 1);
  row->addWidget(OutputFolderButton);
  row->addWidget(OutputFolderClear);
  SetOutputFolder({});
  return row;
}

void TFolderAndOptions::OutputFolderButtonClick() {
  std::string chosen;
  SelectFolderFrom(OutputFolder(), chosen);
  if (!chosen.empty()) SetOutputFolder(chosen);
}

std::string TFolderAndOptions::OutputFolder() const {
  return OutputFolderEdit->text().toStdString();
}

void TFolderAndOptions::SetOutputFolder(const std::string& Folder) {
  OutputFolderEdit->setText(Folder.empty() ? QString() : Q(IncludeTrailingDelimiter(Folder)));
  OutputFolderClear->setEnabled(!Folder.empty());
}

void TFolderAndOptions::ApplyTexts() {
  CheckBoxTop->setText(T(TTextId::TextAtTop));
  CheckBoxBottom->setText(T(TTextId::TextAtBottom));
  QualityLabel->setText(T(TTextId::QualityCaption));
  ShowDefaultQuality();
  const QString hint = Q(Text(TTextId::QualityHint, {std::to_string(TJpegImage::LibraryQuality),
                                                     std::to_string(TJpegImage::DefaultQuality)}));
  QualitySpinBox->setToolTip(hint);
  QualityLabel->setToolTip(hint);
  NoEnlargeCheckBox->setText(T(TTextId::NoEnlargeCaption));
  NoEnlargeCheckBox->setToolTip(T(TTextId::NoEnlargeHint));
  StrictSizeCheckBox->setText(T(TTextId::StrictSizeCaption));
  StrictSizeCheckBox->setToolTip(T(TTextId::StrictSizeHint));
  SharpCheckBox->setText(T(TTextId::SharpCaption));
  SharpCheckBox->setToolTip(T(TTextId::SharpHint));
  PathComboBox->setPlaceholderText(T(TTextId::FavouritesPlaceholder));
  OutputFolderLabel->setText(T(TTextId::OutputFolderCaption));
  OutputFolderEdit->setPlaceholderText(T(TTextId::OutputFolderBeside));
  OutputFolderButton->setToolTip(T(TTextId::OutputFolderChoose));
  OutputFolderClear->setToolTip(T(TTextId::OutputFolderClear));
}

void TFolderAndOptions::ShowDefaultQuality() {
  // The number the jobs write with when none is chosen: a stamped copy is
  // written at a higher one.
  const int quality =
      TextCheckBox->isChecked() ? TJpegImage::DefaultQuality : TJpegImage::LibraryQuality;
  QualitySpinBox->setSpecialValueText(
      QStringLiteral("%1 (%2)").arg(T(TTextId::QualityDefault)).arg(quality));
  // Room for the words and a cursor after them, so they never scroll out of sight.
  QualitySpinBox->setMinimumWidth(0);
  QualitySpinBox->setMinimumWidth(QualitySpinBox->sizeHint().width() +
                                  QualitySpinBox->fontMetrics().averageCharWidth() * 2);
}

void TFolderAndOptions::SetPathCaptions(const QString& Chooser, const QString& Favourites) {
  ChooserCaption_ = Chooser;
  FavouritesCaption_ = Favourites;
  PathButton->setFixedWidth(std::max({Scaled(PathButtonMinWidth), WidthFor(PathButton, Chooser),
                                      WidthFor(PathButton, Favourites)}));
  ShowPathCaption();
}

void TFolderAndOptions::ShowPathCaption() {
  PathButton->setText(PathRadioGroup->ItemIndex() == 2 ? FavouritesCaption_ : ChooserCaption_);
}

void TFolderAndOptions::ShowOptionsOf(TJob Job) {
  NoEnlargeCheckBox->setVisible(Job == TJob::Resize);
  StrictSizeCheckBox->setVisible(Job == TJob::FileSize);
}

void TFolderAndOptions::ClearFavouritePick() {
  PathComboBox->setCurrentIndex(-1);
}

void TFolderAndOptions::TextCheckBoxClick() {
  const bool on = TextCheckBox->isChecked();
  PictureText->setEnabled(on);
  CheckBoxTop->setEnabled(on);
  CheckBoxBottom->setEnabled(on);
  if (on && !CheckBoxTop->isChecked() && !CheckBoxBottom->isChecked())
    CheckBoxTop->setChecked(true);
  ShowDefaultQuality();
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

int TFolderAndOptions::Quality() const {
  return QualitySpinBox->value();
}

TJobChoices TFolderAndOptions::ChoicesFor(TJob Job) const {
  TJobChoices choices;
  choices.Quality = Quality();
  choices.NoEnlarge = Job == TJob::Resize && NoEnlargeCheckBox->isChecked();
  choices.StrictSize = Job == TJob::FileSize && StrictSizeCheckBox->isChecked();
  choices.Sharp = SharpCheckBox->isChecked();
  return choices;
}

void TFolderAndOptions::TakeLanguageBoxBack() {
  if (LanguageComboBox1->parentWidget() == PathRadioGroup) return;
  if (QWidget* old = LanguageComboBox1->parentWidget())
    if (QLayout* oldLayout = old->layout()) oldLayout->removeWidget(LanguageComboBox1);
  PathRadioGroup->ItemCell(0)->addWidget(LanguageComboBox1);
  LanguageComboBox1->show();
}

}  // namespace pictrim
