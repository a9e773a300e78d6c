// Everything the main window keeps between runs and takes from the language
// files, in one place: the settings applied at start in the order that lets
// the stored selections win over the side effects of filling the edits, the
// settings collected at close, and the captions of a language.
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QToolButton>

#include <functional>
#include <map>

#include "settings/CreateLanguageINI.h"
#include "settings/Ini.h"
#include "settings/Localize.h"
#include "settings/SettingsFolder.h"
#include "ui/FileSizeTab.h"
#include "ui/FolderAndOptions.h"
#include "ui/Main.h"
#include "ui/Progress.h"
#include "ui/ProgressPanel.h"
#include "ui/RadioGroup.h"
#include "ui/RenameTab.h"
#include "ui/ResizeTab.h"
#include "ui/WindowHandlers.h"
#include "util/MoreStr.h"
#include "util/Texts.h"
#include "widgets/ColorButton.h"

namespace pictrim {
namespace {

QString Q(const std::string& Text) {
  return QString::fromStdString(Text);
}

}  // namespace

void TMainForm::ApplySettingsAndLanguage() {
  const std::string folder = SettingsFolder();
  const TSettings settings = LoadSettings(folder);
  // Each value goes in as the user would set it, so the handlers run.
  SharedArea->PictureText->setText(Q(settings.CopyrightText));
  TabSheet1->SizeEdit1->setText(Q(settings.SizeEdit1));
  TabSheet2->SizeEdit2->setText(Q(settings.SizeEdit2));
  TabSheet1->RadioGroup1->SetItemIndex(settings.SizeSelected1);
  TabSheet2->RadioGroup2->SetItemIndex(settings.SizeSelected2);
  TabSheet3->RadioGroup3->SetItemIndex(settings.SizeSelected3);
  SharedArea->PathRadioGroup->SetItemIndex(settings.PathMode);
  LanguageIndex = settings.LanguageCode;
  SharedArea->OverwriteCheckBox->setChecked(settings.Overwrite);
  SharedArea->TextCheckBox->setChecked(settings.TextCheckBox);
  ProgressPanel->PreViewCheckBox->setChecked(settings.PreViewCheckBox);
  PageControl1->setCurrentIndex(settings.ActivePageIndex);
  PreView = settings.PreView;
  SharedArea->QualitySpinBox->setValue(settings.Quality);
  SharedArea->NoEnlargeCheckBox->setChecked(settings.NoEnlarge);
  SharedArea->StrictSizeCheckBox->setChecked(settings.StrictSize);
  SharedArea->SharpCheckBox->setChecked(settings.Sharp);
  LastFolder = settings.LastFolder;
  TabSheet3->ExifDateCheckBox->setChecked(settings.ExifDateCheckBox);
  SharedArea->SetOutputFolder(settings.OutputFolder);
  for (const std::string& path : settings.Paths) SharedArea->PathComboBox->addItem(Q(path));
  SharedArea->PathComboBox->setEnabled(SharedArea->PathComboBox->count() > 0);

  WriteDefaultLanguageFiles(folder);
  const std::vector<std::string> languages = FillLanguageList(folder);
  for (const std::string& name : languages) SharedArea->LanguageComboBox1->addItem(Q(name));
  LanguageIndex = LanguageIndexOrDefault(LanguageIndex, languages.size());
  SharedArea->LanguageComboBox1->setCurrentIndex(LanguageIndex);
  UseLanguage(folder, SharedArea->LanguageComboBox1->currentText().toStdString());
}

void TMainForm::UseLanguage(const std::string& Folder, const std::string& Name) {
  const std::vector<std::string> before = TextsNow();
  const auto captions = ApplyLanguage(Folder, Name);
  if (!captions) return;
  ApplyCaptions(*captions);
  MakeShownTextsAnew(before);
  ApplyTexts();
  UseQtTranslations(LanguageLocale(Folder, Name));
}

void TMainForm::MakeShownTextsAnew(const std::vector<std::string>& Before) {
  if (StatusWritten_) SetStatus(Retranslated(Status_, Before));
  // No job adds lines meanwhile: the language box is out of reach while one runs.
  for (std::string& line : ErrorLog_) {
    const bool closed = line.ends_with("\r\n");
    std::string text = Retranslated(closed ? line.substr(0, line.size() - 2) : line, Before);
    line = closed ? text + "\r\n" : text;
  }
  ProgressWin_->ShowLinesAnew();
}

void TMainForm::SaveSettingsNow() {
  TSettings settings;
  settings.CopyrightText = SharedArea->PictureText->text().toStdString();
  settings.SizeEdit1 = TabSheet1->SizeEdit1->text().toStdString();
  settings.SizeEdit2 = TabSheet2->SizeEdit2->text().toStdString();
  settings.SizeSelected1 = TabSheet1->RadioGroup1->ItemIndex();
  settings.SizeSelected2 = TabSheet2->RadioGroup2->ItemIndex();
  settings.SizeSelected3 = TabSheet3->RadioGroup3->ItemIndex();
  settings.PathMode = SharedArea->PathRadioGroup->ItemIndex();
  settings.LanguageCode = LanguageIndex;
  settings.ActivePageIndex = PageControl1->currentIndex();
  settings.Overwrite = SharedArea->OverwriteCheckBox->isChecked();
  settings.TextCheckBox = SharedArea->TextCheckBox->isChecked();
  settings.PreViewCheckBox = ProgressPanel->PreViewCheckBox->isChecked();
  settings.PreView = PreView;
  settings.Quality = SharedArea->Quality();
  settings.NoEnlarge = SharedArea->NoEnlargeCheckBox->isChecked();
  settings.StrictSize = SharedArea->StrictSizeCheckBox->isChecked();
  settings.Sharp = SharedArea->SharpCheckBox->isChecked();
  settings.LastFolder = LastFolder;
  settings.ExifDateCheckBox = TabSheet3->ExifDateCheckBox->isChecked();
  settings.OutputFolder = SharedArea->OutputFolder();
  for (int i = 0; i < SharedArea->PathComboBox->count(); ++i)
    settings.Paths.push_back(SharedArea->PathComboBox->itemText(i).toStdString());
  SaveSettings(SettingsFolder(), settings);
}

void TMainForm::LanguageComboBox1Change() {
  LanguageIndex = SharedArea->LanguageComboBox1->currentIndex();
  UseLanguage(SettingsFolder(), SharedArea->LanguageComboBox1->currentText().toStdString());
}

void TMainForm::ApplyCaptions(const std::vector<TCaption>& Captions) {
  using TSetter = std::function<void(const QString&)>;
  auto label = [](QLabel* Label) { return [Label](const QString& Text) { Label->setText(Text); }; };
  auto box = [](QGroupBox* Box) { return [Box](const QString& Text) { Box->setTitle(Text); }; };
  auto check = [](QCheckBox* Box) { return [Box](const QString& Text) { Box->setText(Text); }; };
  auto execute = [](TGradientColorButton* Button) {
    return [Button](const QString& Text) { Button->SetCaption(Text); };
  };
  auto page = [this](int Index) {
    return [this, Index](const QString& Text) { PageControl1->setTabText(Index, Text); };
  };
  auto pathEntry = [this](int Index) {
    return [this, Index](const QString& Text) {
      SharedArea->PathRadioGroup->SetItemCaption(Index, Text);
    };
  };
  // PathButton keeps both captions; the folder mode picks one now and at every switch.
  QString chooser = SharedArea->ChooserCaption();
  QString favourites = SharedArea->FavouritesCaption();
  auto pathButton = [](QString* Caption) {
    return [Caption](const QString& Text) { *Caption = Text; };
  };
  const std::map<std::string, TSetter> setters = {
      {"pages[0].caption", page(0)},
      {"pages[1].caption", page(1)},
      {"pages[2].caption", page(2)},
      {"pathbutton.caption1", pathButton(&chooser)},
      {"pathbutton.caption2", pathButton(&favourites)},
      {"pathradiogroup1.items[1]", pathEntry(1)},
      {"pathradiogroup1.items[2]", pathEntry(2)},
      {"radiogroup1.caption", [this](const QString& Text) { TabSheet1->SetEdgeCaption(Text); }},
      {"optionsgroupbox.caption", box(SharedArea->OptionsGroupBox)},
      {"overwritecheckbox.caption", check(SharedArea->OverwriteCheckBox)},
      {"textcheckbox.caption", check(SharedArea->TextCheckBox)},
      {"resizebutton1.caption", execute(TabSheet1->ResizeButton1)},
      {"radiogroup2.caption", box(TabSheet2->RadioGroup2)},
      {"resizebutton2.caption", execute(TabSheet2->ResizeButton2)},
      {"groupbox4.caption", box(TabSheet3->GroupBox4)},
      {"label8.caption", label(TabSheet3->InfoLabels[0])},
      {"label9.caption", label(TabSheet3->InfoLabels[1])},
      {"label10.caption", label(TabSheet3->InfoLabels[2])},
      {"label11.caption", label(TabSheet3->InfoLabels[3])},
      {"label12.caption", label(TabSheet3->InfoLabels[4])},
      {"radiogroup3.caption", box(TabSheet3->RadioGroup3)},
      {"editfilenamebutton.caption",
       [this](const QString& Text) { TabSheet3->EditFileNameButton->setText(Text); }},
      {"groupbox5.caption", box(TabSheet3->GroupBox5)},
      {"exifdatecheckbox.caption", check(TabSheet3->ExifDateCheckBox)},
      {"renamemessages.checkbox",
       [this](const QString& Text) { RenameMessagesCaption_ = Text.toStdString(); }},
  };
  for (const TCaption& caption : Captions) {
    const auto setter = setters.find(LowerCase(caption.Key));
    if (setter != setters.end()) setter->second(Q(caption.Text));
  }
  SharedArea->SetPathCaptions(chooser, favourites);
}

}  // namespace pictrim
