// The main window: three tabs that start the three jobs (resize to an edge,
// reduce to a file size, rename camera files), the progress panel with the
// preview strip that takes the tabs' place while a job runs, the strip that
// tells how the last job ended, and the status bar. Resize and file-size jobs
// run on a worker thread; their notifications are handled here on the GUI
// thread in the order the job posted them, and the job waits at each pump
// until they have been. A folder dropped onto the window is chosen as if the
// folder chooser had given it; Esc cancels a running job.
#pragma once

#include <QMainWindow>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/JobAccount.h"
#include "platform/BatchTarget.h"
#include "rename/FileRename.h"
#include "settings/Ini.h"
#include "ui/ElidingLabel.h"
#include "util/ErrorLog.h"

class QDragEnterEvent;
class QDropEvent;
class QLineEdit;
class QStackedWidget;
class QTabWidget;

namespace pictrim {

class TFileSizeTab;
class TFolderAndOptions;
class TJobResultBar;
class TJobThread;
class TProgressPanel;
class TProgressWin;
class TRenameTab;
class TResizeTab;
class TWindowBatchTarget;
struct TCaption;

// The largest and smallest custom sizes a job accepts; larger and smaller
// numbers are clamped and written back into their edit.
inline constexpr int MinCustomPixels = 32;
inline constexpr int MaxCustomPixels = 1920;
inline constexpr int MinCustomKilobytes = 5;
inline constexpr int MaxCustomKilobytes = 2048;

// Text as a decimal integer (optional sign, digits only) clamped to Min...Max;
// numbers of any length clamp without overflow. Nothing when it is no integer.
std::optional<int> ClampedInteger(const std::string& Text, int Min, int Max);

// The window's caption once started interactively.
inline constexpr const char* MainCaption = "Pictrim  1.40";

class TMainForm : public QMainWindow {
  Q_OBJECT

 public:
  explicit TMainForm(QWidget* Parent = nullptr);
  ~TMainForm() override;

  // Creation step of an interactive start: caption, settings, language files
  // and the chosen language's captions.
  void FormCreate();

  // Handlers, named after their controls.
  void PageControl1Change();
  void RadioGroup1Click();
  void RadioGroup2Click();
  void PathRadioGroupClick();
  void PathButtonClick();
  void PathComboBoxClick(int Index);
  void ResizeButton1Click();
  void JPEGbutton2Click();
  void EditFileNameButtonClick();
  void UndoRenameButtonClick();
  void AbbrechenBitBtnClick();
  void LanguageComboBox1Change();

  // One notification of a job, on the GUI thread.
  void HandleNotification(const TBatchMessage& Message);

  // Sets the captions of a language; keys as the language files spell them.
  void ApplyCaptions(const std::vector<TCaption>& Captions);
  // Sets every other caption, hint and text of the windows from the texts in use.
  void ApplyTexts();
  // Makes Folder the source of the next job, as the folder chooser does;
  // false (nothing changed) while a job runs or when it is no folder.
  bool ChooseFolder(const std::string& Folder);
  // The folders a file manager handed over: the first is chosen on a tab
  // that works on folders, and the status bar tells when there were more.
  void OpenHandedFolders(const std::vector<std::string>& Folders);

  // True while a job runs (on the worker thread or, renaming, here).
  bool JobRunning() const;
  // Keeps handling events until the running job has ended.
  void WaitForJob();
  // Called after each notification has been handled (tests, benchmarks).
  void SetNotificationObserver(std::function<void(const TBatchMessage&)> Observer);

  TProgressWin* ProgressWindow() const { return ProgressWin_.get(); }
  const TErrorLog& ErrorLog() const { return ErrorLog_; }

  // The parts of the window; each holds the controls of its region.
  QStackedWidget* MainStack = nullptr;
  QTabWidget* PageControl1 = nullptr;
  TResizeTab* TabSheet1 = nullptr;
  TFileSizeTab* TabSheet2 = nullptr;
  TRenameTab* TabSheet3 = nullptr;
  TFolderAndOptions* SharedArea = nullptr;  // on tab 1 or tab 2, whichever is active
  TProgressPanel* ProgressPanel = nullptr;
  TJobResultBar* ResultBar = nullptr;
  TElidingLabel* StatusPanel = nullptr;

  // State.
  std::string SourceFolder;
  std::string OutputFolder;
  bool Overwrite = false;
  int PresetPixels = 0;
  int PresetKilobytes = 0;
  uint32_t MaxWidth = 0;
  uint32_t MaxHeight = 0;
  bool PreView = false;
  int LanguageIndex = 0;
  std::string LastFolder;  // where the folder chooser opens

 protected:
  void showEvent(QShowEvent* Event) override;
  void closeEvent(QCloseEvent* Event) override;
  void dragEnterEvent(QDragEnterEvent* Event) override;
  void dropEvent(QDropEvent* Event) override;

 private:
  void BuildWindow();
  void ConnectHandlers();
  // The keys of the whole window: Esc cancels a running job.
  void AddShortcuts();

  void FormShow();
  void SetExecuteButtons(bool Enabled);
  // A folder has been chosen: the buttons are enabled and the active tab's
  // execute button takes the keyboard focus.
  void FolderReady();
  void SetStatus(const std::string& Text);
  // The common start of both execute buttons; false when no job may start.
  bool StartCommon();
  // The custom number of Edit clamped and written back; nothing (after the
  // message) when it is no integer.
  std::optional<int> CustomSize(QLineEdit* Edit, int Min, int Max);
  // Runs Job on the worker thread with a log of its own; Job gets the target
  // to report to.
  void RunJob(std::function<void(TBatchTarget&, TErrorLog&, TJobAccount&)> Job);
  void JobFinished();
  void ShowJobEnd();
  void ShowErrorLines();

  // Renaming, in one place (MainRename.cpp): a run over Folder after its
  // preview and the user's yes; the account of what it did.
  TRenameAccount RenameAfterPreview(const std::string& Folder, const TRenameOptions& Options);
  // The end of a renaming run or its undo: status, account, error lines.
  void ShowRenameEnd(const std::string& Status, const TRenameAccount& Account);

  // Settings, in one place (MainSettings.cpp).
  void ApplySettingsAndLanguage();
  // Captions and texts of language Name, for this window and Qt's own dialogs.
  void UseLanguage(const std::string& Folder, const std::string& Name);
  // The status text and the lines of the error log made anew from the texts
  // in use, Before being the texts they were made from.
  void MakeShownTextsAnew(const std::vector<std::string>& Before);
  void SaveSettingsNow();

  bool Shown_ = false;
  bool Closing_ = false;
  bool Renaming_ = false;
  // The check box of the renaming's message boxes that ends them for the run.
  std::string RenameMessagesCaption_ = "Keine weiteren Meldungen in diesem Lauf";
  bool StatusWritten_ = false;  // the status panel still shows its first text while false
  std::string Status_;          // what it shows once written
  // The example stamp text of the language in use; the settings' first one is German.
  QString StampExample_ = QString::fromStdString(TSettings().CopyrightText);
  // Where the copies of the running job go.
  std::string JobOutput_;

  TErrorLog ErrorLog_;
  TErrorLog JobLog_;        // written only by the running job
  TJobAccount JobAccount_;  // likewise
  std::unique_ptr<TProgressWin> ProgressWin_;
  std::unique_ptr<TWindowBatchTarget> Target_;
  std::unique_ptr<TJobThread> Jobs_;
  std::function<void(const TBatchMessage&)> Observer_;
};

}  // namespace pictrim
