// The main window used as people use it: a whole job with the keyboard
// alone, Esc to stop it, a folder dropped onto the window, the output folder
// opened from the window, the JPEG choices kept in the settings, the chooser
// opening where the last folder was, and a favourites list that holds no text.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDropEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTest>
#include <QToolButton>
#include <QUrl>

#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "engine/Resize.h"
#include "settings/IniFile.h"
#include "tests/common/TestPictures.h"
#include "tests/ui/MainFormFixture.h"
#include "ui/FileSizeTab.h"
#include "ui/FolderAndOptions.h"
#include "ui/JobResultBar.h"
#include "ui/ProgressPanel.h"
#include "ui/RadioGroup.h"
#include "ui/RenameTab.h"
#include "ui/ResizeTab.h"
#include "ui/WindowHandlers.h"
#include "util/MoreDialogs.h"
#include "widgets/ColorButton.h"

namespace fs = std::filesystem;

namespace pictrim {
namespace {

using test::FilesIn;

// Presses Tab until Target has the keyboard focus; false when a round of
// the window's controls never reaches it.
bool TabTo(QWidget* Target) {
  for (int i = 0; i < 60; ++i) {
    if (QApplication::focusWidget() == Target) return true;
    QWidget* focused = QApplication::focusWidget();
    if (focused == nullptr) return false;
    QTest::keyClick(focused, Qt::Key_Tab);
  }
  return QApplication::focusWidget() == Target;
}

// Drags Data over Window as a file manager does; true when the window
// would take it.
bool DragEnters(QWidget* Window, QMimeData& Data) {
  QDragEnterEvent enter(QPoint(50, 50), Qt::CopyAction, &Data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(Window, &enter);
  return enter.isAccepted();
}

// Drops Data onto Window, whatever the drag said; true when it was taken.
bool Dropped(QWidget* Window, QMimeData& Data) {
  QDropEvent drop(QPoint(50, 50), Qt::CopyAction, &Data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(Window, &drop);
  return drop.isAccepted();
}

// Drags Urls over Window and drops them when it would take them.
bool Drop(QWidget* Window, const QList<QUrl>& Urls) {
  QMimeData data;
  data.setUrls(Urls);
  return DragEnters(Window, data) && Dropped(Window, data);
}

class MainFormUse : public MainForm {
 protected:
  void SetUp() override {
    MainForm::SetUp();
    Form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(Form.get()));
  }
};

TEST_F(MainFormUse, aWholeResizeJobRunsFromTheKeyboardAlone) {
  const std::string source = MakeTree("src", 2, 400, 300);
  Answer = source;
  Form->SharedArea->PathRadioGroup->setFocus();
  ASSERT_TRUE(TabTo(Form->SharedArea->PathButton));
  QTest::keyClick(Form->SharedArea->PathButton, Qt::Key_Space);
  EXPECT_EQ(FolderAsks, 1);
  // The chosen folder hands the focus to the execute button: Enter starts.
  ASSERT_EQ(QApplication::focusWidget(), Form->TabSheet1->ResizeButton1);
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
  Form->WaitForJob();
  EXPECT_EQ(FilesIn(ResizeOutputFolder(source, 640, 0)), 2);

  // Tab reaches the execute button of the file-size tab as well, and the
  // button's accelerator starts the job wherever the focus is.
  Form->PageControl1->setCurrentIndex(1);
  Form->SharedArea->PathButton->setFocus();
  QTest::keyClick(Form->SharedArea->PathButton, Qt::Key_Space);
  Form->SharedArea->PathButton->setFocus();
  ASSERT_TRUE(TabTo(Form->TabSheet2->ResizeButton2));
  Form->SharedArea->PictureText->setFocus();
  QTest::keyClick(Form.get(), Qt::Key_A, Qt::AltModifier);  // "Größe ändern &AUSFÜHREN"
  Form->WaitForJob();
  EXPECT_EQ(FilesIn(FileSizeOutputFolder(source, 100)), 2);
}

TEST_F(MainFormUse, escStopsARunningJobAtItsNextCheckPoint) {
  const std::string source = MakeTree("src", 12);
  Form->SetNotificationObserver([&](const TBatchMessage& Message) {
    if (Message.Message != WM_BATCH_PROGRESS || Message.WParam != 2 || Message.LParam == 0) return;
    // The cancel button has the focus while the panel shows. The key goes in
    // while the job waits for the window after its second file.
    EXPECT_EQ(QApplication::focusWidget(), Form->ProgressPanel->AbbrechenBitBtn);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
  });
  ChooseFolder(source);
  Execute(Form->TabSheet1->ResizeButton1);
  EXPECT_LT(FilesIn(ResizeOutputFolder(source, 640, 0)), 12);
  EXPECT_EQ(Status(), "Letze Aktion = Prozess abgebrochen");
  Form->SetNotificationObserver(nullptr);

  // Without a job Esc stops nothing that comes later.
  QTest::keyClick(Form.get(), Qt::Key_Escape);
  ChooseFolder(MakeTree("next", 3));
  Execute(Form->TabSheet1->ResizeButton1);
  EXPECT_EQ(FilesIn(ResizeOutputFolder(Temp / "next/", 640, 0)), 3);
}

TEST_F(MainFormUse, aFolderDroppedOntoTheWindowIsChosenAndOtherDropsAreNot) {
  const std::string source = MakeTree("dropped", 1);
  Form->SharedArea->PathRadioGroup->SetItemIndex(2);
  EXPECT_FALSE(
      Drop(Form.get(), {QUrl::fromLocalFile(QString::fromStdString(source + "P100.jpg"))}));
  QMimeData file;  // a file is refused as soon as it is dragged over the window
  file.setUrls({QUrl::fromLocalFile(QString::fromStdString(source + "P100.jpg"))});
  EXPECT_FALSE(DragEnters(Form.get(), file));
  EXPECT_FALSE(Drop(Form.get(), {QUrl(QStringLiteral("https://example.org/photos/"))}));
  EXPECT_FALSE(Drop(Form.get(), {QUrl::fromLocalFile(QString::fromStdString(Temp / "gone"))}));
  EXPECT_FALSE(Form->TabSheet1->ResizeButton1->isEnabled());

  const std::string folder = source.substr(0, source.size() - 1);  // as a file manager names it
  ASSERT_TRUE(Drop(Form.get(), {QUrl(QStringLiteral("https://example.org/")),
                                QUrl::fromLocalFile(QString::fromStdString(folder))}));
  EXPECT_EQ(Form->SourceFolder, source);
  EXPECT_EQ(Form->SharedArea->PathRadioGroup->ItemIndex(), 1);
  EXPECT_EQ(Form->SharedArea->PathEdit->text().toStdString(), source);
  EXPECT_EQ(Status(), "Letzte Aktion = Verzeichnis gewählt");
  EXPECT_TRUE(Form->TabSheet1->ResizeButton1->isEnabled());
  Execute(Form->TabSheet1->ResizeButton1);
  EXPECT_EQ(FilesIn(ResizeOutputFolder(source, 640, 0)), 1);
  EXPECT_EQ(FolderAsks, 0);

  // While a job runs, a folder dragged over the window is refused at once,
  // and a drop changes nothing.
  const std::string big = MakeTree("big", 12);
  bool entered = true;
  bool dropped = true;
  Form->SetNotificationObserver([&](const TBatchMessage& Message) {
    if (Message.Message != WM_BATCH_PROGRESS || Message.WParam != 2) return;
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(QString::fromStdString(source))});
    entered = DragEnters(Form.get(), data);
    dropped = Dropped(Form.get(), data);
  });
  ChooseFolder(big);
  Execute(Form->TabSheet1->ResizeButton1);
  EXPECT_FALSE(entered);
  EXPECT_FALSE(dropped);
  EXPECT_EQ(Form->SourceFolder, big);
}

TEST_F(MainFormUse, theOpenFolderButtonHandsTheOutputFolderToTheDesktop) {
  std::vector<std::string> opened;
  bool answer = true;
  TFolderOpener previous = SetFolderOpener([&](const std::string& Folder) {
    opened.push_back(Folder);
    return answer;
  });
  EXPECT_FALSE(Form->ResultBar->OpenFolderButton->isVisible());
  const std::string source = MakeTree("src", 3);
  Form->PageControl1->setCurrentIndex(1);
  ChooseFolder(source);
  Execute(Form->TabSheet2->ResizeButton2);
  const std::string output = FileSizeOutputFolder(source, 100);
  EXPECT_EQ(Form->ResultBar->AccountLabel->text(),
            "3 geschrieben, 0 übersprungen, 0 fehlgeschlagen");
  EXPECT_EQ(Form->ResultBar->OutputLabel->text().toStdString(), "Kopien in " + output);
  ASSERT_TRUE(Form->ResultBar->OpenFolderButton->isVisible());
  QTest::mouseClick(Form->ResultBar->OpenFolderButton, Qt::LeftButton);
  EXPECT_EQ(opened, std::vector<std::string>{output});
  EXPECT_TRUE(Messages.empty());

  answer = false;                                           // a desktop without a file manager
  QTest::keyClick(Form.get(), Qt::Key_O, Qt::AltModifier);  // "&Ordner öffnen"
  // A button's accelerator shows the press for a moment before it clicks.
  EXPECT_TRUE(QTest::qWaitFor([&] { return opened.size() == 2; }));
  EXPECT_EQ(Messages, std::vector<std::string>{"Das Verzeichnis " + output +
                                               " konnte nicht geöffnet werden."});

  // A job that wrote nothing offers no folder.
  ChooseFolder(MakeTree("empty", 0));
  Execute(Form->TabSheet2->ResizeButton2);
  EXPECT_FALSE(Form->ResultBar->OpenFolderButton->isVisible());
  SetFolderOpener(std::move(previous));
}

TEST_F(MainFormUse, theJpegChoicesAreStoredAtCloseAndComeBackAtTheNextStart) {
  TFolderAndOptions* options = Form->SharedArea;
  EXPECT_EQ(options->Quality(), 0);
  // "Standard" says the number it stands for: that of a stamped copy while
  // the stamp is on.
  EXPECT_EQ(options->QualitySpinBox->text(), "Standard (75)");
  options->TextCheckBox->setChecked(true);
  EXPECT_EQ(options->QualitySpinBox->text(), "Standard (90)");
  options->TextCheckBox->setChecked(false);
  EXPECT_EQ(options->QualitySpinBox->text(), "Standard (75)");
  EXPECT_TRUE(options->NoEnlargeCheckBox->isVisible());
  EXPECT_FALSE(options->StrictSizeCheckBox->isVisible());
  QTest::mouseClick(options->NoEnlargeCheckBox, Qt::LeftButton);
  options->QualitySpinBox->setFocus();
  options->QualitySpinBox->selectAll();
  QTest::keyClicks(options->QualitySpinBox, "85");
  EXPECT_EQ(options->Quality(), 85);
  Form->PageControl1->setCurrentIndex(1);
  EXPECT_FALSE(options->NoEnlargeCheckBox->isVisible());
  ASSERT_TRUE(options->StrictSizeCheckBox->isVisible());
  QTest::mouseClick(options->StrictSizeCheckBox, Qt::LeftButton);
  Form->close();

  const TIniFile ini(Temp / "settings/pictrim.ini");
  EXPECT_EQ(ini.ReadInteger("Settings", "Quality", -1), 85);
  EXPECT_TRUE(ini.ReadBool("Settings", "NoEnlarge", false));
  EXPECT_TRUE(ini.ReadBool("Settings", "StrictSize", false));
  Restart();
  EXPECT_EQ(Form->SharedArea->Quality(), 85);
  EXPECT_TRUE(Form->SharedArea->NoEnlargeCheckBox->isChecked());
  EXPECT_TRUE(Form->SharedArea->StrictSizeCheckBox->isChecked());

  // Back to the defaults, as the file says after the next close.
  Form->SharedArea->QualitySpinBox->setValue(0);
  Form->SharedArea->NoEnlargeCheckBox->setChecked(false);
  Form->close();
  const TIniFile again(Temp / "settings/pictrim.ini");
  EXPECT_EQ(again.ReadInteger("Settings", "Quality", -1), 0);
  EXPECT_FALSE(again.ReadBool("Settings", "NoEnlarge", true));
}

TEST_F(MainFormUse, theJpegChoicesReachTheJobsOfTheirTabs) {
  const std::string source = Temp / "src/";
  test::WriteJpeg(source + "small.jpg", 300, 200);
  test::WriteJpeg(source + "large.jpg", 1600, 1200);
  const std::string output = ResizeOutputFolder(source, 640, 0);
  ChooseFolder(source);
  Execute(Form->TabSheet1->ResizeButton1);  // the classic job first
  EXPECT_EQ(test::PictureSize(output + "small.jpg"), QSize(640, 426));
  EXPECT_EQ(test::FirstQuantizer(output + "large.jpg"), 8);  // quality 75

  Form->SharedArea->OverwriteCheckBox->setChecked(true);
  Form->SharedArea->QualitySpinBox->setValue(30);
  QTest::mouseClick(Form->SharedArea->NoEnlargeCheckBox, Qt::LeftButton);
  ChooseFolder(source);
  Execute(Form->TabSheet1->ResizeButton1);
  EXPECT_EQ(test::PictureSize(output + "small.jpg"), QSize(300, 200));
  EXPECT_EQ(test::PictureSize(output + "large.jpg"), QSize(640, 480));
  EXPECT_EQ(test::FirstQuantizer(output + "large.jpg"), 27);  // quality 30

  // The file-size tab: never above the target, do not enlarge has no say there.
  Form->PageControl1->setCurrentIndex(1);
  QTest::mouseClick(Form->SharedArea->StrictSizeCheckBox, Qt::LeftButton);
  Form->TabSheet2->RadioGroup2->SetItemIndex(5);  // 20 kB
  for (int i = 0; i < 6; ++i)
    test::WriteJpeg(source + "photo" + std::to_string(i) + ".jpg", 1200 + 40 * i, 900, 92,
                    static_cast<unsigned>(i + 7));
  ChooseFolder(source);
  Execute(Form->TabSheet2->ResizeButton2);
  const std::string shrunk = FileSizeOutputFolder(source, 20);
  EXPECT_EQ(FilesIn(shrunk), 8);
  for (const auto& copy : fs::directory_iterator(shrunk))
    EXPECT_LE(fs::file_size(copy.path()), 20u * 1024) << copy.path();
}

// The sharp choice stands on both tabs, is off at first, is stored with the
// settings and reaches the jobs of both tabs.
TEST_F(MainFormUse, theSharpChoiceStandsOnBothTabsIsStoredAndReachesBothJobs) {
  TFolderAndOptions* options = Form->SharedArea;
  EXPECT_FALSE(options->SharpCheckBox->isChecked());
  EXPECT_TRUE(options->SharpCheckBox->isVisible());
  EXPECT_FALSE(options->ChoicesFor(TFolderAndOptions::TJob::Resize).Sharp);
  QTest::mouseClick(options->SharpCheckBox, Qt::LeftButton);
  EXPECT_TRUE(options->ChoicesFor(TFolderAndOptions::TJob::Resize).Sharp);
  Form->PageControl1->setCurrentIndex(1);
  EXPECT_TRUE(options->SharpCheckBox->isVisible());
  EXPECT_TRUE(options->ChoicesFor(TFolderAndOptions::TJob::FileSize).Sharp);
  Form->close();
  EXPECT_TRUE(
      TIniFile(Temp / "settings/pictrim.ini").ReadBool("Settings", "SharpDownsizing", false));
  Restart();
  EXPECT_TRUE(Form->SharedArea->SharpCheckBox->isChecked());
  Form->SharedArea->SharpCheckBox->setChecked(false);
  Form->close();
  EXPECT_FALSE(
      TIniFile(Temp / "settings/pictrim.ini").ReadBool("Settings", "SharpDownsizing", true));
}

TEST_F(MainFormUse, theChooserOpensWhereTheLastFolderWasAlsoAfterARestart) {
  const std::string first = MakeTree("first", 1);
  ChooseFolder(first);
  Execute(Form->TabSheet1->ResizeButton1);
  ASSERT_TRUE(Form->SharedArea->PathEdit->text().isEmpty());
  ChooseFolder(MakeTree("second", 1));
  EXPECT_EQ(StartFolders, (std::vector<std::string>{"", first}));
  Answer.reset();  // cancelled: the last folder stays
  QTest::mouseClick(Form->SharedArea->PathButton, Qt::LeftButton);
  Form->close();
  Restart();
  QTest::mouseClick(Form->SharedArea->PathButton, Qt::LeftButton);
  EXPECT_EQ(StartFolders.back(), Temp / "second/");
}

TEST_F(MainFormUse, theFavouritesListShowsItsPlaceholderAndHoldsNoTextToEdit) {
  QComboBox* favourites = Form->SharedArea->PathComboBox;
  favourites->addItem(QString::fromStdString(MakeTree("fav", 1)));
  favourites->setEnabled(true);
  QTest::mouseClick(Form->SharedArea->PathRadioGroup->Item(2), Qt::LeftButton);
  EXPECT_FALSE(favourites->isEditable());
  EXPECT_EQ(favourites->currentIndex(), -1);
  EXPECT_EQ(favourites->placeholderText(), "- Bitte Verzeichnis wählen -");
  favourites->setFocus();
  QTest::keyClicks(favourites, "xyz");
  EXPECT_EQ(favourites->currentText(), "");
  EXPECT_TRUE(Form->SourceFolder.empty());
}

// Mended: Enter did nothing on the renaming tab's button, a tool button.
TEST_F(MainFormUse, enterAndSpacePressEveryExecuteButton) {
  const std::string source = MakeTree("src", 1);
  const TCheckedMessageHandler previous = SetCheckedMessageHandler(
      [](const std::string&, const std::string&) { return true; });  // no more boxes
  TQuestionHandler previousQuestion =
      SetQuestionHandler([](const std::string&) { return true; });  // rename them
  int camera = 0;
  for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Space}) {
    for (TGradientColorButton* button :
         {Form->TabSheet1->ResizeButton1, Form->TabSheet2->ResizeButton2}) {
      Form->PageControl1->setCurrentIndex(button == Form->TabSheet1->ResizeButton1 ? 0 : 1);
      ChooseFolder(source);  // hands the focus to the tab's execute button
      ASSERT_EQ(QApplication::focusWidget(), button);
      QTest::keyClick(button, key);
      Form->WaitForJob();
      EXPECT_EQ(Status(), "Letze Aktion = Größenänderung aller Dateien im Verzeichnis " + source)
          << QTest::toString(key);
    }
    Form->PageControl1->setCurrentIndex(2);
    Form->TabSheet3->RadioGroup3->SetItemIndex(0);
    const std::string name = "P12800" + std::to_string(10 + camera++) + ".JPG";
    test::WriteTextFile(Temp / ("cam/" + name), name);
    Answer = Temp / "cam/";
    QToolButton* rename = Form->TabSheet3->EditFileNameButton;
    rename->setFocus();
    QTest::keyClick(rename, key);
    EXPECT_EQ(Status(), "Letzte Aktion =  Umbenennen von 1 Dateien") << QTest::toString(key);
    EXPECT_FALSE(fs::exists(Temp / ("cam/" + name)));
  }
  SetQuestionHandler(std::move(previousQuestion));
  SetCheckedMessageHandler(previous);
}

