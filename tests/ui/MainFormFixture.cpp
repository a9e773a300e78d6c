#include "tests/ui/MainFormFixture.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <filesystem>

#include "settings/SettingsFolder.h"
#include "tests/common/TestPictures.h"
#include "ui/FolderAndOptions.h"
#include "ui/RadioGroup.h"
#include "ui/WindowHandlers.h"
#include "util/Texts.h"
#include "widgets/ColorButton.h"

namespace fs = std::filesystem;

namespace pictrim {

int test::FilesIn(const std::string& Folder) {
  if (!fs::is_directory(Folder)) return 0;
  int count = 0;
  for (const auto& entry : fs::recursive_directory_iterator(Folder))
    count += entry.is_regular_file() ? 1 : 0;
  return count;
}

void MainForm::SetUp() {
  fs::create_directories(Temp / "settings");
  SetSettingsFolder(Temp / "settings/");
  // German, the language of the window's design: position 1 of English, German.
  test::WriteTextFile(Temp / "settings/pictrim.ini", "[Settings]\nLanguageCode=1\n");
  PreviousMessage_ =
      SetMessageHandler([this](const std::string& Text) { Messages.push_back(Text); });
  PreviousFolder_ = SetFolderHandler([this](const std::string&, const std::string& Start) {
    ++FolderAsks;
    StartFolders.push_back(Start);
    return Answer;
  });
  Restart();
}

void MainForm::TearDown() {
  Form->WaitForJob();
  Form.reset();
  SetMessageHandler(std::move(PreviousMessage_));
  SetFolderHandler(std::move(PreviousFolder_));
  UseBuiltInTexts(TLanguage::German);
  UseQtTranslations("");
}

void MainForm::Restart() {
  Form.reset();
  Form = std::make_unique<TMainForm>();
  Form->FormCreate();
  Form->show();
}

std::string MainForm::MakeTree(const std::string& Name, int Count, int Width, int Height) {
  const std::string folder = Temp / (Name + "/");
  fs::create_directories(folder);
  for (int i = 0; i < Count; ++i)
    test::WriteJpeg(folder + "P" + std::to_string(100 + i) + ".jpg", Width, Height, 90,
                    static_cast<unsigned>(i + 1));
  return folder;
}

void MainForm::ChooseFolder(const std::string& Folder) {
  Answer = Folder;
  QTest::mouseClick(Form->SharedArea->PathRadioGroup->Item(1), Qt::LeftButton);
  QTest::mouseClick(Form->SharedArea->PathButton, Qt::LeftButton);
}

void MainForm::Execute(TGradientColorButton* Button) {
  QTest::mouseClick(Button, Qt::LeftButton);
  Form->WaitForJob();
}

void MainForm::TypeInto(QLineEdit* Edit, const QString& Text) {
  Edit->selectAll();
  QTest::keyClick(Edit, Qt::Key_Delete);
  QTest::keyClicks(Edit, Text);
}

void MainForm::PickLanguage(const QString& Language) {
  QComboBox* box = Form->SharedArea->LanguageComboBox1;
  const int index = box->findText(Language);
  ASSERT_GE(index, 0) << Language.toStdString();
  box->setCurrentIndex(index);
  emit box->activated(index);
}

std::string MainForm::Status() const {
  return Form->StatusPanel->text().toStdString();
}

}  // namespace pictrim
