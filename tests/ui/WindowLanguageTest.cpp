// The windows in the language chosen: no German in the English windows,
// their captions, hints, messages and status texts, and Qt's own buttons;
// German kept for what a hand-made language lacks; and every caption of
// every window whole in both built-in languages.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTest>

#include <filesystem>
#include <string>
#include <vector>

#include "engine/JobAccount.h"
#include "rename/FileRename.h"
#include "tests/common/Languages.h"
#include "tests/common/TestPictures.h"
#include "tests/ui/CaptionCheck.h"
#include "tests/ui/MainFormFixture.h"
#include "ui/ElidingLabel.h"
#include "ui/FolderAndOptions.h"
#include "ui/JobResultBar.h"
#include "ui/Progress.h"
#include "ui/ProgressPanel.h"
#include "ui/RadioGroup.h"
#include "ui/RenameTab.h"
#include "ui/ResizeTab.h"
#include "ui/SelectPathWindow.h"
#include "util/Texts.h"
#include "widgets/ColorButton.h"

namespace fs = std::filesystem;

namespace pictrim {
namespace {

using test::CutCaptions;
using test::GermanTexts;
using test::TextsOfTheOtherLanguage;

using TStrings = std::vector<std::string>;

// Every page the main window shows in turn: the three tabs, tabs 1 and 2 in
// both folder modes, and the progress panel with long counts and the time left.
template <typename TCheck>
void ForEveryPage(TMainForm& Form, TCheck Check) {
  for (int mode : {1, 2}) {
    Form.SharedArea->PathRadioGroup->SetItemIndex(mode);
    for (int tab = 0; tab < Form.PageControl1->count(); ++tab) {
      Form.PageControl1->setCurrentIndex(tab);
      QApplication::processEvents();
      Check("tab " + std::to_string(tab + 1) + ", folder mode " + std::to_string(mode));
    }
  }
  Form.SharedArea->PathRadioGroup->SetItemIndex(1);
  Form.PageControl1->setCurrentIndex(0);
  double now = 0;
  Form.ProgressPanel->SetClock([&now] { return now; });
  for (int64_t done = 1; done <= 3; ++done, now += 4000)
    Form.ProgressPanel->ShowProgress(done, 99999, "/photos/IMG_0001.jpg");
  Form.MainStack->setCurrentWidget(Form.ProgressPanel);
  QApplication::processEvents();
  Check("progress panel");
  Form.MainStack->setCurrentWidget(Form.PageControl1);
}

TEST_F(MainForm, theEnglishWindowShowsNoGermanOnAnyPageNorInItsHints) {
  PickLanguage("English");
  ForEveryPage(*Form, [&](const std::string& Page) {
    EXPECT_EQ(GermanTexts(Form.get()), TStrings{}) << Page;
  });
  EXPECT_EQ(Form->SharedArea->PictureText->text(), "Copyright Jane Doe");
  EXPECT_EQ(GermanTexts(Form->ProgressWindow()), TStrings{});
  TPathWindow paths(Form->SharedArea->PathComboBox, Form.get());
  EXPECT_EQ(GermanTexts(&paths), TStrings{});

  // The check sees German where there is some.
  PickLanguage("German");
  EXPECT_GT(GermanTexts(Form.get()).size(), 10u);
  EXPECT_EQ(Form->SharedArea->PictureText->text(), "Copyright Max Beispiel");
}

TEST_F(MainForm, aJobInEnglishReportsInEnglishFromTheFirstFileToTheEnd) {
  PickLanguage("English");
  const std::string source = MakeTree("src", 4);
  TStrings german;
  std::string count;
  Form->SetNotificationObserver([&](const TBatchMessage& Message) {
    if (Message.Message != WM_BATCH_PROGRESS || Message.WParam != 3 || Message.LParam == 0) return;
    count = Form->ProgressPanel->ProgressLabel->text().toStdString();
    german = GermanTexts(Form->ProgressPanel);
  });
  ChooseFolder(source);
  EXPECT_EQ(Status(), "Last action = folder chosen");
  Execute(Form->TabSheet1->ResizeButton1);
  EXPECT_EQ(count, "Progress:  3 of  4  files");
  EXPECT_EQ(german, TStrings{});
  EXPECT_EQ(Status(), "Last action = all files in folder " + source + " resized");
  EXPECT_EQ(GermanTexts(Form->ResultBar), TStrings{});
  EXPECT_EQ(Form->ResultBar->AccountLabel->text(), "4 written, 0 skipped, 0 failed");
  EXPECT_FALSE(Form->ResultBar->ProblemIcon->isVisible());  // nothing failed, nothing damaged

  TypeInto(Form->TabSheet1->SizeEdit1, "abc");
  ChooseFolder(source);
  QTest::mouseClick(Form->TabSheet1->ResizeButton1, Qt::LeftButton);
  EXPECT_EQ(Messages, TStrings{"Please enter a number instead of abc"});
}

// Mended: after a job the account strip, its hint and the status bar kept the
// language the job ended in, and so did the error window's lines and buttons.
TEST_F(MainForm, aSwitchAfterAJobLeavesNoTextOfTheOtherLanguage) {
  const std::string source = MakeTree("src", 2);
  test::WriteJpeg(source + "cut.jpg", 640, 480);
  fs::resize_file(source + "cut.jpg", fs::file_size(source + "cut.jpg") / 2);  // damaged
  test::WriteTextFile(source + "broken.png", "no picture");  // no copy, the loader's line
  struct TSwitch {
    const char* From;
    TLanguage FromTexts;
    const char* To;
    TLanguage ToTexts;
  };
  for (const TSwitch& change :
       {TSwitch{"English", TLanguage::English, "German", TLanguage::German},
        TSwitch{"German", TLanguage::German, "English", TLanguage::English}}) {
    PickLanguage(change.From);
    Form->SharedArea->OverwriteCheckBox->setChecked(true);
    ChooseFolder(source);
    Execute(Form->TabSheet1->ResizeButton1);
    TProgressWin* errors = Form->ProgressWindow();
    ASSERT_TRUE(errors->ShowsErrors());
    ASSERT_EQ(Form->ErrorLog().size(), 2u);
    EXPECT_EQ(TextsOfTheOtherLanguage(Form.get(), change.FromTexts), TStrings{}) << change.From;

    PickLanguage(change.To);
    EXPECT_EQ(TextsOfTheOtherLanguage(Form.get(), change.ToTexts), TStrings{}) << change.To;
    EXPECT_EQ(TextsOfTheOtherLanguage(errors, change.ToTexts), TStrings{}) << change.To;
    // What the strip, its hint and the status bar show is what the new
    // language makes of the job, and the window's lines are the new language's.
    const TJobAccount account{.Written = 3, .Damaged = 1, .Failed = 1};
    EXPECT_EQ(Form->ResultBar->AccountLabel->text().toStdString(), AccountSummaryInSight(account));
    EXPECT_TRUE(Form->ResultBar->ProblemIcon->isVisible());
    EXPECT_EQ(Status(), Text(TTextId::AllResizedStatus, {source}));
    const std::string damaged = DamagedSourceLine(source + "cut.jpg", CorruptJpegDamage());
    EXPECT_EQ(Form->ErrorLog()[1], damaged + "\r\n");
    EXPECT_EQ(errors->CopyButton->text().toStdString(), Text(TTextId::CopyLinesCaption));
    EXPECT_TRUE(errors->ErrorLogMemo->toPlainText().endsWith(QString::fromStdString(damaged)))
        << errors->ErrorLogMemo->toPlainText().toStdString();
    // The check finds the other language where it is.
    EXPECT_FALSE(TextsOfTheOtherLanguage(Form.get(), change.FromTexts).empty());
    errors->OKbuttonClick();
  }
}

TEST_F(MainForm, qtsOwnButtonsAndDialogsFollowTheLanguageChosen) {
  auto cancel = [] {
    QDialogButtonBox box(QDialogButtonBox::Cancel);
    return box.button(QDialogButtonBox::Cancel)->text().remove(QLatin1Char('&'));
  };
  PickLanguage("German");
  EXPECT_EQ(cancel(), "Abbrechen");
  PickLanguage("English");
  EXPECT_EQ(cancel(), "Cancel");
  PickLanguage("German");
  EXPECT_EQ(cancel(), "Abbrechen");
}

TEST_F(MainForm, aHandMadeLanguageWithoutTheNewKeysKeepsGermanForThem) {
  test::WriteTextFile(Temp / "settings/LANGUAGE_Aaa.ini",
                      "[MainForm]\nPages[0].Caption=Taille\nRadioGroup1.Caption=Bord\n");
  Restart();
  PickLanguage("English");
  PickLanguage("Aaa");
  EXPECT_EQ(Form->PageControl1->tabText(0), "Taille");
  EXPECT_EQ(Form->PageControl1->tabText(1), "");  // an original caption it lacks is empty
  EXPECT_EQ(Form->TabSheet1->RadioGroup4->title(), "maximale ...");
  EXPECT_EQ(Form->SharedArea->CheckBoxTop->text(), "Text oben");
  EXPECT_EQ(Form->ProgressPanel->AbbrechenBitBtn->text(), "abbrechen");
  EXPECT_EQ(Form->ProgressWindow()->windowTitle(), "Fortschrittsanzeige");
}

TEST_F(MainForm, theLanguageBoxStaysPlainInTheBoldSettingsGroupOfTheRenamingTab) {
  QComboBox* box = Form->SharedArea->LanguageComboBox1;
  Form->PageControl1->setCurrentIndex(2);
  ASSERT_EQ(box->parentWidget(), Form->TabSheet3->GroupBox5);
  EXPECT_TRUE(Form->TabSheet3->GroupBox5->font().bold());
  EXPECT_FALSE(box->font().bold());
  Form->PageControl1->setCurrentIndex(0);
  EXPECT_EQ(box->parentWidget(), Form->SharedArea->PathRadioGroup);
  EXPECT_FALSE(box->font().bold());
}

TEST_F(MainForm, everyCaptionOfEveryWindowIsWholeInBothBuiltInLanguages) {
  for (const char* language : {"German", "English"}) {
    PickLanguage(language);
    ForEveryPage(*Form, [&](const std::string& Page) {
      EXPECT_EQ(CutCaptions(Form.get()), TStrings{}) << language << ", " << Page;
    });
    // The account is never shortened: the counts of a large job, resized
    // with damaged sources or renamed, are whole, wrapped when they must be.
    const auto accountIsWhole = [&] {
      const QLabel* label = Form->ResultBar->AccountLabel;
      const QRect room = label->contentsRect();
      const QRect used = label->fontMetrics().boundingRect(room, Qt::TextWordWrap, label->text());
      return used.width() <= room.width() && used.height() <= room.height();
    };
    const TJobAccount large{.Written = 99999, .Damaged = 99999, .Existing = 99999, .Failed = 99999};
    Form->ResultBar->ShowResult(
        TJobEnd{[&] {
                  std::vector<std::string> lines = AccountLines(large, "");
                  lines.back() = AccountSummaryInSight(large);
                  return lines;
                },
                large.Failed, large.Damaged},
        Temp.Path());
    QApplication::processEvents();
    EXPECT_EQ(CutCaptions(Form->ResultBar), TStrings{}) << language;
    EXPECT_TRUE(accountIsWhole()) << language << ": "
                                  << Form->ResultBar->AccountLabel->text().toStdString();
    Form->ResultBar->ShowResult({RenameAccountText({99999, 99999, 99999}, false)}, Temp.Path());
    test::SettleLayouts();
    EXPECT_TRUE(accountIsWhole()) << language << ": "
                                  << Form->ResultBar->AccountLabel->text().toStdString();

    TProgressWin* progress = Form->ProgressWindow();
    LastFile = "/photos/IMG_0001.jpg";
    progress->HandleNotification({WM_BATCH_PROGRESS, 1, 99999, ""});
    progress->HandleNotification({WM_BATCH_PROGRESS, 99999, 99999, ""});
    EXPECT_EQ(CutCaptions(progress), TStrings{}) << language << ", progress window";
    progress->ShowErrorLayout(TProgressWin::MainErrorWidth);
    EXPECT_EQ(CutCaptions(progress), TStrings{}) << language << ", error layout";
    progress->OKbuttonClick();

    TPathWindow paths(Form->SharedArea->PathComboBox, Form.get());
    paths.show();
    QApplication::processEvents();
    EXPECT_EQ(CutCaptions(&paths), TStrings{}) << language << ", path list window";
  }
}

// The check finds what it looks for: a caption made too long for its button.
TEST_F(MainForm, theCaptionCheckFindsACutCaption) {
  Form->SharedArea->PathButton->setText(
      "A caption much longer than any folder button could ever show");
  const TStrings cut = CutCaptions(Form.get());
  ASSERT_EQ(cut.size(), 1u);
  EXPECT_EQ(cut[0].rfind("PathButton: A caption much longer", 0), 0u) << cut[0];
}

}  // namespace
}  // namespace pictrim
