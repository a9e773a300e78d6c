// The progress and error-log window. It is the notification target of the
// unattended batches, which show it while they run, and it is where the lines
// of the error log are shown when a job ends, whichever window followed the
// job; its OK button dismisses them and empties the log, its copy button
// puts them on the clipboard. The lines wrap, so that the reason at the end
// of a long path stays in sight, and the memo grows with the window. It is
// created once, stays hidden until needed and never closes: a close request
// hides it. Each time it shows it is centred on its parent (the main window)
// or, without one, on the screen, never larger than the screen has room for.
#pragma once

#include <QString>
#include <QWidget>

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/BatchTarget.h"
#include "ui/ElidingLabel.h"
#include "util/ErrorLog.h"

class QCloseEvent;
class QKeyEvent;
class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QShowEvent;

namespace pictrim {

class TProgressWin : public QWidget {
 public:
  // The widths of the window: while a batch runs, and in its two error layouts
  // (shown by the main window, shown by this window's own progress handler).
  // Widths and heights are outer sizes, title bar and frame included.
  static constexpr int ProgressWidth = 353;
  static constexpr int MainErrorWidth = 653;
  static constexpr int OwnErrorWidth = 553;
  static constexpr int ErrorHeight = 211;

  // ErrorLog belongs to the main window and must outlive this window; it is
  // read and emptied here, on the GUI thread only.
  explicit TProgressWin(TErrorLog& ErrorLog, QWidget* Parent = nullptr);

  // A notification of a batch that reports to this window. Handles
  // WM_BATCH_PROGRESS and WM_BATCH_FILE; status texts and anything else are
  // ignored. Must be called on the GUI thread.
  void HandleNotification(const TBatchMessage& Message);

  // Called for each progress notification with the file number and the last
  // produced file: brings the window to the front.
  void add(int64_t Number, const std::string& Path);

  // Shows the window Width wide and ErrorHeight high (as far as the screen
  // has room) with the memo filling it above the copy and OK buttons, and
  // puts the log's lines into the memo. Lines already shown stay shown once.
  void ShowErrorLayout(int Width);

  // The OK button, and Enter, Esc or a close request while the error lines
  // show: hides the window, empties the memo, removes the lines it showed
  // from the log and sets the width back to ProgressWidth.
  void OKbuttonClick();
  // True while the window shows the error lines.
  bool ShowsErrors() const;
  // The caption and button texts of the language in use.
  void ApplyTexts();
  // Puts the lines the memo shows on the clipboard, one a line.
  void CopyButtonClick();
  // The lines the memo shows, taken again from the log (whose lines may have
  // been made anew in another language).
  void ShowLinesAnew();

  // How many of the log's first lines the memo shows.
  size_t ShownLineCount() const { return ShownLines_; }

  QPlainTextEdit* ErrorLogMemo;
  QPushButton* OKbutton;
  QPushButton* CopyButton;
  // While a batch runs: the count and the last produced file, so that a long
  // unattended run shows that it is getting on.
  QLabel* ProgressLabel;
  TElidingLabel* FileNameLabel;
  QProgressBar* ProgressBar;

 protected:
  void closeEvent(QCloseEvent* Event) override;
  void keyPressEvent(QKeyEvent* Event) override;
  void showEvent(QShowEvent* Event) override;
  void moveEvent(QMoveEvent* Event) override;

 private:
  void HandleProgress(int64_t Number, int64_t Total);
  void ShowProgressControls(bool Visible);
  void ShowErrorControls(bool Visible);
  void AppendUnshownLines();
  // Gives the window this outer size, as far as the screen has room for it;
  // the client area is what the frame leaves.
  void ResizeOuter(int Width, int Height);
  // Keeps the outer size when the frame around the client area changes.
  void FitOuterSize();

  // The outer size last asked for, and the frame's share of it as last seen:
  // a desktop reports the frame only some moments after the window shows.
  QSize OuterSize_;
  QSize FrameExtra_;

  TErrorLog& ErrorLog_;
  size_t ShownLines_ = 0;  // the first ShownLines_ lines of ErrorLog_ are in the memo
};

// "Fortschritt:  n von  t  Dateien" in the language in use, the count both
// progress displays show.
QString ProgressText(int64_t Done, int64_t Total);

// The text of one error-log line as the memo shows it: without its closing
// line break, inner CR LF and lone CR turned into "\n".
std::string ErrorLineForDisplay(const std::string& Line);

}  // namespace pictrim
