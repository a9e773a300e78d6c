// The progress and error-log window: its two layouts and sizes, the lines of
// the error log shown once and kept until OK, and its refusal to close.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QGuiApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>

#include <sys/stat.h>

#include <climits>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "image/IsolatedDecode.h"
#include "tests/common/HostileJpegs.h"
#include "tests/common/TempDir.h"
#include "tests/common/TestPictures.h"
#include "ui/Progress.h"
#include "ui/ProgressPanel.h"
#include "util/Texts.h"

namespace pictrim {
namespace {

class ProgressWindow : public ::testing::Test {
 protected:
  void SetUp() override { LastFile.clear(); }
  void TearDown() override { LastFile.clear(); }

  void Progress(int64_t Number, int64_t Total) {
    Window.HandleNotification({WM_BATCH_PROGRESS, Number, Total, ""});
  }
  void File(const std::string& Path) { Window.HandleNotification({WM_BATCH_FILE, 0, 0, Path}); }
  QString Memo() const { return Window.ErrorLogMemo->toPlainText(); }

  void ExpectErrorLayout(int Width) {
    EXPECT_TRUE(Window.isVisible());
    // Outer sizes: the title bar and the frame are part of them.
    EXPECT_EQ(Window.frameGeometry().size(), QSize(Width, 211));
    EXPECT_TRUE(Window.OKbutton->isVisible());
    EXPECT_TRUE(Window.CopyButton->isVisible());
    // OK in the middle, copying at the left, both below the memo.
    const QRect ok = Window.OKbutton->geometry();
    EXPECT_LE(std::abs(ok.center().x() - Window.width() / 2), 2);
    EXPECT_LT(Window.CopyButton->geometry().right(), ok.left());
    EXPECT_TRUE(Window.ErrorLogMemo->isVisible());
    // The memo fills the width and ends above the buttons, which cover none of it.
    const QRect memo = Window.ErrorLogMemo->geometry();
    EXPECT_EQ(memo.topLeft(), QPoint(4, 4));
    EXPECT_EQ(memo.width(), Window.width() - 8);
    EXPECT_LT(memo.bottom(), ok.top());
    EXPECT_LT(memo.bottom(), Window.CopyButton->geometry().top());
    EXPECT_GE(memo.height(), 130);
  }

