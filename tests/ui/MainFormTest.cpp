// The main window driven as a user drives it: clicks and key presses on its
// controls, folders answered by a scripted chooser, message boxes recorded.
// Jobs run for real on small generated trees.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "engine/Resize.h"
#include "platform/FileTimes.h"
#include "settings/SettingsFolder.h"
#include "tests/common/TempDir.h"
#include "tests/common/TestPictures.h"
#include "tests/metadata/MetadataBytes.h"
#include "tests/ui/MainFormFixture.h"
#include "ui/FileSizeTab.h"
#include "ui/FolderAndOptions.h"
#include "ui/JobResultBar.h"
#include "ui/Main.h"
#include "ui/Progress.h"
#include "ui/ProgressPanel.h"
#include "ui/RadioGroup.h"
#include "ui/RenameTab.h"
#include "ui/ResizeTab.h"
#include "ui/WindowHandlers.h"
#include "util/MoreDialogs.h"
#include "util/Texts.h"
#include "widgets/ColorButton.h"

namespace fs = std::filesystem;

namespace pictrim {
namespace {

using test::FilesIn;

const QRgb EmptySlotRgb = qRgb(241, 241, 241);

bool SlotIsEmpty(const QLabel* Slot) {
  const QImage image = Slot->pixmap().toImage();
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x)
      if (image.pixel(x, y) != EmptySlotRgb) return false;
  return true;
}

TEST_F(MainForm, customPixelSizesAreClampedWrittenBackAndUsedAndANonNumberStopsTheStart) {
  const std::string source = MakeTree("src", 1, 60, 40);
  struct TCase {
    QString Typed;
    int Used;
  };
  for (const TCase& c :
       {TCase{"10", 32}, TCase{"5000", 1920}, TCase{"99999999999", 1920}, TCase{"-5", 32}}) {
    TypeInto(Form->TabSheet1->SizeEdit1, c.Typed);
    EXPECT_EQ(Form->TabSheet1->RadioGroup1->ItemIndex(), 3);
    ChooseFolder(source);
    Execute(Form->TabSheet1->ResizeButton1);
    EXPECT_EQ(Form->TabSheet1->SizeEdit1->text(), QString::number(c.Used)) << c.Typed.toStdString();
    EXPECT_EQ(FilesIn(ResizeOutputFolder(source, c.Used, 0)), 1) << c.Typed.toStdString();
  }
  EXPECT_TRUE(Messages.empty());

  TypeInto(Form->TabSheet1->SizeEdit1, "abc");
  ChooseFolder(source);
  QTest::mouseClick(Form->TabSheet1->ResizeButton1, Qt::LeftButton);
  EXPECT_FALSE(Form->JobRunning());
  ASSERT_EQ(Messages.size(), 1u);
  EXPECT_EQ(Messages[0], "Bitte geben Sie statt abc eine Zahl ein");
  EXPECT_FALSE(Form->TabSheet1->ResizeButton1->isEnabled());
  EXPECT_EQ(Form->TabSheet1->SizeEdit1->text(), "abc");
}

TEST_F(MainForm, customKilobytesAreClampedAndTypingSelectsOnlyTheEditsOwnEntry) {
  Form->TabSheet1->RadioGroup1->SetItemIndex(0);
  Form->PageControl1->setCurrentIndex(1);
  TypeInto(Form->TabSheet2->SizeEdit2, "1");
  EXPECT_EQ(Form->TabSheet2->RadioGroup2->ItemIndex(), 4);
  EXPECT_EQ(Form->TabSheet1->RadioGroup1->ItemIndex(), 0);
  const std::string source = MakeTree("src", 1, 80, 60);
  for (const auto& [typed, used] : {std::pair{"1", 5}, std::pair{"99999", 2048}}) {
    TypeInto(Form->TabSheet2->SizeEdit2, typed);
    ChooseFolder(source);
    Execute(Form->TabSheet2->ResizeButton2);
    EXPECT_EQ(Form->TabSheet2->SizeEdit2->text(), QString::number(used));
    EXPECT_EQ(FilesIn(Temp / ("src_SIZE" + std::to_string(used) + " kB/")), 1) << typed;
  }
}

TEST_F(MainForm, theStampPositionCanNeverBeNoneWhileTheTextIsOn) {
  QTest::mouseClick(Form->SharedArea->TextCheckBox, Qt::LeftButton);
  EXPECT_TRUE(Form->SharedArea->PictureText->isEnabled());
  EXPECT_TRUE(Form->SharedArea->CheckBoxTop->isChecked());
  QTest::mouseClick(Form->SharedArea->CheckBoxTop, Qt::LeftButton);
  EXPECT_FALSE(Form->SharedArea->CheckBoxTop->isChecked());
  EXPECT_TRUE(Form->SharedArea->CheckBoxBottom->isChecked());
  QTest::mouseClick(Form->SharedArea->CheckBoxBottom, Qt::LeftButton);
  EXPECT_TRUE(Form->SharedArea->CheckBoxTop->isChecked());
  EXPECT_FALSE(Form->SharedArea->CheckBoxBottom->isChecked());
  QTest::mouseClick(Form->SharedArea->TextCheckBox, Qt::LeftButton);
  EXPECT_FALSE(Form->SharedArea->PictureText->isEnabled());
  EXPECT_FALSE(Form->SharedArea->CheckBoxTop->isEnabled());
}

TEST_F(MainForm, switchingTheFolderModeSwapsEditAndListAndDisablesTheButtons) {
  ChooseFolder(MakeTree("src", 0));
  EXPECT_TRUE(Form->TabSheet1->ResizeButton1->isEnabled());
  EXPECT_EQ(Form->TabSheet1->ResizeButton1->GradientStyle(), TGradientStyle::gsVertical);
  QTest::mouseClick(Form->SharedArea->PathRadioGroup->Item(2), Qt::LeftButton);
  EXPECT_TRUE(Form->SharedArea->PathComboBox->isVisible());
  EXPECT_FALSE(Form->SharedArea->PathEdit->isVisible());
  EXPECT_FALSE(Form->SharedArea->PathComboBox->isEnabled());  // no favourites yet
  EXPECT_TRUE(Form->SharedArea->PathEdit->text().isEmpty());
  EXPECT_FALSE(Form->TabSheet1->ResizeButton1->isEnabled());
  EXPECT_FALSE(Form->TabSheet2->ResizeButton2->isEnabled());
  EXPECT_EQ(Form->TabSheet1->ResizeButton1->GradientStyle(), TGradientStyle::gsNone);
  QTest::mouseClick(Form->SharedArea->PathRadioGroup->Item(1), Qt::LeftButton);
  EXPECT_TRUE(Form->SharedArea->PathEdit->isVisible());
  EXPECT_FALSE(Form->SharedArea->PathComboBox->isVisible());
}

TEST_F(MainForm, aResizeJobWritesItsCopiesAndLeavesTheWindowReadyForTheNextFolder) {
  const std::string source = MakeTree("src", 3, 400, 300);
  test::WriteJpeg(source + "sub/P200.jpg", 300, 400);
  QTest::mouseClick(Form->TabSheet1->RadioGroup4->Item(2), Qt::LeftButton);
  QTest::mouseClick(Form->TabSheet1->RadioGroup1->Item(6), Qt::LeftButton);  // 160 Pixel
  ChooseFolder(source);
  EXPECT_EQ(Status(), "Letzte Aktion = Verzeichnis gewählt");
  Execute(Form->TabSheet1->ResizeButton1);

  const std::string output = ResizeOutputFolder(source, 160, 160);
  EXPECT_EQ(FilesIn(output), 4);
  EXPECT_EQ(test::PictureSize(output + "P100.jpg"), QSize(160, 120));
  EXPECT_EQ(test::PictureSize(output + "sub/P200.jpg"), QSize(120, 160));
  EXPECT_TRUE(Form->ErrorLog().empty());
  EXPECT_EQ(Status(), "Letze Aktion = Größenänderung aller Dateien im Verzeichnis " + source);
  EXPECT_EQ(Form->MainStack->currentWidget(), Form->PageControl1);
  EXPECT_FALSE(Form->ProgressWindow()->isVisible());
  EXPECT_FALSE(Form->TabSheet1->ResizeButton1->isEnabled());
  EXPECT_FALSE(Form->TabSheet2->ResizeButton2->isEnabled());
  EXPECT_TRUE(Form->SharedArea->PathEdit->text().isEmpty());
  for (size_t i = 0; i < Form->ProgressPanel->NumLabels.size(); ++i)
    EXPECT_EQ(Form->ProgressPanel->NumLabels[i]->text(), QString::number(i + 1));

  // The file-size job leaves the buttons as the resize job does.
  Form->PageControl1->setCurrentIndex(1);
  QTest::mouseClick(Form->TabSheet2->RadioGroup2->Item(7), Qt::LeftButton);
  ChooseFolder(source);
  Execute(Form->TabSheet2->ResizeButton2);
  EXPECT_EQ(FilesIn(Temp / "src_SIZE5 kB/"), 4);
  EXPECT_FALSE(Form->TabSheet1->ResizeButton1->isEnabled());
  EXPECT_FALSE(Form->TabSheet2->ResizeButton2->isEnabled());
}

TEST_F(MainForm, widthAndHeightAreThoseOfThePictureAsShownAlsoWhenNotEnlarging) {
  // 400 x 300 stored; the one turned by a quarter is shown 300 x 400.
  const std::string source = Temp / "turned/";
  fs::create_directories(source);
  for (const uint16_t orientation : {1, 6}) {
    test::TExifBlock block(false);
    block.AddShort(0, 274, {orientation});
    test::WriteBytes(source + "o" + std::to_string(orientation) + ".jpg",
                     test::WithHeader(test::EncodedPicture(400, 300), {block.App1()}));
  }
  const auto resize = [&](int Edge, const QString& Pixels) {
    QTest::mouseClick(Form->TabSheet1->RadioGroup4->Item(Edge), Qt::LeftButton);
    TypeInto(Form->TabSheet1->SizeEdit1, Pixels);
    ChooseFolder(source);
    Execute(Form->TabSheet1->ResizeButton1);
  };
  resize(0, "200");  // width
  resize(1, "150");  // height
  const std::string wide = ResizeOutputFolder(source, 200, 0);
  const std::string high = ResizeOutputFolder(source, 0, 150);
  EXPECT_EQ(test::PictureSize(wide + "o1.jpg"), QSize(200, 150));
  EXPECT_EQ(test::PictureSize(wide + "o6.jpg"), QSize(266, 200));
  EXPECT_EQ(test::PictureSize(high + "o1.jpg"), QSize(200, 150));
  EXPECT_EQ(test::PictureSize(high + "o6.jpg"), QSize(150, 112));

  // 350 wide: the turned picture is narrower as shown and keeps its size.
  QTest::mouseClick(Form->SharedArea->NoEnlargeCheckBox, Qt::LeftButton);
  ASSERT_TRUE(Form->SharedArea->NoEnlargeCheckBox->isChecked());
  resize(0, "350");
  const std::string kept = ResizeOutputFolder(source, 350, 0);
  EXPECT_EQ(test::PictureSize(kept + "o1.jpg"), QSize(350, 262));
  EXPECT_EQ(test::PictureSize(kept + "o6.jpg"), QSize(400, 300));
  EXPECT_TRUE(Form->ErrorLog().empty());
}

TEST_F(MainForm, aJobWithErrorLinesShowsThemInTheProgressWindow) {
  const std::string source = MakeTree("src", 1);
  test::WriteTextFile(source + "broken.jpg", "not a picture");
  ChooseFolder(source);
  Execute(Form->TabSheet1->ResizeButton1);
  ASSERT_FALSE(Form->ErrorLog().empty());
  EXPECT_TRUE(Form->ProgressWindow()->isVisible());
  EXPECT_EQ(Form->ProgressWindow()->frameGeometry().width(), 653);
}

TEST_F(MainForm, aJobEndsWithTheAccountOfItsFilesBelowTheTabs) {
  const std::string source = MakeTree("src", 2);
  test::WriteTextFile(source + "broken.jpg", "not a picture");
  test::WriteTextFile(source + "clip.mp4", "not a picture either");
  const QLabel* account = Form->ResultBar->AccountLabel;
  ChooseFolder(source);
  Execute(Form->TabSheet1->ResizeButton1);
  EXPECT_EQ(account->text().toStdString(), "2 geschrieben, 1 übersprungen, 1 fehlgeschlagen");
  EXPECT_NE(account->toolTip().toStdString().find("1 kein Bild"), std::string::npos);
  // The status bar keeps its own text.
  EXPECT_EQ(Status(), "Letze Aktion = Größenänderung aller Dateien im Verzeichnis " + source);

  Form->PageControl1->setCurrentIndex(1);
  ChooseFolder(source);
  Execute(Form->TabSheet2->ResizeButton2);
  EXPECT_EQ(account->text().toStdString(), "2 geschrieben, 1 übersprungen, 1 fehlgeschlagen");
  Form->PageControl1->setCurrentIndex(0);
  PickLanguage("English");
  ChooseFolder(source);
  Execute(Form->TabSheet1->ResizeButton1);
  EXPECT_EQ(account->text().toStdString(), "0 written, 3 skipped, 1 failed");
  EXPECT_NE(account->toolTip().toStdString().find(
                "2 skipped: their copies exist (\"Overwrite Files if exist\" replaces them)"),
            std::string::npos)
      << account->toolTip().toStdString();
}

TEST_F(MainForm, anEmptyTreeShowsTheProgressPanelAndHidesItAtOnce) {
  std::vector<QWidget*> shown;
  QObject::connect(Form->MainStack, &QStackedWidget::currentChanged,
                   [&] { shown.push_back(Form->MainStack->currentWidget()); });
  ChooseFolder(MakeTree("empty", 0));
  Execute(Form->TabSheet1->ResizeButton1);
  EXPECT_EQ(shown, (std::vector<QWidget*>{Form->ProgressPanel, Form->PageControl1}));
  EXPECT_FALSE(Form->ProgressWindow()->isVisible());
}

TEST_F(MainForm, renamingWithNoDateFormatSelectedRenamesNothing) {
  Form->PageControl1->setCurrentIndex(2);
  Form->TabSheet3->RadioGroup3->SetItemIndex(-1);
  QTest::mouseClick(Form->TabSheet3->EditFileNameButton, Qt::LeftButton);
  EXPECT_EQ(FolderAsks, 0);
  EXPECT_EQ(Status(), "Letzte Aktion =  Umbenennen von 0 Dateien");
  EXPECT_TRUE(Form->TabSheet3->EditFileNameButton->isEnabled());
}

TEST_F(MainForm, thePreviewStripOverElevenFilesShowsFileElevenAloneWithTheLabelsOfTheRow) {
  const std::string source = MakeTree("src", 11);
  Form->ProgressPanel->PreViewCheckBox->setChecked(true);
  std::vector<QString> labels;
  std::vector<bool> empty;
  QImage first;
  Form->SetNotificationObserver([&](const TBatchMessage& Message) {
    if (Message.Message != WM_BATCH_PROGRESS || Message.WParam != 11 || Message.LParam != 11)
      return;
    for (size_t i = 0; i < 5; ++i) {
      labels.push_back(Form->ProgressPanel->NumLabels[i]->text());
      empty.push_back(SlotIsEmpty(Form->ProgressPanel->ImgViews[i]));
    }
    first =
        Form->ProgressPanel->ImgViews[0]->pixmap().toImage().convertToFormat(QImage::Format_RGB32);
  });
  ChooseFolder(source);
  Execute(Form->TabSheet1->ResizeButton1);
  EXPECT_EQ(labels, (std::vector<QString>{"11", "7", "8", "9", "10"}));
  EXPECT_EQ(empty, (std::vector<bool>{false, true, true, true, true}));
  const std::string eleventh = ResizeOutputFolder(source, 640, 0) + "P110.jpg";
  EXPECT_EQ(first, PreviewThumbnail(eleventh).convertToFormat(QImage::Format_RGB32));
  for (QLabel* slot : Form->ProgressPanel->ImgViews) EXPECT_TRUE(SlotIsEmpty(slot));
}

TEST_F(MainForm, aFileThatCannotBeLoadedLeavesItsSlotEmptyAndPreviewsOffLeaveAllSlotsAlone) {
  const std::string source = MakeTree("src", 1);
  test::WriteTextFile(Temp / "broken.jpg", "no picture");
  Form->ProgressPanel->PreViewCheckBox->setChecked(true);
  Form->ProgressPanel->ShowProgress(1, 5, source + "P100.jpg");
  Form->ProgressPanel->ShowProgress(2, 5, source + "P100.jpg");
  EXPECT_FALSE(SlotIsEmpty(Form->ProgressPanel->ImgViews[1]));
  Form->ProgressPanel->ShowProgress(2, 5, Temp / "broken.jpg");
  EXPECT_TRUE(SlotIsEmpty(Form->ProgressPanel->ImgViews[1]));
  EXPECT_EQ(Form->ProgressPanel->ProgressLabel->text(), "Fortschritt:  2 von  5  Dateien");

  Form->ProgressPanel->PreViewCheckBox->click();  // off: the strip is cleared
  EXPECT_TRUE(SlotIsEmpty(Form->ProgressPanel->ImgViews[0]));
  Form->ProgressPanel->ShowProgress(3, 5, source + "P100.jpg");
  EXPECT_TRUE(SlotIsEmpty(Form->ProgressPanel->ImgViews[2]));
  EXPECT_EQ(Form->ProgressPanel->NumLabels[2]->text(), "3");
}

TEST_F(MainForm, theWindowSeesTheSameNotificationsInTheSameOrderAsAHeadlessRun) {
  const std::string source = MakeTree("src", 4, 200, 150);
  test::WriteTextFile(source + "broken.jpg", "not a picture");
  test::WriteJpeg(source + "sub/P300.jpg", 150, 200);
  std::vector<TBatchMessage> headless;
  TQueuedBatchTarget target([&](const TBatchMessage& Message) { headless.push_back(Message); });
  TErrorLog log;
  CancelRequested = false;
  ConvertPICsWholeTree(&target, source, "", 640, 0, "", 1, WM_BATCH_PROGRESS, WM_BATCH_FILE, false,
                       log);
  target.pump();
  fs::remove_all(ResizeOutputFolder(source, 640, 0));

  std::vector<TBatchMessage> window;
  Form->SetNotificationObserver([&](const TBatchMessage& Message) { window.push_back(Message); });
  ChooseFolder(source);
  Execute(Form->TabSheet1->ResizeButton1);
  EXPECT_GT(headless.size(), 10u);
  EXPECT_EQ(window, headless);
  EXPECT_EQ(Form->ErrorLog(), log);
}

TEST_F(MainForm, abbrechenStopsTheJobAtItsNextCheckPoint) {
  const std::string source = MakeTree("src", 12);
  Form->SetNotificationObserver([&](const TBatchMessage& Message) {
    if (Message.Message == WM_BATCH_PROGRESS && Message.WParam == 2)
      QTimer::singleShot(0, Form->ProgressPanel->AbbrechenBitBtn, [&] {
        QTest::mouseClick(Form->ProgressPanel->AbbrechenBitBtn, Qt::LeftButton);
      });
  });
  ChooseFolder(source);
  Execute(Form->TabSheet1->ResizeButton1);
  EXPECT_LT(FilesIn(ResizeOutputFolder(source, 640, 0)), 12);
  EXPECT_EQ(Status(), "Letze Aktion = Prozess abgebrochen");
}

// Mended: closing during a job used to save and end while the job still reported.
TEST_F(MainForm, closingWhileAJobRunsCancelsItWaitsForItsEndAndThenSaves) {
  const std::string source = MakeTree("src", 20);
  Form->SetNotificationObserver([&](const TBatchMessage& Message) {
    if (Message.Message == WM_BATCH_PROGRESS && Message.WParam == 2)
      QTimer::singleShot(0, Form.get(), [&] { Form->close(); });
  });
  ChooseFolder(source);
  QTest::mouseClick(Form->TabSheet1->ResizeButton1, Qt::LeftButton);
  EXPECT_TRUE(Form->JobRunning());
  QTRY_VERIFY_WITH_TIMEOUT(!Form->isVisible(), 30000);
  EXPECT_FALSE(Form->JobRunning());
  EXPECT_LT(FilesIn(ResizeOutputFolder(source, 640, 0)), 20);
  EXPECT_TRUE(fs::exists(Temp / "settings/pictrim.ini"));
}

// Mended: a folder chosen while a job lists its files could start a second job.
TEST_F(MainForm, noSecondJobStartsWhileOneRuns) {
  const std::string first = MakeTree("first", 3);
  const std::string second = MakeTree("second", 1);
  bool tried = false;
  Form->SetNotificationObserver([&](const TBatchMessage& Message) {
    if (tried || Message.Message != WM_BATCH_STATUS) return;
    tried = true;
    QTimer::singleShot(0, Form.get(), [&] {
      ChooseFolder(second);
      EXPECT_TRUE(Form->TabSheet2->ResizeButton2->isEnabled());
      Form->PageControl1->setCurrentIndex(1);
      QTest::mouseClick(Form->TabSheet2->ResizeButton2, Qt::LeftButton);
      Form->PageControl1->setCurrentIndex(2);
      QTest::mouseClick(Form->TabSheet3->EditFileNameButton, Qt::LeftButton);
    });
  });
  ChooseFolder(first);
  QTest::mouseClick(Form->TabSheet1->ResizeButton1, Qt::LeftButton);
  QTRY_VERIFY_WITH_TIMEOUT(tried && !Form->JobRunning(), 30000);
  EXPECT_EQ(FolderAsks, 2);  // the two choices; the renaming never asked
  EXPECT_FALSE(fs::exists(Temp / "second_SIZE100 kB"));
  EXPECT_EQ(FilesIn(ResizeOutputFolder(first, 640, 0)), 3);
}

// Mended: a favourite deleted after it was picked gave a job reported as done.
TEST_F(MainForm, aFavouriteThatNoLongerExistsIsReportedAtTheStart) {
  const std::string gone = MakeTree("gone", 1);
  Form->SharedArea->PathComboBox->addItem(QString::fromStdString(gone));
  Form->SharedArea->PathComboBox->setEnabled(true);
  QTest::mouseClick(Form->SharedArea->PathRadioGroup->Item(2), Qt::LeftButton);
  emit Form->SharedArea->PathComboBox->activated(0);
  EXPECT_TRUE(Form->TabSheet1->ResizeButton1->isEnabled());
  fs::remove_all(gone);
  const std::string before = Status();
  QTest::mouseClick(Form->TabSheet1->ResizeButton1, Qt::LeftButton);
  EXPECT_FALSE(Form->JobRunning());
  ASSERT_EQ(Messages.size(), 1u);
  EXPECT_NE(Messages[0].find(gone), std::string::npos);
  EXPECT_EQ(Status(), before);
  EXPECT_FALSE(Form->TabSheet1->ResizeButton1->isEnabled());
}

// Mended: a cancelled chooser reported a chosen folder.
TEST_F(MainForm, aCancelledFolderChooserLeavesTheStatusAndTheButtonsAlone) {
  ChooseFolder(MakeTree("src", 0));
  Form->SetNotificationObserver(nullptr);
  Form->HandleNotification({WM_BATCH_STATUS, 0, 0, "Letzte Aktion = vorher"});
  Answer.reset();
  QTest::mouseClick(Form->SharedArea->PathButton, Qt::LeftButton);
  EXPECT_EQ(FolderAsks, 2);
  EXPECT_EQ(Status(), "Letzte Aktion = vorher");
  EXPECT_TRUE(Form->SourceFolder.empty());
  EXPECT_FALSE(Form->TabSheet1->ResizeButton1->isEnabled());
}

TEST_F(MainForm, storedSelectionsWinOverTheEditsThatAreFilledBeforeThem) {
  test::WriteTextFile(Temp / "settings/pictrim.ini",
                      "[Settings]\nSizeEdit1=500\nSizeEdit2=77\nSizeSelected1=0\n"
                      "SizeSelected2=-5\nPath=2\nActivePageIndex=1\n");
  Form = std::make_unique<TMainForm>();
  Form->FormCreate();
  EXPECT_EQ(Form->TabSheet1->SizeEdit1->text(), "500");
  EXPECT_EQ(Form->TabSheet1->RadioGroup1->ItemIndex(), 0);
  EXPECT_EQ(Form->PresetPixels, 1920);
  EXPECT_EQ(Form->TabSheet2->RadioGroup2->ItemIndex(), -1);
  EXPECT_EQ(Form->SharedArea->PathRadioGroup->ItemIndex(), 2);
  EXPECT_EQ(Form->PageControl1->currentIndex(), 1);
  EXPECT_EQ(Form->windowTitle(), MainCaption);
}

// Mended: the folder button's caption was chosen by the language's list
// position, so a third language file showed another language's caption.
TEST_F(MainForm, thePathButtonCaptionFollowsTheLanguageInUse) {
  test::WriteTextFile(Temp / "settings/LANGUAGE_Aaa.ini",
                      "[MainForm]\nPathButton.caption1=Ordner A\nPathButton.caption2=Liste A\n");
  Restart();
  PickLanguage("Aaa");
  EXPECT_EQ(Form->SharedArea->PathButton->text(), "Ordner A");
  // The file gives the entry no caption: only its round button can be clicked.
  QRadioButton* fromList = Form->SharedArea->PathRadioGroup->Item(2);
  QTest::mouseClick(fromList, Qt::LeftButton, {}, QPoint(6, fromList->height() / 2));
  EXPECT_EQ(Form->SharedArea->PathButton->text(), "Liste A");
  PickLanguage("German");
  EXPECT_EQ(Form->SharedArea->PathButton->text(), "Verzeichnis-Liste bearbeiten");
  EXPECT_EQ(Form->SharedArea->TextCheckBox->text(), "Text ins Bild einkopieren");
  PickLanguage("English");
  QTest::mouseClick(Form->SharedArea->PathRadioGroup->Item(1), Qt::LeftButton);
  EXPECT_EQ(Form->SharedArea->PathButton->text(), "Select Path");
}

// The sharp choice and the file-size hint speak the language in use; the
// hint says what a kilobyte is and how far above the target a copy may lie.
TEST_F(MainForm, theSharpChoiceAndTheKilobyteHintSpeakTheLanguageInUse) {
  PickLanguage("German");
  EXPECT_EQ(Form->SharedArea->SharpCheckBox->text(), "Scharf verkleinern");
  const std::string german = Form->TabSheet2->RadioGroup2->toolTip().toStdString();
  EXPECT_NE(german.find("1 kB sind 1024 Bytes"), std::string::npos) << german;
  EXPECT_NE(german.find("außer mit „Nie über der Zielgröße“"), std::string::npos) << german;
  PickLanguage("English");
  EXPECT_EQ(Form->SharedArea->SharpCheckBox->text(), "Sharp downsizing");
  const std::string english = Form->TabSheet2->RadioGroup2->toolTip().toStdString();
  EXPECT_NE(english.find("A kB is 1024 bytes; a copy may lie up to 1 %"), std::string::npos)
      << english;
  EXPECT_NE(english.find("unless \"Never above the target\" is on"), std::string::npos) << english;
}

// The renaming tab: the preview and the one question before a run, a
// message box per file with a check box that ends them for the run, names by
// the EXIF time taken, lines for names taken, and the undo of a run.
class RenamingTab : public MainForm {
 protected:
  void SetUp() override {
    MainForm::SetUp();
    PreviousChecked_ =
        SetCheckedMessageHandler([this](const std::string& Text, const std::string& CheckCaption) {
          Boxes.push_back(Text);
          BoxCaptions.push_back(CheckCaption);
          return static_cast<int>(Boxes.size()) == CheckAtBox;
        });
    PreviousQuestion_ = SetQuestionHandler([this](const std::string& Text) {
      Questions.push_back(Text);
      if (WhileAsked) WhileAsked();
      return Yes;
    });
    Form->PageControl1->setCurrentIndex(2);
    Form->TabSheet3->RadioGroup3->SetItemIndex(0);
  }
  void TearDown() override {
    SetCheckedMessageHandler(std::move(PreviousChecked_));
    SetQuestionHandler(std::move(PreviousQuestion_));
    MainForm::TearDown();
  }
  // Camera files stamped 2006-01-28 at midday (UTC).
  std::string MakeCameraFiles(const std::vector<std::string>& Names) {
    const std::string folder = Temp / "cam/";
    for (const std::string& name : Names) {
      test::WriteTextFile(folder + name, name);
      SetFileModTime(folder + name, TFileTime{1138449600, 0});
    }
    return folder;
  }
  void Rename(const std::string& Folder) {
    Answer = Folder;
    QTest::mouseClick(Form->TabSheet3->EditFileNameButton, Qt::LeftButton);
  }

