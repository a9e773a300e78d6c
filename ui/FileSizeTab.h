// Tab 2 of the main window: reduce every picture of a tree to a file size in
// kilobytes. Typing a size into the custom edit selects the custom entry. The
// folder choice and the options are shared with tab 1 and put in by the main
// window (TakeSharedArea).
#pragma once

#include <QWidget>

#include <array>

class QLineEdit;
class QVBoxLayout;

namespace pictrim {

class TGradientColorButton;
class TRadioGroup;

class TFileSizeTab : public QWidget {
 public:
  // Values of the preset entries of RadioGroup2; 0 marks the custom entry,
  // whose number comes from SizeEdit2.
  static constexpr std::array<int, 8> KilobytePresets = {200, 100, 50, 40, 0, 20, 10, 5};
  static constexpr int CustomKilobyteEntry = 4;

  explicit TFileSizeTab(QWidget* Parent = nullptr);

  // Captions and hints of the language in use.
  void ApplyTexts();
  // The value of the selected preset; 0 for the custom entry or none.
  int SelectedPreset() const;
  // Puts the shared folder and option area below the size group.
  void TakeSharedArea(QWidget* Area);

  TRadioGroup* RadioGroup2 = nullptr;
  QLineEdit* SizeEdit2 = nullptr;
  TGradientColorButton* ResizeButton2 = nullptr;

 private:
  QVBoxLayout* Column_ = nullptr;
};

}  // namespace pictrim