  TErrorLog Log;
  TProgressWin Window{Log};
};

TEST_F(ProgressWindow, anUnattendedBatchShowsItselfAndEndsInItsOwnErrorLayout) {
  EXPECT_TRUE(Window.isHidden());
  EXPECT_EQ(Window.windowTitle(), QString::fromUtf8("Fortschrittsanzeige"));

  File("/photos/a.jpg");
  Progress(1, 2);
  EXPECT_TRUE(Window.isVisible());
  EXPECT_EQ(Window.frameGeometry().width(), 353);
  EXPECT_FALSE(Window.ErrorLogMemo->isVisible());
  EXPECT_FALSE(Window.OKbutton->isVisible());
  EXPECT_EQ(LastFile, "/photos/a.jpg");

  AddErrorLogEntry("Fehler bei /photos/b.jpg", Log);
  AddErrorLogEntry("zwei\rZeilen", Log);
  Progress(2, 0);
  ExpectErrorLayout(553);
  EXPECT_EQ(Memo(), "Fehler bei /photos/b.jpg\nzwei\nZeilen");
}

TEST_F(ProgressWindow, theMainWindowsErrorLayoutIsWiderAndAJobWithoutLinesHidesTheWindow) {
  AddErrorLogEntry("Fehler", Log);
  Window.ShowErrorLayout(653);
  ExpectErrorLayout(653);

  TErrorLog cleanLog;
  TProgressWin clean(cleanLog);
  clean.HandleNotification({WM_BATCH_PROGRESS, 1, 1, ""});
  EXPECT_TRUE(clean.isVisible());
  clean.HandleNotification({WM_BATCH_PROGRESS, 1, 0, ""});
  EXPECT_TRUE(clean.isHidden());
}

TEST_F(ProgressWindow, okHidesEmptiesAndRestoresTheWidthKeepingTheHeight) {
  AddErrorLogEntry("Fehler", Log);
  Window.ShowErrorLayout(653);
  Window.OKbutton->click();
  EXPECT_TRUE(Window.isHidden());
  EXPECT_EQ(Window.frameGeometry().size(), QSize(353, 211));
  EXPECT_TRUE(Log.empty());
  EXPECT_TRUE(Memo().isEmpty());

  // The next batch shows the window at that size.
  Progress(1, 4);
  EXPECT_TRUE(Window.isVisible());
  EXPECT_EQ(Window.frameGeometry().size(), QSize(353, 211));
}

TEST_F(ProgressWindow, linesStayUntilOkAndAreShownOnceWhenALaterJobAddsItsOwn) {
  AddErrorLogEntry("erster Lauf", Log);
  Window.ShowErrorLayout(653);
  EXPECT_EQ(Memo(), "erster Lauf");

  // The second batch hides the lines while it runs and shows all of them at its end.
  Progress(1, 3);
  EXPECT_FALSE(Window.ErrorLogMemo->isVisible());
  AddErrorLogEntry("zweiter Lauf", Log);
  Progress(3, 0);
  ExpectErrorLayout(553);
  EXPECT_EQ(Memo(), "erster Lauf\nzweiter Lauf");
  EXPECT_EQ(Log.size(), 2u);

  // Showing the layout again repeats nothing.
  Window.ShowErrorLayout(653);
  EXPECT_EQ(Memo(), "erster Lauf\nzweiter Lauf");
}

TEST_F(ProgressWindow, okWhileAJobRunsKeepsTheLinesItDidNotShow) {
  AddErrorLogEntry("gezeigt", Log);
  Window.ShowErrorLayout(653);
  AddErrorLogEntry("noch nicht gezeigt", Log);
  Window.OKbuttonClick();
  EXPECT_EQ(Log, TErrorLog{"noch nicht gezeigt\r\n"});

  Window.ShowErrorLayout(653);
  EXPECT_EQ(Memo(), "noch nicht gezeigt");
}

TEST_F(ProgressWindow, ignoresStatusTextsAndOtherFilesAndOnlyHidesOnClose) {
  Window.HandleNotification({WM_BATCH_STATUS, 0, 0, "Letze Aktion = fertig"});
  Window.HandleNotification({WM_BATCH_FILE, 1, 0, "/photos/source.jpg"});
  EXPECT_TRUE(Window.isHidden());
  EXPECT_TRUE(LastFile.empty());

  EXPECT_FALSE(Window.windowFlags() & Qt::WindowCloseButtonHint);
  Window.show();
  EXPECT_FALSE(Window.close());
  EXPECT_TRUE(Window.isHidden());
  Progress(1, 1);
  EXPECT_TRUE(Window.isVisible());
}

// Mended: closed by its title bar the window kept the lines, so the next job
// showed them again, and Enter and Esc did nothing.
TEST_F(ProgressWindow, closingItEnterAndEscAllDismissTheLinesAsOkDoes) {
  Window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&Window));
  auto showLines = [&] {
    AddErrorLogEntry("EXCEPTION in ConvertPICsWholeTree - FBitmap.Load()", Log);
    Window.ShowErrorLayout(653);
    ASSERT_TRUE(Window.ShowsErrors());
  };
  auto expectDismissed = [&](const char* How) {
    EXPECT_TRUE(Window.isHidden()) << How;
    EXPECT_TRUE(Log.empty()) << How;
    EXPECT_TRUE(Memo().isEmpty()) << How;
    EXPECT_EQ(Window.frameGeometry().width(), 353) << How;
  };
  showLines();
  EXPECT_FALSE(Window.close());  // the window stays, hidden
  expectDismissed("close");
  for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape}) {
    showLines();
    QTest::keyClick(Window.ErrorLogMemo, key);
    expectDismissed("key");
  }
  showLines();
  QTest::keyClick(&Window, Qt::Key_Space);  // other keys leave the lines
  EXPECT_TRUE(Window.ShowsErrors());
  EXPECT_EQ(Log.size(), 1u);
}

// Mended: the memo did not wrap, so the reason at the end of a long path was
// cut off, and it kept its size when the window grew.
TEST_F(ProgressWindow, longLinesWrapTheMemoGrowsWithTheWindowAndCopyTakesTheLines) {
  const std::string line = "File /photos/" + std::string(200, 'x') + "/IMG_0001.JPG was not " +
                           "renamed: /photos/IMG_0002.JPG exists";
  AddErrorLogEntry(line, Log);
  AddErrorLogEntry("zwei\rZeilen", Log);
  Window.ShowErrorLayout(653);
  QApplication::processEvents();
  QPlainTextEdit* memo = Window.ErrorLogMemo;
  EXPECT_FALSE(memo->horizontalScrollBar()->isVisible());
  ASSERT_NE(memo->document()->firstBlock().layout(), nullptr);
  EXPECT_GE(memo->document()->firstBlock().layout()->lineCount(), 3);
  const QSize before = memo->size();
  Window.resize(Window.size() + QSize(200, 100));
  QApplication::processEvents();
  EXPECT_EQ(memo->size(), before + QSize(200, 100));

  Window.CopyButton->click();
  EXPECT_EQ(QGuiApplication::clipboard()->text().toStdString(), line + "\nzwei\nZeilen");
  EXPECT_EQ(Window.CopyButton->text(), "Kopieren");
  EXPECT_TRUE(Window.ShowsErrors());  // copying leaves the lines
  UseBuiltInTexts(TLanguage::English);
  Window.ApplyTexts();
  EXPECT_EQ(Window.CopyButton->text(), "Copy");
  UseBuiltInTexts(TLanguage::German);
}

