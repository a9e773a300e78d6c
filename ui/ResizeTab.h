// Tab 1 of the main window: resize every picture of a tree to a maximum
// width, height or both. Typing a size into the custom edit selects the
// custom entry. The folder choice and the options are shared with tab 2 and
// put in by the main window (TakeSharedArea).
#pragma once

#include <QString>
#include <QWidget>

#include <array>

class QLineEdit;
class QVBoxLayout;

namespace pictrim {

class TGradientColorButton;
class TRadioGroup;

class TResizeTab : public QWidget {
 public:
  // Values of the preset entries of RadioGroup1; 0 marks the custom entry,
  // whose number comes from SizeEdit1.
  static constexpr std::array<int, 8> PixelPresets = {1920, 1024, 800, 0, 640, 400, 160, 64};
  static constexpr int CustomPixelEntry = 3;

  explicit TResizeTab(QWidget* Parent = nullptr);

  // Captions and hints of the language in use.
  void ApplyTexts();
  // The size group's caption in the edge mode, from the language file; the
  // width and height modes have captions of their own.
  void SetEdgeCaption(const QString& Caption);
  // The size group's caption and hint for the mode chosen in RadioGroup4.
  void ShowSizeCaption();
  // The value of the selected preset; 0 for the custom entry or none.
  int SelectedPreset() const;
  // Puts the shared folder and option area below the size groups.
  void TakeSharedArea(QWidget* Area);

  TRadioGroup* RadioGroup4 = nullptr;
  TRadioGroup* RadioGroup1 = nullptr;
  QLineEdit* SizeEdit1 = nullptr;
  TGradientColorButton* ResizeButton1 = nullptr;

 private:
  QVBoxLayout* Column_ = nullptr;
  QString EdgeCaption_ = QStringLiteral("Pixel");
};

}  // namespace pictrim
