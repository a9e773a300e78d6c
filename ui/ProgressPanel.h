// The panel that takes the tabs' place while a resize or file-size job runs:
// the count, the file just written, the progress bar, the preview strip of
// the five most recent copies and the cancel button.
#pragma once

#include <QFrame>
#include <QImage>

#include <array>
#include <cstdint>
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

  // Width is the panel's fixed width, which the file-name label fills.
  explicit TProgressPanel(int Width, QWidget* Parent = nullptr);

  // Bar, count, file name and, when previews are on, the thumbnail of Path
  // in its slot of the strip.
  void ShowProgress(int64_t Done, int64_t Total, const std::string& Path);
  void ClearPreview();
  // Sets the number labels back to 1...5.
  void ResetNumLabels();
  void ShowFileName(const std::string& Path);
  void PreViewCheckBoxClick();

  QLabel* ProgressLabel = nullptr;
  QCheckBox* PreViewCheckBox = nullptr;
  TElidingLabel* FileNameLabel = nullptr;
  QProgressBar* ProgressBar1 = nullptr;
  QFrame* Panel2 = nullptr;
  std::array<QLabel*, 5> ImgViews{};
  std::array<QLabel*, 5> NumLabels{};
  QPushButton* AbbrechenBitBtn = nullptr;

 private:
  QFrame* BuildStrip();
  void SetSlot(int Slot, const QImage& Thumbnail);
};

// The thumbnail of a produced picture: the JPEG decoded at a reduced scale and
// brought to exactly 50 x 50. Null when the file cannot be loaded.
QImage PreviewThumbnail(const std::string& Path);

}  // namespace pictrim