TEST_F(ProgressWindow, speaksTheLanguageInUse) {
  UseBuiltInTexts(TLanguage::English);
  Window.ApplyTexts();
  File("/photos/a.jpg");
  Progress(3, 12);
  EXPECT_EQ(Window.windowTitle(), "Progress");
  EXPECT_EQ(Window.ProgressLabel->text(), "Progress:  3 of  12  files");
  UseBuiltInTexts(TLanguage::German);
  Window.ApplyTexts();
  EXPECT_EQ(Window.windowTitle(), "Fortschrittsanzeige");
}

TEST(TimeLeft, isTheFilesLeftAtThePaceSinceTheFirstOnceTwoMoreHaveBeenWritten) {
  EXPECT_EQ(SecondsLeft(10, 1, 10), std::nullopt);
  EXPECT_EQ(SecondsLeft(10, 2, 10), std::nullopt);  // one pace is no pace yet
  EXPECT_EQ(SecondsLeft(10, 3, 10), 35);            // 5 s a file, 7 to go
  EXPECT_EQ(SecondsLeft(10, 3, 4), 5);
  EXPECT_EQ(SecondsLeft(10, 4, 4), std::nullopt);   // nothing left
  EXPECT_EQ(SecondsLeft(10, 5, 4), std::nullopt);
  EXPECT_EQ(SecondsLeft(0, 3, 10), std::nullopt);   // the clock has not moved
  EXPECT_EQ(SecondsLeft(-1, 3, 10), std::nullopt);
  EXPECT_EQ(SecondsLeft(0.1, 3, 10), 1);            // a started second counts
  EXPECT_EQ(SecondsLeft(1e9, 3, INT64_MAX), 1000000000000);  // capped, no overflow

  EXPECT_EQ(DurationText(0), "0 s");
  EXPECT_EQ(DurationText(59), "59 s");
  EXPECT_EQ(DurationText(60), "1 min 0 s");
  EXPECT_EQ(DurationText(3599), "59 min 59 s");
  EXPECT_EQ(DurationText(3600), "1 h 0 min");
  EXPECT_EQ(DurationText(7505), "2 h 5 min");
}

TEST(TimeLeft, showsOnThePanelFromTheThirdFileAndGoesAtTheEnd) {
  TProgressPanel panel;
  double now = 100;
  panel.SetClock([&now] { return now; });
  panel.PreViewCheckBox->setChecked(false);
  std::vector<std::string> shown;
  for (int64_t done = 1; done <= 4; ++done, now += 2) {
    panel.ShowProgress(done, 10, "/photos/a.jpg");
    shown.push_back(panel.TimeLeftLabel->text().toStdString());
  }
  // 2 s a file since the first: 7 files left after the third, 6 after the fourth.
  EXPECT_EQ(shown, (std::vector<std::string>{"", "", "noch etwa 14 s", "noch etwa 12 s"}));
  panel.ShowProgress(5, 0, "/photos/a.jpg");
  EXPECT_EQ(panel.TimeLeftLabel->text(), "");
  // A new job measures from its own first file.
  now = 1000;
  panel.ShowProgress(1, 3, "/photos/a.jpg");
  now = 1001;
  panel.ShowProgress(2, 3, "/photos/a.jpg");
  EXPECT_EQ(panel.TimeLeftLabel->text(), "");
}

// The preview reads the copies the batch wrote; a copy can be its source
// byte for byte (the file-size job's copy of a source already small
// enough), so a hostile JPEG may reach it. It gets an empty slot, within the
// picture limits and without waiting.
TEST(PreviewThumbnail, aHostileJpegGivesAnEmptySlotWithinThePictureLimits) {
  test::TTempDir dir;
  test::WriteTextFile(dir / "frame.jpg", test::ClaimingJpeg(15000, 15000, 1));
  test::WriteTextFile(dir / "scans.jpg", test::ClaimingJpeg(4000, 4000, 600, true));
  ASSERT_EQ(::mkfifo((dir / "pipe.jpg").c_str(), 0644), 0);
  test::WriteJpeg(dir / "good.jpg", 640, 480);
  for (const char* name : {"frame.jpg", "scans.jpg", "pipe.jpg"}) {
    EXPECT_TRUE(PreviewThumbnail(dir / name).isNull()) << name;
  }
  EXPECT_EQ(PreviewThumbnail(dir / "good.jpg").size(),
            QSize(TProgressPanel::SlotSize, TProgressPanel::SlotSize));
  EXPECT_EQ(PictureBudget().Used(), 0u);
}

}  // namespace
}  // namespace pictrim
