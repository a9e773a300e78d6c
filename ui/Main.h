// The main window: three tabs that start the three jobs (resize to an edge,
// reduce to a file size, rename camera files), the progress panel with the
// preview strip that takes the tabs' place while a job runs, and the status
// bar. Resize and file-size jobs run on a worker thread; their notifications
// are handled here on the GUI thread in the order the job posted them, and the
// job waits at each pump until they have been.
#pragma once

#include <QMainWindow>

#include <array>
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

class QCheckBox;
class QComboBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QStackedWidget;
class QTabWidget;
class QToolButton;
class QVBoxLayout;

namespace pictrim {

class TGradientColorButton;
class TJobThread;
class TPathWindow;
class TProgressWin;
class TRadioGroup;
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
  void SizeEdit1Change(QLineEdit* Sender);
  void TextCheckBoxClick();
  void CheckBoxTopClick();
  void CheckBoxBottomClick();
  void PathRadioGroupClick();
  void PathButtonClick();
  void PathComboBoxClick(int Index);
  void PathComboBoxKeyUp();
  void ResizeButton1Click();
  void JPEGbutton2Click();
  void EditFileNameButtonClick();
  void AbbrechenBitBtnClick();
  void PreViewCheckBoxClick();
  void LanguageComboBox1Change();

  // One notification of a job, on the GUI thread.
  void HandleNotification(const TBatchMessage& Message);
  // The preview strip.
  void ShowProgress(int64_t Done, int64_t Total, const std::string& Path);
  void ClearPreview();

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

  // Controls.
  QStackedWidget* MainStack = nullptr;
  QTabWidget* PageControl1 = nullptr;
  QWidget* TabSheet1 = nullptr;
  QWidget* TabSheet2 = nullptr;
  QWidget* TabSheet3 = nullptr;
  QFrame* ProgressPanel = nullptr;
  QLabel* ProgressLabel = nullptr;
  QCheckBox* PreViewCheckBox = nullptr;
  TElidingLabel* FileNameLabel = nullptr;
  QProgressBar* ProgressBar1 = nullptr;
  QFrame* Panel2 = nullptr;
  std::array<QLabel*, 5> ImgViews{};
  std::array<QLabel*, 5> NumLabels{};
  QPushButton* AbbrechenBitBtn = nullptr;
  TElidingLabel* StatusPanel = nullptr;
  QLabel* AccountPanel = nullptr;  // the account of the last job

  TRadioGroup* RadioGroup4 = nullptr;
  TRadioGroup* RadioGroup1 = nullptr;
  QLineEdit* SizeEdit1 = nullptr;
  QGroupBox* OptionsGroupBox = nullptr;
  QCheckBox* OverwriteCheckBox = nullptr;
  QCheckBox* TextCheckBox = nullptr;
  QLineEdit* PictureText = nullptr;
  QCheckBox* CheckBoxTop = nullptr;
  QCheckBox* CheckBoxBottom = nullptr;
  TRadioGroup* PathRadioGroup = nullptr;
  QPushButton* PathButton = nullptr;
  QComboBox* LanguageComboBox1 = nullptr;
  QLineEdit* PathEdit = nullptr;
  QComboBox* PathComboBox = nullptr;
  TGradientColorButton* ResizeButton1 = nullptr;

  TRadioGroup* RadioGroup2 = nullptr;
  QLineEdit* SizeEdit2 = nullptr;
  TGradientColorButton* ResizeButton2 = nullptr;

  QGroupBox* GroupBox4 = nullptr;
  std::array<QLabel*, 5> InfoLabels{};  // Label8 ... Label12
  TRadioGroup* RadioGroup3 = nullptr;
  QGroupBox* GroupBox5 = nullptr;
  QToolButton* EditFileNameButton = nullptr;

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
  bool eventFilter(QObject* Watched, QEvent* Event) override;

 private:
  void BuildWindow();
  QWidget* BuildResizeTab();
  QWidget* BuildFileSizeTab();
  QWidget* BuildRenameTab();
  QWidget* BuildSharedArea();
  QWidget* BuildProgressPanel();
  void ConnectHandlers();

  void FormShow();
  void SetExecuteButtons(bool Enabled);
  void SetStatus(const std::string& Text);
  // The common start of both execute buttons; false when no job may start.
  bool StartCommon();
  // The custom number of Edit clamped and written back; nothing (after the
  // message) when it is no integer.
  std::optional<int> CustomSize(QLineEdit* Edit, int Min, int Max);
  std::string StampTextForJob() const;
  uint8_t StampPosition() const;
  // Runs Job on the worker thread with a log of its own; Job gets the target
  // to report to.
  void RunJob(std::function<void(TBatchTarget&, TErrorLog&, TJobAccount&)> Job);
  void JobFinished();
  void ShowAccount(const TJobAccount& Account);
  void ShowJobEnd();
  void SetSlot(int Slot, const QImage& Thumbnail);
  void ResetNumLabels();
  void ShowFileName(const std::string& Path);
  void PlaceLanguageCombo(QWidget* Parent, QVBoxLayout* Layout);

  // Settings, in one place (MainSettings.cpp).
  void ApplySettingsAndLanguage();
  void SaveSettingsNow();

  QWidget* SharedArea_ = nullptr;
  QVBoxLayout* Tab1Layout_ = nullptr;
  QVBoxLayout* Tab2Layout_ = nullptr;
  QVBoxLayout* GroupBox5Layout_ = nullptr;
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

// The thumbnail of a produced picture: the JPEG decoded at a reduced scale and
// brought to exactly 50 x 50. Null when the file cannot be loaded.
QImage PreviewThumbnail(const std::string& Path);

}  // namespace pictrim
