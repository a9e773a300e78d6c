#include "ui/Progress.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMoveEvent>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QShowEvent>
#include <QString>
#include <QTimer>

#include <algorithm>

#include "ui/ElidingLabel.h"
#include "ui/WindowHandlers.h"
#include "util/Texts.h"

namespace pictrim {
namespace {

constexpr int DesignHeight = 149;
constexpr int ErrorMemoMargin = 4;
constexpr int OkTop = 150;
constexpr int OkWidth = 51;
constexpr int OkHeight = 17;
constexpr int MemoToOkGap = 6;
constexpr int FrameSettleMs = 300;

// The memo fills the window above the OK button. Its nominal height (the
// window's height less 44) would reach below the button's top, where the
// button would cover the last visible lines, so it ends above the button.
int ErrorMemoHeight() {
  return std::min(TProgressWin::ErrorHeight - 44, OkTop - MemoToOkGap - ErrorMemoMargin);
}

}  // namespace

QString ProgressText(int64_t Done, int64_t Total) {
  return QString::fromStdString(
      Text(TTextId::ProgressCount, {std::to_string(Done), std::to_string(Total)}));
}

std::string ErrorLineForDisplay(const std::string& Line) {
  std::string text = Line;
  if (text.ends_with("\r\n")) {
    text.resize(text.size() - 2);
  } else if (text.ends_with('\n') || text.ends_with('\r')) {
    text.pop_back();
  }
  return MessageLines(text);
}

TProgressWin::TProgressWin(TErrorLog& ErrorLog, QWidget* Parent)
    : QWidget(Parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      ErrorLog_(ErrorLog) {
  ApplyTexts();
  ResizeOuter(ProgressWidth, DesignHeight);

  ErrorLogMemo = new QPlainTextEdit(this);
  ErrorLogMemo->setObjectName("ErrorLogMemo");
  ErrorLogMemo->setReadOnly(true);
  ErrorLogMemo->setLineWrapMode(QPlainTextEdit::NoWrap);
  ErrorLogMemo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  ErrorLogMemo->setGeometry(8, 8, 329, 73);

  OKbutton = new QPushButton("OK", this);
  OKbutton->setObjectName("OKbutton");
  OKbutton->setGeometry(144, 88, OkWidth, OkHeight);
  OKbutton->hide();
  connect(OKbutton, &QPushButton::clicked, this, [this] { OKbuttonClick(); });

  ProgressLabel = new QLabel(this);
  ProgressLabel->setObjectName("ProgressLabel");
  ProgressLabel->setGeometry(8, 8, 329, 16);
  ProgressBar = new QProgressBar(this);
  ProgressBar->setObjectName("ProgressBar");
  ProgressBar->setTextVisible(false);
  ProgressBar->setGeometry(8, 28, 329, 16);
  FileNameLabel = new TElidingLabel(QString(), this);
  FileNameLabel->setObjectName("FileNameLabel");
  FileNameLabel->setGeometry(8, 50, 329, 16);
  ShowProgressControls(false);
}

void TProgressWin::ApplyTexts() {
  setWindowTitle(QString::fromStdString(Text(TTextId::ProgressWindowCaption)));
}

bool TProgressWin::ShowsErrors() const {
  return !isHidden() && !OKbutton->isHidden();
}

void TProgressWin::ShowProgressControls(bool Visible) {
  ProgressLabel->setVisible(Visible);
  ProgressBar->setVisible(Visible);
  FileNameLabel->setVisible(Visible);
}

void TProgressWin::HandleNotification(const TBatchMessage& Message) {
  switch (Message.Message) {
    case WM_BATCH_PROGRESS:
      HandleProgress(Message.WParam, Message.LParam);
      break;
    case WM_BATCH_FILE:
      // Only the produced file (wParam 0) is remembered; this window shows no name.
      if (Message.WParam == 0) LastFile = Message.Text;
      break;
    default:
      break;  // status texts and cancel requests are not for this window
  }
}

void TProgressWin::HandleProgress(int64_t Number, int64_t Total) {
  if (Number == 1) {  // a job's first file
    OKbutton->hide();
    ErrorLogMemo->hide();
    ShowProgressControls(true);
    show();
    ResizeOuter(ProgressWidth, OuterSize_.height());
  }
  if (Total > 0) {
    ProgressBar->setRange(0, static_cast<int>(std::min<int64_t>(Total, INT32_MAX)));
    ProgressBar->setValue(static_cast<int>(std::min(Number, Total)));
    ProgressLabel->setText(ProgressText(Number, Total));
  }
  if (!LastFile.empty()) add(Number, LastFile);
  if (Total == 0) {  // the job's final notification
    if (!ErrorLog_.empty()) {
      ShowErrorLayout(OwnErrorWidth, OwnErrorOkLeft);
    } else {
      hide();
    }
  }
}

void TProgressWin::add(int64_t, const std::string& Path) {
  FileNameLabel->SetText(QString::fromStdString(Path));
  raise();
}

void TProgressWin::ShowErrorLayout(int Width, int OkLeft) {
  if (isHidden()) show();
  ShowProgressControls(false);
  ResizeOuter(Width, ErrorHeight);
  OKbutton->setGeometry(OkLeft, OkTop, OkWidth, OkHeight);
  OKbutton->show();
  ErrorLogMemo->setGeometry(ErrorMemoMargin, ErrorMemoMargin, Width - 18, ErrorMemoHeight());
  ErrorLogMemo->show();
  AppendUnshownLines();
  // Enter or Esc dismisses the lines at once.
  activateWindow();
  OKbutton->setFocus();
}

void TProgressWin::AppendUnshownLines() {
  // The memo mirrors the log: a log that was emptied elsewhere starts it afresh.
  if (ShownLines_ > ErrorLog_.size()) {
    ErrorLogMemo->clear();
    ShownLines_ = 0;
  }
  for (; ShownLines_ < ErrorLog_.size(); ++ShownLines_) {
    ErrorLogMemo->appendPlainText(
        QString::fromStdString(ErrorLineForDisplay(ErrorLog_[ShownLines_])));
  }
  QScrollBar* bar = ErrorLogMemo->verticalScrollBar();
  bar->setValue(bar->maximum());
}

void TProgressWin::OKbuttonClick() {
  hide();
  ErrorLogMemo->clear();
  // Only the lines that were shown go; lines a job added since then wait for
  // the next error layout.
  const size_t shown = std::min(ShownLines_, ErrorLog_.size());
  ErrorLog_.erase(ErrorLog_.begin(), ErrorLog_.begin() + static_cast<std::ptrdiff_t>(shown));
  ShownLines_ = 0;
  ResizeOuter(ProgressWidth, OuterSize_.height());
}

void TProgressWin::ResizeOuter(int Width, int Height) {
  OuterSize_ = QSize(Width, Height);
  FrameExtra_ = frameGeometry().size() - size();
  resize(OuterSize_ - FrameExtra_);
}

void TProgressWin::closeEvent(QCloseEvent* Event) {
  // The window is never closed, only hidden; closed while it shows the error
  // lines it does what OK does, so the next job does not show them again.
  Event->ignore();
  if (ShowsErrors())
    OKbuttonClick();
  else
    hide();
}

void TProgressWin::keyPressEvent(QKeyEvent* Event) {
  const int key = Event->key();
  if (ShowsErrors() && (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Escape)) {
    Event->accept();
    OKbuttonClick();
    return;
  }
  QWidget::keyPressEvent(Event);
}

void TProgressWin::moveEvent(QMoveEvent* Event) {
  QWidget::moveEvent(Event);
  FitOuterSize();
}

void TProgressWin::FitOuterSize() {
  // The frame has become known (or changed): the outer size stays as asked.
  const QSize extra = frameGeometry().size() - size();
  if (extra != FrameExtra_) {
    FrameExtra_ = extra;
    resize(OuterSize_ - extra);
  }
}

void TProgressWin::showEvent(QShowEvent* Event) {
  QWidget::showEvent(Event);
  // A desktop frames a window some moments after it shows, and does not
  // always move it on doing so.
  QTimer::singleShot(FrameSettleMs, this, [this] { FitOuterSize(); });
  if (Centred_) return;
  Centred_ = true;
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    QRect frame = frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    move(frame.topLeft());
  }
}

}  // namespace pictrim