// Every radio group is entered by Tab at its selected entry, so that Space
// or an arrow key never changes a choice by accident; the other entries are
// not in the Tab order at all.
TEST_F(MainFormUse, tabEntersEachRadioGroupAtItsSelectedEntry) {
  std::vector<TRadioGroup*> groups = {Form->TabSheet1->RadioGroup4, Form->TabSheet1->RadioGroup1,
                                      Form->SharedArea->PathRadioGroup,
                                      Form->TabSheet2->RadioGroup2, Form->TabSheet3->RadioGroup3};
  Form->TabSheet1->RadioGroup4->SetItemIndex(2);
  Form->TabSheet1->RadioGroup1->SetItemIndex(6);
  Form->TabSheet2->RadioGroup2->SetItemIndex(3);
  Form->TabSheet3->RadioGroup3->SetItemIndex(1);
  Form->SharedArea->PathRadioGroup->SetItemIndex(2);
  // An entry that had the focus before does not keep a place in the Tab order.
  QTest::mouseClick(Form->TabSheet1->RadioGroup1->Item(1), Qt::LeftButton);
  Form->TabSheet1->RadioGroup1->SetItemIndex(7);
  for (int tab = 0; tab < 3; ++tab) {
    Form->PageControl1->setCurrentIndex(tab);
    Form->PageControl1->tabBar()->setFocus();
    std::map<TRadioGroup*, std::set<QRadioButton*>> entered;
    for (int i = 0; i < 60; ++i) {
      QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
      auto* radio = qobject_cast<QRadioButton*>(QApplication::focusWidget());
      for (TRadioGroup* group : groups)
        if (radio != nullptr && radio->parentWidget() == group) entered[group].insert(radio);
    }
    for (TRadioGroup* group : groups) {
      if (!group->isVisible()) continue;
      EXPECT_EQ(entered[group], std::set<QRadioButton*>{group->Item(group->ItemIndex())})
          << "tab " << tab + 1 << ", " << group->objectName().toStdString();
    }
  }
  EXPECT_EQ(Form->TabSheet1->RadioGroup1->ItemIndex(), 7);

  // A group with no entry selected is entered at its first entry shown.
  Form->PageControl1->setCurrentIndex(2);
  Form->TabSheet3->RadioGroup3->SetItemIndex(-1);
  Form->PageControl1->tabBar()->setFocus();
  ASSERT_TRUE(TabTo(Form->TabSheet3->RadioGroup3->Item(0)));
}

