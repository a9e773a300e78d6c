#include "ui/Progress.h"

#include <QClipboard>
#include <QCloseEvent>
#include <QGridLayout>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMoveEvent>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QShowEvent>
#include <QString>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

#include "ui/ElidingLabel.h"
#include "ui/ScreenFit.h"
#include "ui/WindowHandlers.h"
#include "util/Texts.h"

namespace pictrim {
namespace {

constexpr int DesignHeight = 149;
constexpr int Margin = 4;
constexpr int OkWidth = 51;
constexpr int FrameSettleMs = 300;

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
  ProgressLabel = new QLabel;
  ProgressLabel->setObjectName("ProgressLabel");
  ProgressBar = new QProgressBar;
  ProgressBar->setObjectName("ProgressBar");
  ProgressBar->setTextVisible(false);
  FileNameLabel = new TElidingLabel(QString());
  FileNameLabel->setObjectName("FileNameLabel");

  // Long lines wrap, at a blank where there is one and inside a path where
  // there is none, so the reason at a line's end is always in sight.
  ErrorLogMemo = new QPlainTextEdit;
  ErrorLogMemo->setObjectName("ErrorLogMemo");
  ErrorLogMemo->setReadOnly(true);
  ErrorLogMemo->setLineWrapMode(QPlainTextEdit::WidgetWidth);
  ErrorLogMemo->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
  ErrorLogMemo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  ErrorLogMemo->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);

  OKbutton = new QPushButton("OK");
  OKbutton->setObjectName("OKbutton");
  OKbutton->setMinimumWidth(OkWidth);
  OKbutton->setAutoDefault(true);
  connect(OKbutton, &QPushButton::clicked, this, [this] { OKbuttonClick(); });
  CopyButton = new QPushButton;
  CopyButton->setObjectName("CopyButton");
  CopyButton->setAutoDefault(true);
  connect(CopyButton, &QPushButton::clicked, this, [this] { CopyButtonClick(); });

  // OK in the middle, as the window has always had it; copying at the left.
  auto* buttons = new QGridLayout;
  buttons->addWidget(CopyButton, 0, 0, Qt::AlignLeft);
  buttons->addWidget(OKbutton, 0, 1);
  buttons->setColumnStretch(0, 1);
  buttons->setColumnStretch(2, 1);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(Margin, Margin, Margin, Margin);
  layout->setSpacing(Margin);
  layout->addWidget(ProgressLabel);
  layout->addWidget(ProgressBar);
  layout->addWidget(FileNameLabel);
  layout->addWidget(ErrorLogMemo, 1);
  layout->addLayout(buttons);
  layout->addStretch(0);

  ApplyTexts();
  ShowErrorControls(false);
  ShowProgressControls(false);
  ResizeOuter(ProgressWidth, DesignHeight);
}

void TProgressWin::ApplyTexts() {
  setWindowTitle(QString::fromStdString(Text(TTextId::ProgressWindowCaption)));
  CopyButton->setText(QString::fromStdString(Text(TTextId::CopyLinesCaption)));
  CopyButton->setToolTip(QString::fromStdString(Text(TTextId::CopyLinesHint)));
}

void TProgressWin::CopyButtonClick() {
  if (QClipboard* clipboard = QGuiApplication::clipboard())
    clipboard->setText(ErrorLogMemo->toPlainText());
}

bool TProgressWin::ShowsErrors() const {
  return !isHidden() && !OKbutton->isHidden();
}

void TProgressWin::ShowProgressControls(bool Visible) {
  ProgressLabel->setVisible(Visible);
  ProgressBar->setVisible(Visible);
  FileNameLabel->setVisible(Visible);
}

void TProgressWin::ShowErrorControls(bool Visible) {
  ErrorLogMemo->setVisible(Visible);
  OKbutton->setVisible(Visible);
  CopyButton->setVisible(Visible);
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
    ShowErrorControls(false);
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
      ShowErrorLayout(OwnErrorWidth);
    } else {
      hide();
    }
  }
}

void TProgressWin::add(int64_t, const std::string& Path) {
  FileNameLabel->SetText(QString::fromStdString(Path));
  raise();
}

void TProgressWin::ShowErrorLayout(int Width) {
  ShowProgressControls(false);
  ShowErrorControls(true);
  ResizeOuter(Width, ErrorHeight);
  if (isHidden()) {
    show();  // centred by showEvent
  } else {
    CentreOnParent(this, parentWidget());
  }
  AppendUnshownLines();
  // Enter or Esc dismisses the lines at once.
  activateWindow();
  OKbutton->setFocus();
}

void TProgressWin::ShowLinesAnew() {
  const size_t shown = std::min(ShownLines_, ErrorLog_.size());
  ErrorLogMemo->clear();
  for (ShownLines_ = 0; ShownLines_ < shown; ++ShownLines_) {
    ErrorLogMemo->appendPlainText(
        QString::fromStdString(ErrorLineForDisplay(ErrorLog_[ShownLines_])));
  }
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
  resize(FittedSize(OuterSize_ - FrameExtra_, FrameExtra_, AvailableArea(ScreenOf(this))));
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
    resize(FittedSize(OuterSize_ - extra, extra, AvailableArea(ScreenOf(this))));
  }
}

void TProgressWin::showEvent(QShowEvent* Event) {
  QWidget::showEvent(Event);
  // A desktop frames a window some moments after it shows, and does not
  // always move it on doing so.
  QTimer::singleShot(FrameSettleMs, this, [this] { FitOuterSize(); });
  CentreOnParent(this, parentWidget());
}

}  // namespace pictrim
