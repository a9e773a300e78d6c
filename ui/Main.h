// The main window: three tabs that start the three jobs (resize to an edge,
// reduce to a file size, rename camera files), the progress panel with the
// preview strip that takes the tabs' place while a job runs, and the status
// bar. Resize and file-size jobs run on a worker thread; their notifications
// are handled here on the GUI thread in the order the job posted them, and the
// job waits at each pump until they have been.
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
#include "ui/ElidingLabel.h"
#include "util/ErrorLog.h"

class QLineEdit;
class QStackedWidget;
class QTabWidget;

namespace pictrim {

class TFileSizeTab;
class TFolderAndOptions;
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
  void AbbrechenBitBtnClick();
  void LanguageComboBox1Change();

  // One notification of a job, on the GUI thread.
  void HandleNotification(const TBatchMessage& Message);

  // Sets the captions of a language; keys as the language files spell them.
  void ApplyCaptions(const std::vector<TCaption>& Captions);

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
  TElidingLabel* StatusPanel = nullptr;
  QLabel* AccountPanel = nullptr;  // the account of the last job

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

 protected:
  void showEvent(QShowEvent* Event) override;
  void closeEvent(QCloseEvent* Event) override;

 private:
  void BuildWindow();
  void ConnectHandlers();

  void FormShow();
  void SetExecuteButtons(bool Enabled);
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
  void ShowAccount(const TJobAccount& Account);
  void ShowJobEnd();

  // Settings, in one place (MainSettings.cpp).
  void ApplySettingsAndLanguage();
  void SaveSettingsNow();

  bool Shown_ = false;
  bool Closing_ = false;
  bool Renaming_ = false;
  // PathButton's captions for the two folder modes, from the language in use.
  QString PathCaption1_;
  QString PathCaption2_;

  TErrorLog ErrorLog_;
  TErrorLog JobLog_;        // written only by the running job
  TJobAccount JobAccount_;  // likewise
  std::unique_ptr<TProgressWin> ProgressWin_;
  std::unique_ptr<TWindowBatchTarget> Target_;
  std::unique_ptr<TJobThread> Jobs_;
  std::function<void(const TBatchMessage&)> Observer_;
};

}  // namespace pictrim