// "pictrim FOLDER...": the window opens with the first folder chosen, on a
// tab that works on folders, and says so when there were more.
TEST_F(MainFormUse, foldersHandedOverByAFileManagerAreChosen) {
  const std::string first = MakeTree("first", 1);
  const std::string second = MakeTree("second", 1);
  Form->PageControl1->setCurrentIndex(2);
  Form->OpenHandedFolders({first, second});
  EXPECT_EQ(Form->PageControl1->currentIndex(), 0);
  EXPECT_EQ(Form->SourceFolder, first);
  EXPECT_EQ(Form->SharedArea->PathEdit->text().toStdString(), first);
  EXPECT_TRUE(Form->TabSheet1->ResizeButton1->isEnabled());
  EXPECT_EQ(Status(), "Letzte Aktion = Verzeichnis gewählt: das erste der 2 übergebenen");
  Execute(Form->TabSheet1->ResizeButton1);
  EXPECT_EQ(FilesIn(ResizeOutputFolder(first, 640, 0)), 1);

  Form->OpenHandedFolders({second});
  EXPECT_EQ(Form->SourceFolder, second);
  EXPECT_EQ(Status(), "Letzte Aktion = Verzeichnis gewählt");
  Form->OpenHandedFolders({});
  EXPECT_EQ(Form->SourceFolder, second);
}

