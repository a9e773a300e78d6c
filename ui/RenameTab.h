// Tab 3 of the main window: rename camera files so that their names carry the
// date. A note on the formats the renaming knows, the choice of date format,
// a settings group that holds the language box while this tab is active, and
// the button that starts the renaming.
#pragma once

#include <QWidget>

#include <array>
#include <cstdint>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QToolButton;
class QVBoxLayout;

namespace pictrim {

class TRadioGroup;

class TRenameTab : public QWidget {
 public:
  // The renaming modes of the three date formats.
  static constexpr std::array<uint8_t, 3> RenameModes = {1, 2, 6};

  explicit TRenameTab(QWidget* Parent = nullptr);

  // Captions of the language in use.
  void ApplyTexts();
  // Takes the language box into the settings group.
  void TakeLanguageBox(QComboBox* Box);

  QGroupBox* GroupBox4 = nullptr;
  std::array<QLabel*, 5> InfoLabels{};  // Label8 ... Label12
  TRadioGroup* RadioGroup3 = nullptr;
  QGroupBox* GroupBox5 = nullptr;
  QCheckBox* ExifDateCheckBox = nullptr;  // in GroupBox5: names by the EXIF time taken
  QToolButton* EditFileNameButton = nullptr;

 private:
  QVBoxLayout* GroupBox5Layout_ = nullptr;
};

}  // namespace pictrim
