#include "ui/Main.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QRegularExpression>
#include <QShortcut>
#include <QSpinBox>
#include <QStackedWidget>
#include <QStatusBar>
#include <QTabWidget>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>
#include <QWindow>

#include <algorithm>
#include <climits>

#include "engine/Resize.h"
#include "platform/Paths.h"
#include "rename/FileRename.h"
#include "ui/Controls.h"
#include "ui/FileSizeTab.h"
#include "ui/FolderAndOptions.h"
#include "ui/JobResultBar.h"
#include "ui/JobThread.h"
#include "ui/Progress.h"
#include "ui/ProgressPanel.h"
#include "ui/RadioGroup.h"
#include "ui/RenameTab.h"
#include "ui/ResizeTab.h"
#include "ui/ScreenFit.h"
#include "ui/SelectPathWindow.h"
#include "ui/WindowHandlers.h"
#include "util/MoreDialogs.h"
#include "widgets/ColorButton.h"

namespace pictrim {
using namespace controls;

namespace {

// The margin around the pages and the strip below them.
constexpr int WindowMargin = 8;

// The folder a drop names: the first local folder among its URLs.
std::optional<std::string> DroppedFolder(const QMimeData* Data) {
  if (Data == nullptr || !Data->hasUrls()) return std::nullopt;
  for (const QUrl& url : Data->urls()) {
    if (!url.isLocalFile()) continue;
    const std::string path = url.toLocalFile().toStdString();
    if (FolderExists(path)) return path;
  }
  return std::nullopt;
}

// A caption as the account names it, without its accelerator mark.
std::string Quoted(const QString& Caption) {
  QString text = Caption;
  text.remove(QRegularExpression(QStringLiteral("&(?!&)")));
  return "\"" + text.toStdString() + "\"";
}

}  // namespace

std::optional<int> ClampedInteger(const std::string& Text, int Min, int Max) {
  size_t i = 0;
  bool negative = false;
  if (i < Text.size() && (Text[i] == '+' || Text[i] == '-')) negative = Text[i++] == '-';
  if (i == Text.size()) return std::nullopt;
  long long value = 0;  // saturates far above any bound
  for (; i < Text.size(); ++i) {
    const char c = Text[i];
    if (c < '0' || c > '9') return std::nullopt;
    value = std::min<long long>(value * 10 + (c - '0'), static_cast<long long>(INT_MAX) + 1);
  }
  if (negative) value = -value;
  return static_cast<int>(std::clamp<long long>(value, Min, Max));
}

// ---------------------------------------------------------------------------
// Building the window

TMainForm::TMainForm(QWidget* Parent) : QMainWindow(Parent) {
  setObjectName(QStringLiteral("MainForm"));
  setWindowTitle(QStringLiteral("Pictrim"));
  setAcceptDrops(true);
  BuildWindow();
  ConnectHandlers();
  AddShortcuts();
  ProgressWin_ = std::make_unique<TProgressWin>(ErrorLog_, this);
  Target_ = std::make_unique<TWindowBatchTarget>(
      [this](const TBatchMessage& Message) { HandleNotification(Message); });
  Jobs_ = std::make_unique<TJobThread>();
}

TMainForm::~TMainForm() {
  // A job still running reports to this window; it has to end first.
  if (Jobs_ && Jobs_->Running()) {
    CancelRequested = true;
    Jobs_->WaitWhileHandlingEvents();
  }
}

void TMainForm::BuildWindow() {
  // The window takes the size its pages ask for and follows the screen: it
  // can be resized, and pages that do not fit scroll (ScreenFit.h).
  auto* central = new QWidget(this);
  auto* layout = new QVBoxLayout(central);
  layout->setContentsMargins(WindowMargin, WindowMargin, WindowMargin, 0);
  layout->setSpacing(4);
  MainStack = Named(new QStackedWidget(central), "MainStack");
  layout->addWidget(MainStack, 1);
  ResultBar = new TJobResultBar;
  layout->addWidget(ResultBar);
  setCentralWidget(central);

  PageControl1 = Named(new QTabWidget, "PageControl1");
  PageControl1->setDocumentMode(false);
  TabSheet1 = new TResizeTab;
  TabSheet2 = new TFileSizeTab;
  TabSheet3 = new TRenameTab;
  PageControl1->addTab(new TScrollPage(TabSheet1), QStringLiteral("Größe ändern"));
  PageControl1->addTab(new TScrollPage(TabSheet2), QStringLiteral("Dateigröße ändern"));
  PageControl1->addTab(new TScrollPage(TabSheet3), QStringLiteral("Dateinamen anpassen"));
  SharedArea = new TFolderAndOptions;
  TabSheet1->TakeSharedArea(SharedArea);
  ProgressPanel = new TProgressPanel;
  MainStack->addWidget(PageControl1);
  MainStack->addWidget(ProgressPanel);
  MainStack->setCurrentWidget(PageControl1);

  auto* status = Named(new QStatusBar(this), "StatusBar1");
  status->setSizeGripEnabled(false);
  StatusPanel = Named(new TElidingLabel(T(TTextId::StatusStart)), "StatusPanel");
  StatusPanel->setMinimumWidth(1);
  status->addWidget(StatusPanel, 1);
  setStatusBar(status);
  SetExecuteButtons(false);
}

void TMainForm::ConnectHandlers() {
  connect(PageControl1, &QTabWidget::currentChanged, this, [this] { PageControl1Change(); });
  connect(TabSheet1->RadioGroup1, &TRadioGroup::Click, this, &TMainForm::RadioGroup1Click);
  connect(TabSheet2->RadioGroup2, &TRadioGroup::Click, this, &TMainForm::RadioGroup2Click);
  connect(SharedArea->PathRadioGroup, &TRadioGroup::Click, this, &TMainForm::PathRadioGroupClick);
  connect(SharedArea->PathButton, &QPushButton::clicked, this, &TMainForm::PathButtonClick);
  connect(SharedArea->PathComboBox, &QComboBox::activated, this, &TMainForm::PathComboBoxClick);
  connect(TabSheet1->ResizeButton1, &TGradientColorButton::Clicked, this,
          &TMainForm::ResizeButton1Click);
  connect(TabSheet2->ResizeButton2, &TGradientColorButton::Clicked, this,
          &TMainForm::JPEGbutton2Click);
  connect(TabSheet3->EditFileNameButton, &QToolButton::clicked, this,
          &TMainForm::EditFileNameButtonClick);
  connect(TabSheet3->UndoRenameButton, &QPushButton::clicked, this,
          &TMainForm::UndoRenameButtonClick);
  connect(ProgressPanel->AbbrechenBitBtn, &QPushButton::clicked, this,
          &TMainForm::AbbrechenBitBtnClick);
  connect(SharedArea->LanguageComboBox1, &QComboBox::activated, this,
          &TMainForm::LanguageComboBox1Change);
}

void TMainForm::AddShortcuts() {
  auto* cancel = new QShortcut(QKeySequence(Qt::Key_Escape), this);
  cancel->setContext(Qt::WindowShortcut);
  connect(cancel, &QShortcut::activated, this, [this] {
    if (Jobs_->Running()) AbbrechenBitBtnClick();
  });
}

void TMainForm::ApplyTexts() {
  TabSheet1->ApplyTexts();
  TabSheet2->ApplyTexts();
  TabSheet3->ApplyTexts();
  SharedArea->ApplyTexts();
  ProgressPanel->ApplyTexts();
  ResultBar->ApplyTexts();
  ProgressWin_->ApplyTexts();
  if (!StatusWritten_) StatusPanel->SetText(T(TTextId::StatusStart));
  // The example stamp text follows the language until the user writes their own.
  const QString example = T(TTextId::StampTextExample);
  if (SharedArea->PictureText->text() == StampExample_) SharedArea->PictureText->setText(example);
  StampExample_ = example;
}

// ---------------------------------------------------------------------------
// Start and end

void TMainForm::FormCreate() {
  setWindowTitle(QString::fromLatin1(MainCaption));
  ApplySettingsAndLanguage();
}

void TMainForm::showEvent(QShowEvent* Event) {
  QMainWindow::showEvent(Event);
  if (Shown_) return;
  Shown_ = true;
  // The natural size, as far as the screen has room for it; moved to another
  // screen, the window fits that one.
  FitToScreen(this, sizeHint());
  if (QWindow* handle = windowHandle())
    connect(handle, &QWindow::screenChanged, this, [this] { FitToScreen(this, size()); });
  FormShow();
}

void TMainForm::FormShow() {
  SharedArea->ClearFavouritePick();
  PageControl1Change();
}

void TMainForm::closeEvent(QCloseEvent* Event) {
  // While a job is being wound up the window stays; a second close changes nothing.
  if (Closing_ || Renaming_) {
    Event->ignore();
    return;
  }
  if (Jobs_->Running()) {
    Closing_ = true;
    CancelRequested = true;
    Jobs_->WaitWhileHandlingEvents();
    Closing_ = false;
  }
  SaveSettingsNow();
  ProgressWin_->hide();
  Event->accept();
}

// ---------------------------------------------------------------------------
// Handlers of the tabs

void TMainForm::PageControl1Change() {
  switch (PageControl1->currentIndex()) {
    case 0:
      TabSheet1->TakeSharedArea(SharedArea);
      SharedArea->TakeLanguageBoxBack();
      SharedArea->ShowOptionsOf(TFolderAndOptions::TJob::Resize);
      break;
    case 1:
      TabSheet2->TakeSharedArea(SharedArea);
      SharedArea->TakeLanguageBoxBack();
      SharedArea->ShowOptionsOf(TFolderAndOptions::TJob::FileSize);
      break;
    default:
      TabSheet3->TakeLanguageBox(SharedArea->LanguageComboBox1);
      break;
  }
}

void TMainForm::RadioGroup1Click() {
  PresetPixels = TabSheet1->SelectedPreset();
}

void TMainForm::RadioGroup2Click() {
  PresetKilobytes = TabSheet2->SelectedPreset();
}

// ---------------------------------------------------------------------------
// Folder choice

void TMainForm::PathRadioGroupClick() {
  TRadioGroup* group = SharedArea->PathRadioGroup;
  if (group->ItemIndex() == 0) {
    group->SetItemIndex(1);  // runs this handler for entry 1
    return;
  }
  const bool chooser = group->ItemIndex() == 1;
  SharedArea->PathEdit->setVisible(chooser);
  SharedArea->PathComboBox->setVisible(!chooser);
  SharedArea->ShowPathCaption();
  SharedArea->PathEdit->clear();
  SharedArea->ClearFavouritePick();
  SetExecuteButtons(false);
}

void TMainForm::PathButtonClick() {
  SetExecuteButtons(false);
  if (SharedArea->PathRadioGroup->ItemIndex() == 1) {
    // The chooser opens at the folder of the last job, or at the one shown.
    const std::string shown = SharedArea->PathEdit->text().toStdString();
    std::string chosen;
    SelectFolderFrom(shown.empty() ? LastFolder : shown, chosen);
    SourceFolder = chosen;
    // A cancelled chooser leaves the last status as it was.
    if (chosen.empty()) return;
    SharedArea->PathEdit->setText(Q(chosen));
    LastFolder = chosen;
    FolderReady();
  } else {
    QComboBox* favourites = SharedArea->PathComboBox;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    TPathWindow window(favourites, this);
    QApplication::restoreOverrideCursor();
    window.exec();
    favourites->showPopup();
    SharedArea->ClearFavouritePick();
  }
  SetStatus(Text(TTextId::FolderChosenStatus));
}

void TMainForm::PathComboBoxClick(int Index) {
  SourceFolder =
      Index >= 0 ? SharedArea->PathComboBox->itemText(Index).toStdString() : std::string();
  if (!SourceFolder.empty()) FolderReady();
}

bool TMainForm::ChooseFolder(const std::string& Folder) {
  if (JobRunning() || !FolderExists(Folder)) return false;
  if (SharedArea->PathRadioGroup->ItemIndex() != 1) SharedArea->PathRadioGroup->SetItemIndex(1);
  SourceFolder = IncludeTrailingDelimiter(Folder);
  SharedArea->PathEdit->setText(Q(SourceFolder));
  LastFolder = SourceFolder;
  FolderReady();
  SetStatus(Text(TTextId::FolderChosenStatus));
  return true;
}

void TMainForm::OpenHandedFolders(const std::vector<std::string>& Folders) {
  if (Folders.empty()) return;
  if (PageControl1->currentIndex() > 1) PageControl1->setCurrentIndex(0);
  if (!ChooseFolder(Folders.front())) return;
  if (Folders.size() > 1)
    SetStatus(Text(TTextId::FirstOfFoldersStatus, {std::to_string(Folders.size())}));
}

void TMainForm::dragEnterEvent(QDragEnterEvent* Event) {
  if (!JobRunning() && DroppedFolder(Event->mimeData())) Event->acceptProposedAction();
}

void TMainForm::dropEvent(QDropEvent* Event) {
  const std::optional<std::string> folder = DroppedFolder(Event->mimeData());
  if (folder && ChooseFolder(*folder)) Event->acceptProposedAction();
}

// ---------------------------------------------------------------------------
// Jobs

void TMainForm::SetExecuteButtons(bool Enabled) {
  for (TGradientColorButton* button : {TabSheet1->ResizeButton1, TabSheet2->ResizeButton2}) {
    button->setEnabled(Enabled);
    button->SetGradientStyle(Enabled ? TGradientStyle::gsVertical : TGradientStyle::gsNone);
  }
}

void TMainForm::FolderReady() {
  SetExecuteButtons(true);
  switch (PageControl1->currentIndex()) {
    case 0:
      TabSheet1->ResizeButton1->setFocus();
      break;
    case 1:
      TabSheet2->ResizeButton2->setFocus();
      break;
    default:
      break;
  }
}

void TMainForm::SetStatus(const std::string& Status) {
  StatusWritten_ = true;
  Status_ = Status;
  StatusPanel->SetText(Q(Status));
}

bool TMainForm::JobRunning() const {
  return Renaming_ || Jobs_->Running();
}

void TMainForm::WaitForJob() {
  Jobs_->WaitWhileHandlingEvents();
}

void TMainForm::SetNotificationObserver(std::function<void(const TBatchMessage&)> Observer) {
  Observer_ = std::move(Observer);
}

bool TMainForm::StartCommon() {
  if (JobRunning() || SourceFolder.empty()) return false;
  CancelRequested = false;
  SetExecuteButtons(false);
  SharedArea->ClearFavouritePick();
  SharedArea->PathEdit->clear();
  // A favourite (or a chosen folder) may have gone since it was picked; a
  // job on it would report a run over nothing as done.
  if (!FolderExists(SourceFolder)) {
    ShowMessage(Text(TTextId::MissingFolderMessage, {SourceFolder}));
    return false;
  }
  return true;
}

std::optional<int> TMainForm::CustomSize(QLineEdit* Edit, int Min, int Max) {
  const std::string text = Edit->text().toStdString();
  const std::optional<int> size = ClampedInteger(text, Min, Max);
  if (!size) {
    ShowMessage(Text(TTextId::NotANumberMessage, {text}));
    return std::nullopt;
  }
  Edit->setText(QString::number(*size));
  return size;
}

void TMainForm::ResizeButton1Click() {
  if (!StartCommon()) return;
  int size = PresetPixels;
  if (size == 0) {
    const std::optional<int> custom =
        CustomSize(TabSheet1->SizeEdit1, MinCustomPixels, MaxCustomPixels);
    if (!custom) return;
    size = *custom;
  }
  const int edge = TabSheet1->RadioGroup4->ItemIndex();
  MaxWidth = edge == 1 ? 0 : static_cast<uint32_t>(size);
  MaxHeight = edge == 1 || edge == 2 ? static_cast<uint32_t>(size) : 0;
  // Below the output folder chosen, or beside the source folder.
  OutputFolder = SharedArea->OutputFolder();
  Overwrite = SharedArea->OverwriteCheckBox->isChecked();
  JobOutput_ =
      OutputFolder.empty() ? ResizeOutputFolder(SourceFolder, MaxWidth, MaxHeight) : OutputFolder;
  RunJob([Source = SourceFolder, Output = OutputFolder, W = MaxWidth, H = MaxHeight,
          Text = SharedArea->StampTextForJob(), Position = SharedArea->StampPosition(),
          Replace = Overwrite,
          Choices = SharedArea->ChoicesFor(TFolderAndOptions::TJob::Resize)](
             TBatchTarget& Target, TErrorLog& Log, TJobAccount& Account) {
    ConvertPICsWholeTree(&Target, Source, Output, W, H, Text, Position, WM_BATCH_PROGRESS,
                         WM_BATCH_FILE, Replace, Log, &Account, Choices);
  });
}

void TMainForm::JPEGbutton2Click() {
  if (!StartCommon()) return;
  int target = PresetKilobytes;
  if (target == 0) {
    const std::optional<int> custom =
        CustomSize(TabSheet2->SizeEdit2, MinCustomKilobytes, MaxCustomKilobytes);
    if (!custom) return;
    target = *custom;
  }
  OutputFolder = SharedArea->OutputFolder();
  JobOutput_ = OutputFolder.empty()
                   ? FileSizeOutputFolder(SourceFolder, static_cast<uint32_t>(target))
                   : OutputFolder;
  RunJob([Source = SourceFolder, Output = OutputFolder, KB = static_cast<uint32_t>(target),
          Text = SharedArea->StampTextForJob(), Position = SharedArea->StampPosition(),
          Replace = SharedArea->OverwriteCheckBox->isChecked(),
          Choices = SharedArea->ChoicesFor(TFolderAndOptions::TJob::FileSize)](
             TBatchTarget& Target, TErrorLog& Log, TJobAccount& Account) {
    ConvertPICsWholeTree2(&Target, Source, Output, "", KB, Text, Position, WM_BATCH_PROGRESS,
                          WM_BATCH_FILE, Replace, false, Log, &Account, Choices);
  });
}

void TMainForm::RunJob(std::function<void(TBatchTarget&, TErrorLog&, TJobAccount&)> Job) {
  JobLog_.clear();
  JobAccount_ = {};
  ResultBar->ShowRunning();
  Jobs_->Start(
      [this, Job = std::move(Job)] {
        try {
          Job(*Target_, JobLog_, JobAccount_);
        } catch (const std::exception& Error) {
          AddErrorLogEntry(Error.what(), JobLog_);
        }
      },
      [this] { JobFinished(); });
}

// On the GUI thread once the job has returned: its error lines join the
// window's log, then its final notification is handled.
void TMainForm::JobFinished() {
  HandOverJobEnd(JobLog_, ErrorLog_, *Target_);
  // A job that ended without its final notification must not leave the panel up.
  if (MainStack->currentWidget() != PageControl1) ShowJobEnd();
}

void TMainForm::AbbrechenBitBtnClick() {
  Target_->post({WM_BATCH_CANCEL, 0, 0, std::string()});
  Target_->pump();
}

// ---------------------------------------------------------------------------
// Notifications

void TMainForm::HandleNotification(const TBatchMessage& Message) {
  switch (Message.Message) {
    case WM_BATCH_FILE:
      if (Message.WParam == 0) {
        LastFile = Message.Text;
        ProgressPanel->ShowFileName(Message.Text);
      }
      break;
    case WM_BATCH_STATUS:
      SetStatus(Message.Text);
      break;
    case WM_BATCH_CANCEL:
      CancelRequested = true;
      break;
    case WM_BATCH_PROGRESS:
      // The first file brings up the panel; ShowProgress sets the bar and
      // clears the strip. Esc or the cancel button's own keys stop the job.
      if (Message.WParam == 1) {
        MainStack->setCurrentWidget(ProgressPanel);
        ProgressPanel->AbbrechenBitBtn->setFocus();
      }
      ProgressPanel->ShowProgress(Message.WParam, Message.LParam, LastFile);
      if (Message.LParam == 0) ShowJobEnd();
      break;
    default:
      break;
  }
  if (Observer_) Observer_(Message);
}

void TMainForm::ShowJobEnd() {
  MainStack->setCurrentWidget(PageControl1);
  ProgressPanel->ClearPreview();
  ProgressPanel->ResetNumLabels();
  // The job has returned before its final notification is handled: its
  // account is complete. Its lines are made in the language of the moment.
  const TJobAccount account = JobAccount_;
  ResultBar->ShowResult(TJobEnd{[this, account] {
                                  std::vector<std::string> lines = AccountLines(
                                      account, Quoted(SharedArea->OverwriteCheckBox->text()));
                                  lines.back() = AccountSummaryInSight(account);
                                  return lines;
                                },
                                account.Failed, account.Damaged},
                        JobOutput_);
  ShowErrorLines();
}

// The error lines of the jobs so far, when there are any, in the progress window.
void TMainForm::ShowErrorLines() {
  if (!ErrorLog_.empty())
    ProgressWin_->ShowErrorLayout(TProgressWin::MainErrorWidth);
  else
    ProgressWin_->hide();
}

}  // namespace pictrim