// The output folder chosen in the window takes the copies below it, the
// subfolders repeated, as --out does; it is kept for the next start, and
// cleared the copies go beside the source folder again.
TEST_F(MainFormUse, copiesGoBelowTheOutputFolderChosenInTheWindow) {
  const std::string source = MakeTree("src", 1);
  std::filesystem::create_directories(source + "sub");
  test::WriteJpeg(source + "sub/inner.jpg", 80, 60);
  const std::string out = Temp / "out/";
  std::filesystem::create_directories(out);
  TFolderAndOptions* options = Form->SharedArea;
  EXPECT_EQ(options->OutputFolderEdit->placeholderText(), "neben dem Quellordner");
  EXPECT_FALSE(options->OutputFolderClear->isEnabled());
  Answer = Temp / "out";
  QTest::mouseClick(options->OutputFolderButton, Qt::LeftButton);
  EXPECT_EQ(options->OutputFolder(), out);
  EXPECT_TRUE(options->OutputFolderClear->isEnabled());

  ChooseFolder(source);
  Execute(Form->TabSheet1->ResizeButton1);
  EXPECT_EQ(FilesIn(out), 2);
  EXPECT_TRUE(fs::exists(out + "sub/inner.jpg"));
  EXPECT_EQ(FilesIn(ResizeOutputFolder(source, 640, 0)), 0);
  EXPECT_EQ(Form->ResultBar->OutputFolder(), out);
  Form->PageControl1->setCurrentIndex(1);
  ChooseFolder(source);
  Form->SharedArea->OverwriteCheckBox->setChecked(true);
  Execute(Form->TabSheet2->ResizeButton2);
  EXPECT_EQ(FilesIn(out), 2);
  EXPECT_EQ(FilesIn(FileSizeOutputFolder(source, 100)), 0);

  Form->close();
  Restart();
  EXPECT_EQ(Form->SharedArea->OutputFolder(), out);
  QTest::mouseClick(Form->SharedArea->OutputFolderClear, Qt::LeftButton);
  EXPECT_EQ(Form->SharedArea->OutputFolder(), "");
  Form->PageControl1->setCurrentIndex(0);
  ChooseFolder(source);
  Execute(Form->TabSheet1->ResizeButton1);
  EXPECT_EQ(FilesIn(ResizeOutputFolder(source, 640, 0)), 2);
}

