// The panel that takes the tabs' place while a resize or file-size job runs:
// the count, the file just written, the progress bar with the time left once
// it can be told, the preview strip of the five most recent copies and the
// cancel button.
#pragma once

#include <QFrame>
#include <QImage>

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

class QCheckBox;
class QLabel;
class QProgressBar;
class QPushButton;

namespace pictrim {

class TElidingLabel;

class TProgressPanel : public QFrame {
 public:
  static constexpr int SlotSize = 50;

  // The panel scrolls its controls when the window leaves it less room than
  // they need.
  explicit TProgressPanel(QWidget* Parent = nullptr);

  // Captions of the language in use.
  void ApplyTexts();
  // Bar, count, time left, file name and, when previews are on, the thumbnail
  // of Path in its slot of the strip.
  void ShowProgress(int64_t Done, int64_t Total, const std::string& Path);
  void ClearPreview();
  // Sets the number labels back to 1...5.
  void ResetNumLabels();
  void ShowFileName(const std::string& Path);
  void PreViewCheckBoxClick();
  // The clock the time left is measured with, in seconds (tests set their own).
  void SetClock(std::function<double()> Clock);

  QLabel* ProgressLabel = nullptr;
  QCheckBox* PreViewCheckBox = nullptr;
  TElidingLabel* FileNameLabel = nullptr;
  QProgressBar* ProgressBar1 = nullptr;
  QLabel* TimeLeftLabel = nullptr;
  QFrame* Panel2 = nullptr;
  std::array<QLabel*, 5> ImgViews{};
  std::array<QLabel*, 5> NumLabels{};
  QPushButton* AbbrechenBitBtn = nullptr;

 private:
  QFrame* BuildStrip();
  void SetSlot(int Slot, const QImage& Thumbnail);
  void ShowTimeLeft(int64_t Done, int64_t Total);

  std::function<double()> Clock_;
  double FirstFileAt_ = 0;  // when the job's first file was reported
};

// The seconds a job still needs after Done of Total files, SinceFirst seconds
// after its first file: the pace of the files since the first, two of them at
// least, times the files left. Nothing before that, when none are left, or
// when the clock has not moved.
std::optional<int64_t> SecondsLeft(double SinceFirst, int64_t Done, int64_t Total);

// "45 s", "3 min 20 s", "2 h 5 min".
std::string DurationText(int64_t Seconds);

// The thumbnail of a produced picture: the JPEG decoded at a reduced scale and
// brought to exactly 50 x 50. Null when the file cannot be loaded.
QImage PreviewThumbnail(const std::string& Path);

}  // namespace pictrim