  std::vector<std::string> Boxes;
  std::vector<std::string> BoxCaptions;
  int CheckAtBox = 0;  // the box whose check box the user ticks; 0: none
  std::vector<std::string> Questions;
  bool Yes = true;                   // the answer to the question
  std::function<void()> WhileAsked;  // what happens while the question is shown

 private:
  TCheckedMessageHandler PreviousChecked_;
  TQuestionHandler PreviousQuestion_;
};

TEST_F(RenamingTab, aBoxComesForEveryFileUntilTheUserAsksForNoMore) {
  const std::string folder =
      MakeCameraFiles({"P1280001.JPG", "P1280002.JPG", "P1280003.JPG", "P1280004.JPG", "x.jpg"});
  Rename(folder);
  EXPECT_EQ(Boxes.size(), 5u);
  EXPECT_EQ(Boxes[0], "result:\tNewFileList =\t" + folder + "2006-01-28 0001.JPG");
  EXPECT_EQ(Status(), "Letzte Aktion =  Umbenennen von 4 Dateien");
  EXPECT_EQ(Form->ResultBar->AccountLabel->text(), "4 umbenannt, 1 übersprungen, 0 fehlgeschlagen");

  Boxes.clear();
  CheckAtBox = 2;
  const std::string again = MakeCameraFiles(
      {"P1280011.JPG", "P1280012.JPG", "P1280013.JPG", "P1280014.JPG", "P1280015.JPG"});
  Rename(again);
  EXPECT_EQ(Boxes.size(), 2u);
  EXPECT_EQ(Status(), "Letzte Aktion =  Umbenennen von 5 Dateien");
  EXPECT_TRUE(fs::exists(again + "2006-01-28 0015.JPG"));
  EXPECT_TRUE(Messages.empty());

  // The next run asks again.
  Boxes.clear();
  CheckAtBox = 0;
  Rename(MakeCameraFiles({"P1280021.JPG", "P1280022.JPG"}));
  EXPECT_EQ(Boxes.size(), 12u);  // the files renamed before are listed too
  EXPECT_TRUE(Form->TabSheet3->EditFileNameButton->isEnabled());
}

TEST_F(RenamingTab, theCheckBoxCaptionsFollowTheLanguage) {
  PickLanguage("German");
  EXPECT_EQ(Form->TabSheet3->ExifDateCheckBox->text(), "Aufnahmezeit aus EXIF verwenden");
  Rename(MakeCameraFiles({"P1280001.JPG"}));
  PickLanguage("English");
  EXPECT_EQ(Form->TabSheet3->ExifDateCheckBox->text(), "Use the time taken from EXIF");
  Rename(Temp / "cam/");
  EXPECT_EQ(BoxCaptions, (std::vector<std::string>{"Keine weiteren Meldungen in diesem Lauf",
                                                   "No more messages in this run"}));
  // The boxes and the account of the run speak the language as well.
  ASSERT_EQ(Boxes.size(), 2u);
  EXPECT_EQ(Boxes[0].rfind("result:\tNewFileList =\t", 0), 0u) << Boxes[0];
  EXPECT_EQ(Boxes[1], "Result:\tnew file name =\t" + Temp / "cam/2006-01-28 0001.JPG");
  EXPECT_EQ(Form->ResultBar->AccountLabel->text(), "0 renamed, 1 skipped, 0 failed");

  // A hand-made language that lacks both keys keeps the German captions.
  test::WriteTextFile(Temp / "settings/LANGUAGE_Aaa.ini", "[MainForm]\nPages[0].Caption=Taille\n");
  Restart();
  PickLanguage("English");
  PickLanguage("Aaa");
  EXPECT_EQ(Form->TabSheet3->ExifDateCheckBox->text(), "Aufnahmezeit aus EXIF verwenden");
  Form->PageControl1->setCurrentIndex(2);
  Form->TabSheet3->RadioGroup3->SetItemIndex(0);
  Rename(Temp / "cam/");
  ASSERT_EQ(BoxCaptions.size(), 3u);
  EXPECT_EQ(BoxCaptions[2], "Keine weiteren Meldungen in diesem Lauf");
}

TEST_F(RenamingTab, theTimeTakenIsUsedWhenCheckedAndTheChoiceIsKept) {
  test::TExifBlock block(false);
  block.AddAscii(0, 306, std::string("2019:06:15 10:20:30") + '\0');
  const std::string folder = Temp / "exif/";
  fs::create_directories(folder);
  test::WriteBytes(folder + "ABC_0001.JPG", test::JpegFile({block.App1()}));
  test::WriteBytes(folder + "DSC_0001.JPG", test::JpegFile({block.App1()}));
  EXPECT_FALSE(Form->TabSheet3->ExifDateCheckBox->isChecked());  // off on a first start
  Rename(folder);
  EXPECT_EQ(Status(), "Letzte Aktion =  Umbenennen von 0 Dateien");

  QTest::mouseClick(Form->TabSheet3->ExifDateCheckBox, Qt::LeftButton);
  Rename(folder);
  EXPECT_EQ(Status(), "Letzte Aktion =  Umbenennen von 2 Dateien");
  EXPECT_TRUE(fs::exists(folder + "2019-06-15 0001.JPG"));
  // The second picture of that day and counter is numbered.
  EXPECT_TRUE(fs::exists(folder + "2019-06-15 0001-1.JPG"));
  EXPECT_EQ(Form->ResultBar->AccountLabel->text(), "2 umbenannt, 0 übersprungen, 0 fehlgeschlagen");
  EXPECT_TRUE(Form->ErrorLog().empty());

  Form->close();
  EXPECT_NE(test::ReadWholeFile(Temp / "settings/pictrim.ini").find("\nExifDateCheckBox=1\n"),
            std::string::npos);
  Form = std::make_unique<TMainForm>();
  Form->FormCreate();
  EXPECT_TRUE(Form->TabSheet3->ExifDateCheckBox->isChecked());
}

TEST_F(RenamingTab, thePlannedNamesAreShownAndTheUserIsAskedOnceBeforeAnythingIsRenamed) {
  const std::string folder =
      MakeCameraFiles({"P1280001.JPG", "P1280001.MOV", "P1280002.JPG", "DSC01234.JPG"});
  EXPECT_FALSE(Form->TabSheet3->PreviewBox->isVisibleTo(Form.get()));
  EXPECT_FALSE(Form->TabSheet3->UndoRenameButton->isVisibleTo(Form.get()));
  Yes = false;
  WhileAsked = [&] {
    // The preview stands while the question is asked.
    EXPECT_TRUE(Form->TabSheet3->PreviewBox->isVisibleTo(Form.get()));
    EXPECT_EQ(Form->TabSheet3->PreviewList->toPlainText().toStdString(),
              "P1280001.JPG -> 2006-01-28 0001.JPG\nP1280001.MOV -> 2006-01-28 0001.MOV\n"
              "P1280002.JPG -> 2006-01-28 0002.JPG");
    EXPECT_EQ(Form->TabSheet3->PreviewAccount->text().toStdString(),
              "Probelauf: 3 umzubenennen, 1 übersprungen, 0 nicht umzubenennen");
  };
  Rename(folder);
  EXPECT_EQ(Questions, std::vector<std::string>{"3 Dateien umbenennen?"});
  // No: nothing renamed, no box, nothing to undo.
  EXPECT_TRUE(Boxes.empty());
  EXPECT_EQ(Status(), "Letzte Aktion =  Umbenennen von 0 Dateien");
  EXPECT_TRUE(fs::exists(folder + "P1280001.MOV"));
  EXPECT_FALSE(Form->TabSheet3->UndoRenameButton->isVisibleTo(Form.get()));

  Yes = true;
  WhileAsked = nullptr;
  Rename(folder);
  EXPECT_EQ(Questions.size(), 2u);
  EXPECT_EQ(Boxes.size(), 4u);
  EXPECT_EQ(Status(), "Letzte Aktion =  Umbenennen von 3 Dateien");
  EXPECT_TRUE(fs::exists(folder + "2006-01-28 0001.MOV"));
  EXPECT_TRUE(Form->TabSheet3->UndoRenameButton->isVisibleTo(Form.get()));
  EXPECT_EQ(Form->TabSheet3->UndoRenameButton->text(), "Umbenennung rückgängig");

  // A run with nothing to rename asks nothing; its boxes still come.
  Boxes.clear();
  Rename(folder);
  EXPECT_EQ(Questions.size(), 2u);
  EXPECT_EQ(Boxes.size(), 4u);
  EXPECT_EQ(Form->TabSheet3->PreviewList->toPlainText(), "");
  EXPECT_EQ(Form->TabSheet3->PreviewAccount->text().toStdString(),
            "Probelauf: 0 umzubenennen, 4 übersprungen, 0 nicht umzubenennen");
  // The last run that renamed can still be undone.
  EXPECT_TRUE(Form->TabSheet3->UndoRenameButton->isVisibleTo(Form.get()));

  PickLanguage("English");
  EXPECT_EQ(Form->TabSheet3->UndoRenameButton->text(), "Undo renaming");
  EXPECT_EQ(Form->TabSheet3->PreviewBox->title(), "Renaming preview");
  EXPECT_EQ(Form->TabSheet3->PreviewAccount->text().toStdString(),
            "0 would be renamed, 4 skipped, 0 would fail");
}

TEST_F(RenamingTab, theUndoButtonGivesTheNamesBackAndGoes) {
  const std::string folder = MakeCameraFiles({"P1280001.JPG", "P1280001.XMP", "P1280002.JPG"});
  Rename(folder);
  ASSERT_TRUE(fs::exists(folder + "2006-01-28 0001.XMP"));
  // Since the run another picture took the second file's old name.
  test::WriteTextFile(folder + "P1280002.JPG", "another picture");
  QTest::mouseClick(Form->TabSheet3->UndoRenameButton, Qt::LeftButton);
  EXPECT_EQ(Status(), "Letzte Aktion =  Umbenennung von 2 Dateien rückgängig gemacht");
  EXPECT_EQ(Form->ResultBar->AccountLabel->text(), "2 umbenannt, 0 übersprungen, 1 fehlgeschlagen");
  EXPECT_TRUE(fs::exists(folder + "P1280001.XMP"));
  EXPECT_TRUE(fs::exists(folder + "2006-01-28 0002.JPG"));
  ASSERT_EQ(Form->ErrorLog().size(), 1u);
  EXPECT_EQ(Form->ErrorLog()[0], "Datei " + folder +
                                     "2006-01-28 0002.JPG bekam ihren alten Namen nicht zurück: " +
                                     folder + "P1280002.JPG gibt es schon\r\n");
  EXPECT_TRUE(Form->ProgressWindow()->isVisible());
  // What is left can be undone once the way is free; then the button goes.
  EXPECT_TRUE(Form->TabSheet3->UndoRenameButton->isVisibleTo(Form.get()));
  fs::remove(folder + "P1280002.JPG");
  QTest::mouseClick(Form->TabSheet3->UndoRenameButton, Qt::LeftButton);
  EXPECT_EQ(Status(), "Letzte Aktion =  Umbenennung von 1 Dateien rückgängig gemacht");
  EXPECT_TRUE(fs::exists(folder + "P1280002.JPG"));
  EXPECT_FALSE(Form->TabSheet3->UndoRenameButton->isVisibleTo(Form.get()));
}

TEST_F(RenamingTab, aNameTakenWhileTheQuestionIsAskedLeavesTheGroupAsItWasAndSaysWhy) {
  const std::string folder = MakeCameraFiles({"P1280001.JPG", "P1280001.MOV", "P1280002.JPG"});
  WhileAsked = [&] { test::WriteTextFile(folder + "2006-01-28 0001.MOV", "another video"); };
  Rename(folder);
  EXPECT_EQ(Status(), "Letzte Aktion =  Umbenennen von 1 Dateien");
  EXPECT_EQ(Form->ResultBar->AccountLabel->text(), "1 umbenannt, 0 übersprungen, 2 fehlgeschlagen");
  EXPECT_TRUE(fs::exists(folder + "P1280001.JPG"));
  EXPECT_TRUE(fs::exists(folder + "P1280001.MOV"));
  ASSERT_EQ(Form->ErrorLog().size(), 2u);
  EXPECT_EQ(Form->ErrorLog()[1], "Datei " + folder + "P1280001.MOV wurde nicht umbenannt: " +
                                     folder + "2006-01-28 0001.MOV gibt es schon\r\n");
  EXPECT_TRUE(Form->ProgressWindow()->isVisible());
}

TEST(ClampedInteger, readsSignedDecimalsOfAnyLengthAndRefusesEverythingElse) {
  EXPECT_EQ(ClampedInteger("720", 32, 1920), 720);
  EXPECT_EQ(ClampedInteger("+40", 32, 1920), 40);
  EXPECT_EQ(ClampedInteger("-99999999999999999999", 5, 2048), 5);
  for (const char* text : {"", "-", "12a", " 12", "0x20", "1.5"})
    EXPECT_EQ(ClampedInteger(text, 32, 1920), std::nullopt) << text;
}

}  // namespace
}  // namespace pictrim
