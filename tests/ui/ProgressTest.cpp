// The progress and error-log window: its two layouts and sizes, the lines of
// the error log shown once and kept until OK, and its refusal to close.
#include <gtest/gtest.h>

#include <QPlainTextEdit>
#include <QPushButton>

#include "ui/Progress.h"

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

  void ExpectErrorLayout(int Width, int OkLeft) {
    EXPECT_TRUE(Window.isVisible());
    // Outer sizes: the title bar and the frame are part of them.
    EXPECT_EQ(Window.frameGeometry().size(), QSize(Width, 211));
    EXPECT_TRUE(Window.OKbutton->isVisible());
    EXPECT_EQ(Window.OKbutton->pos(), QPoint(OkLeft, 150));
    EXPECT_TRUE(Window.ErrorLogMemo->isVisible());
    // The memo fills the width and ends above the button, which covers none of it.
    const QRect memo = Window.ErrorLogMemo->geometry();
    EXPECT_EQ(memo.topLeft(), QPoint(4, 4));
    EXPECT_EQ(memo.width(), Width - 18);
    EXPECT_LT(memo.bottom(), Window.OKbutton->geometry().top());
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
  ExpectErrorLayout(553, 250);
  EXPECT_EQ(Memo(), "Fehler bei /photos/b.jpg\nzwei\nZeilen");
}

TEST_F(ProgressWindow, theMainWindowsErrorLayoutIsWiderAndAJobWithoutLinesHidesTheWindow) {
  AddErrorLogEntry("Fehler", Log);
  Window.ShowErrorLayout(653, 300);
  ExpectErrorLayout(653, 300);

  TErrorLog cleanLog;
  TProgressWin clean(cleanLog);
  clean.HandleNotification({WM_BATCH_PROGRESS, 1, 1, ""});
  EXPECT_TRUE(clean.isVisible());
  clean.HandleNotification({WM_BATCH_PROGRESS, 1, 0, ""});
  EXPECT_TRUE(clean.isHidden());
}

TEST_F(ProgressWindow, okHidesEmptiesAndRestoresTheWidthKeepingTheHeight) {
  AddErrorLogEntry("Fehler", Log);
  Window.ShowErrorLayout(653, 300);
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
  Window.ShowErrorLayout(653, 300);
  EXPECT_EQ(Memo(), "erster Lauf");

  // The second batch hides the lines while it runs and shows all of them at its end.
  Progress(1, 3);
  EXPECT_FALSE(Window.ErrorLogMemo->isVisible());
  AddErrorLogEntry("zweiter Lauf", Log);
  Progress(3, 0);
  ExpectErrorLayout(553, 250);
  EXPECT_EQ(Memo(), "erster Lauf\nzweiter Lauf");
  EXPECT_EQ(Log.size(), 2u);

  // Showing the layout again repeats nothing.
  Window.ShowErrorLayout(653, 300);
  EXPECT_EQ(Memo(), "erster Lauf\nzweiter Lauf");
}

TEST_F(ProgressWindow, okWhileAJobRunsKeepsTheLinesItDidNotShow) {
  AddErrorLogEntry("gezeigt", Log);
  Window.ShowErrorLayout(653, 300);
  AddErrorLogEntry("noch nicht gezeigt", Log);
  Window.OKbuttonClick();
  EXPECT_EQ(Log, TErrorLog{"noch nicht gezeigt\r\n"});

  Window.ShowErrorLayout(653, 300);
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

}  // namespace
}  // namespace pictrim