// Mended: "Largest Edge Length" and its hint stood over the sizes in the
// width and height modes too.
TEST_F(MainFormUse, theSizeGroupsCaptionAndHintFollowTheMode) {
  TRadioGroup* mode = Form->TabSheet1->RadioGroup4;
  TRadioGroup* sizes = Form->TabSheet1->RadioGroup1;
  const std::pair<const char*, const char*> german[] = {
      {"Größte Breite", "Hier stellen Sie die maximale Breite eines Bildes ein."},
      {"Größte Höhe", "Hier stellen Sie die maximale Höhe eines Bildes ein."},
      {"Größte Kantenlänge", "Hier stellen Sie die maximale Seitenlänge eines Bildes ein."}};
  for (int entry : {2, 0, 1, 2}) {
    QTest::mouseClick(mode->Item(entry), Qt::LeftButton);
    EXPECT_EQ(sizes->title().toStdString(), german[entry].first);
    EXPECT_EQ(sizes->toolTip().toStdString(), german[entry].second);
  }
  QTest::mouseClick(mode->Item(1), Qt::LeftButton);
  PickLanguage("English");
  EXPECT_EQ(sizes->title(), "Largest Height");
  QTest::mouseClick(mode->Item(2), Qt::LeftButton);
  EXPECT_EQ(sizes->title(), "Largest Edge Length");
  EXPECT_EQ(sizes->toolTip(), "Here you set the longest side a picture may have.");
}

}  // namespace
}  // namespace pictrim
