#include "ui/RenameTab.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPalette>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QStyle>
#include <QToolButton>

#include <string>

#include "platform/Paths.h"
#include "rename/RenamePlan.h"
#include "settings/CreateLanguageINI.h"
#include "ui/Controls.h"
#include "ui/RadioGroup.h"
#include "ui/ScreenFit.h"

namespace pictrim {

using namespace controls;

TRenameTab::TRenameTab(QWidget* Parent) : QWidget(Parent) {
  setObjectName(QStringLiteral("TabSheet3"));
  auto* layout = TightColumn(this, 6, 6);
  GroupBox4 = Named(new QGroupBox(QStringLiteral("Datum im Dateinamen anpassen")), "GroupBox4");
  GroupBox4->setAutoFillBackground(true);
  QPalette white = GroupBox4->palette();
  white.setColor(QPalette::Window, Qt::white);
  GroupBox4->setPalette(white);
  SetBold(GroupBox4, true);
  auto* info = TightColumn(GroupBox4, 6, 1);
  const std::array<const char*, 5> texts = {
      "Die Änderung des Datums im Dateinamen funktioniert zur Zeit ",
      "nur für drei Formate (CASIO, \"IMGxxxx\" und \"Olympus\")",
      "Haben Ihre Bilder im Dateinamen ein anderes Datumsformat ?",
      nullptr,  // Label11 names the support address
      "am besten mit Beispiel-Bilddatei !"};
  const std::string support = std::string("Bitte senden Sie eine Email an ") + SupportAddress + "!";
  for (size_t i = 0; i < texts.size(); ++i) {
    const std::string name = "Label" + std::to_string(8 + i);
    InfoLabels[i] = new QLabel(QString::fromUtf8(texts[i] ? texts[i] : support.c_str()));
    InfoLabels[i]->setObjectName(Q(name));
    InfoLabels[i]->setWordWrap(true);
    SetBold(InfoLabels[i], false);
    info->addWidget(InfoLabels[i]);
  }
  RadioGroup3 = Named(new TRadioGroup(QStringLiteral("Neues Datumsformat im Datei-Namen"),
                                      QStringList(RenameModes.size(), QString()), 1),
                      "RadioGroup3");
  GroupBox5 = Named(new QGroupBox(QStringLiteral("Einstellungen")), "GroupBox5");
  SetBold(GroupBox5, true);
  GroupBox5Layout_ = TightColumn(GroupBox5, 8, 2);
  ExifDateCheckBox =
      Named(new QCheckBox(QStringLiteral("Aufnahmezeit aus EXIF verwenden")), "ExifDateCheckBox");
  SetBold(ExifDateCheckBox, false);
  GroupBox5Layout_->addWidget(ExifDateCheckBox);
  EditFileNameButton = Named(new QToolButton, "EditFileNameButton");
  EditFileNameButton->setText(QStringLiteral("Ausführen"));
  EditFileNameButton->setAutoRaise(true);
  // Flat, with an icon so that it still reads as a button.
  EditFileNameButton->setIcon(style()->standardIcon(QStyle::SP_DialogApplyButton));
  EditFileNameButton->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  EditFileNameButton->setFixedHeight(Scaled(ExecuteHeight));
  PressOnEnter(EditFileNameButton);
  PreviewBox = Named(new QGroupBox, "PreviewBox");
  auto* preview = TightColumn(PreviewBox, 6, 2);
  PreviewAccount = Named(new QLabel, "PreviewAccount");
  PreviewAccount->setWordWrap(true);
  PreviewList = Named(new QPlainTextEdit, "PreviewList");
  PreviewList->setReadOnly(true);
  PreviewList->setLineWrapMode(QPlainTextEdit::NoWrap);
  // Eight names at least can be read without scrolling the list.
  PreviewList->setMinimumHeight(PreviewList->fontMetrics().lineSpacing() * 8 +
                                2 * PreviewList->frameWidth());
  preview->addWidget(PreviewAccount);
  preview->addWidget(PreviewList, 1);
  PreviewBox->hide();
  UndoRenameButton = Named(new QPushButton, "UndoRenameButton");
  UndoRenameButton->setIcon(style()->standardIcon(QStyle::SP_ArrowBack));
  UndoRenameButton->hide();
  PressOnEnter(UndoRenameButton);
  layout->addWidget(GroupBox4);
  layout->addWidget(RadioGroup3);
  layout->addWidget(GroupBox5);
  layout->addWidget(PreviewBox, 1);
  layout->addStretch(1);
  layout->addWidget(EditFileNameButton, 0, Qt::AlignHCenter);
  layout->addWidget(UndoRenameButton, 0, Qt::AlignHCenter);
  ApplyTexts();
}

void TRenameTab::ApplyTexts() {
  RadioGroup3->SetItemCaption(0, T(TTextId::DateFormatDayNumber));
  RadioGroup3->SetItemCaption(1, T(TTextId::DateFormatSeconds));
  RadioGroup3->SetItemCaption(2, T(TTextId::DateFormatWithOldName));
  PreviewBox->setTitle(T(TTextId::RenamePreviewCaption));
  UndoRenameButton->setText(T(TTextId::UndoRenameCaption));
  ShowPreviewAccount();
}

void TRenameTab::ShowPreviewAccount() {
  PreviewAccount->setText(Q(RenameAccountText(PreviewAccount_, true)));
}

void TRenameTab::ShowPreview(const TRenamePlan& Plan) {
  QStringList lines;
  for (const std::vector<TRenameResult>& group : Plan.Groups) {
    for (const TRenameResult& result : group) {
      if (result.Outcome != TRenameOutcome::Renamed) continue;
      lines << Q(result.OldPath.substr(Plan.Folder.size()) + " -> " +
                 ExtractFileName(result.NewPath));
    }
  }
  PreviewList->setPlainText(lines.join(QLatin1Char('\n')));
  PreviewAccount_ = Plan.Account();
  ShowPreviewAccount();
  PreviewBox->show();
  ShowWhole(PreviewBox);
}

void TRenameTab::ShowWhole(QWidget* Part) {
  // The page's size hint has changed: the widgets up to the window forget
  // the hints they keep, and the window grows to the page's new size as far
  // as its screen allows; where it cannot, the page scrolls to the part's
  // lower edge.
  QScrollArea* page = nullptr;
  for (QWidget* parent = parentWidget(); parent != nullptr; parent = parent->parentWidget()) {
    parent->updateGeometry();
    if (page == nullptr) page = qobject_cast<QScrollArea*>(parent);
  }
  if (QWidget* window = this->window(); window != this) {
    if (window->layout() != nullptr) window->layout()->invalidate();
    FitToScreen(window, window->size().expandedTo(window->sizeHint()));
  }
  if (page != nullptr) {
    const QPoint bottom = Part->mapTo(this, QPoint(0, Part->height()));
    page->ensureVisible(0, bottom.y(), 0, 10);
  }
}

void TRenameTab::OfferUndo(const std::string& Folder) {
  UndoFolder_ = Folder;
  UndoRenameButton->setVisible(CanUndoRenames(Folder));
  if (UndoRenameButton->isVisible()) ShowWhole(UndoRenameButton);
}

void TRenameTab::TakeLanguageBox(QComboBox* Box) {
  if (Box->parentWidget() == GroupBox5) return;
  if (QWidget* old = Box->parentWidget())
    if (QLayout* oldLayout = old->layout()) oldLayout->removeWidget(Box);
  GroupBox5Layout_->addWidget(Box, 0, Qt::AlignLeft);
  Box->show();
}

}  // namespace pictrim
