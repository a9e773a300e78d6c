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
#include <QTabWidget>
#include <QToolButton>

#include <functional>
#include <map>

#include "settings/CreateLanguageINI.h"
#include "settings/Ini.h"
#include "settings/Localize.h"
#include "settings/SettingsFolder.h"
#include "ui/Main.h"
#include "ui/RadioGroup.h"
#include "util/MoreStr.h"
#include "widgets/ColorButton.h"

namespace pictrim {
namespace {

QString Q(const std::string& Text) { return QString::fromStdString(Text); }

}  // namespace

void TMainForm::ApplySettingsAndLanguage() {
  const std::string folder = SettingsFolder();
  const TSettings settings = LoadSettings(folder);
  // Each value goes in as the user would set it, so the handlers run.
  PictureText->setText(Q(settings.CopyrightText));
  SizeEdit1->setText(Q(settings.SizeEdit1));
  SizeEdit2->setText(Q(settings.SizeEdit2));
  RadioGroup1->SetItemIndex(settings.SizeSelected1);
  RadioGroup2->SetItemIndex(settings.SizeSelected2);
  RadioGroup3->SetItemIndex(settings.SizeSelected3);
  PathRadioGroup->SetItemIndex(settings.PathMode);
  LanguageIndex = settings.LanguageCode;
  OverwriteCheckBox->setChecked(settings.Overwrite);
  TextCheckBox->setChecked(settings.TextCheckBox);
  PreViewCheckBox->setChecked(settings.PreViewCheckBox);
  PageControl1->setCurrentIndex(settings.ActivePageIndex);
  PreView = settings.PreView;
  for (const std::string& path : settings.Paths) PathComboBox->addItem(Q(path));
  PathComboBox->setEnabled(PathComboBox->count() > 0);

  WriteDefaultLanguageFiles(folder);
  const std::vector<std::string> languages = FillLanguageList(folder);
  for (const std::string& name : languages) LanguageComboBox1->addItem(Q(name));
  LanguageIndex = LanguageIndexOrDefault(LanguageIndex, languages.size());
  LanguageComboBox1->setCurrentIndex(LanguageIndex);
  if (const auto captions = ApplyLanguage(folder, LanguageComboBox1->currentText().toStdString()))
    ApplyCaptions(*captions);
}

void TMainForm::SaveSettingsNow() {
  TSettings settings;
  settings.CopyrightText = PictureText->text().toStdString();
  settings.SizeEdit1 = SizeEdit1->text().toStdString();
  settings.SizeEdit2 = SizeEdit2->text().toStdString();
  settings.SizeSelected1 = RadioGroup1->ItemIndex();
  settings.SizeSelected2 = RadioGroup2->ItemIndex();
  settings.SizeSelected3 = RadioGroup3->ItemIndex();
  settings.PathMode = PathRadioGroup->ItemIndex();
  settings.LanguageCode = LanguageIndex;
  settings.ActivePageIndex = PageControl1->currentIndex();
  settings.Overwrite = OverwriteCheckBox->isChecked();
  settings.TextCheckBox = TextCheckBox->isChecked();
  settings.PreViewCheckBox = PreViewCheckBox->isChecked();
  settings.PreView = PreView;
  for (int i = 0; i < PathComboBox->count(); ++i)
    settings.Paths.push_back(PathComboBox->itemText(i).toStdString());
  SaveSettings(SettingsFolder(), settings);
}

void TMainForm::LanguageComboBox1Change() {
  LanguageIndex = LanguageComboBox1->currentIndex();
  if (const auto captions =
          ApplyLanguage(SettingsFolder(), LanguageComboBox1->currentText().toStdString()))
    ApplyCaptions(*captions);
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
    return [this, Index](const QString& Text) { PathRadioGroup->SetItemCaption(Index, Text); };
  };
  // PathButton keeps both captions; the folder mode picks one now and at every switch.
  auto pathButton = [this](QString* Caption) {
    return [this, Caption](const QString& Text) {
      *Caption = Text;
      PathButton->setText(PathRadioGroup->ItemIndex() == 1 ? PathCaption1_ : PathCaption2_);
    };
  };
  const std::map<std::string, TSetter> setters = {
      {"pages[0].caption", page(0)},
      {"pages[1].caption", page(1)},
      {"pages[2].caption", page(2)},
      {"pathbutton.caption1", pathButton(&PathCaption1_)},
      {"pathbutton.caption2", pathButton(&PathCaption2_)},
      {"pathradiogroup1.items[1]", pathEntry(1)},
      {"pathradiogroup1.items[2]", pathEntry(2)},
      {"radiogroup1.caption", box(RadioGroup1)},
      {"optionsgroupbox.caption", box(OptionsGroupBox)},
      {"overwritecheckbox.caption", check(OverwriteCheckBox)},
      {"textcheckbox.caption", check(TextCheckBox)},
      {"resizebutton1.caption", execute(ResizeButton1)},
      {"radiogroup2.caption", box(RadioGroup2)},
      {"resizebutton2.caption", execute(ResizeButton2)},
      {"groupbox4.caption", box(GroupBox4)},
      {"label8.caption", label(InfoLabels[0])},
      {"label9.caption", label(InfoLabels[1])},
      {"label10.caption", label(InfoLabels[2])},
      {"label11.caption", label(InfoLabels[3])},
      {"label12.caption", label(InfoLabels[4])},
      {"radiogroup3.caption", box(RadioGroup3)},
      {"editfilenamebutton.caption", [this](const QString& Text) {
         EditFileNameButton->setText(Text);
       }},
      {"groupbox5.caption", box(GroupBox5)},
  };
  for (const TCaption& caption : Captions) {
    const auto setter = setters.find(LowerCase(caption.Key));
    if (setter != setters.end()) setter->second(Q(caption.Text));
  }
}

}  // namespace pictrim
