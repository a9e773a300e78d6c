// The part of the main window that tabs 1 and 2 share and that moves onto
// whichever of them is active: the folder choice (chooser or favourites list,
// with the language box beside the folder button) and the options group
// (overwrite, the text stamp and its position).
#pragma once

#include <QWidget>

#include <cstdint>
#include <string>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLineEdit;
class QPushButton;

namespace pictrim {

class TRadioGroup;

class TFolderAndOptions : public QWidget {
 public:
  explicit TFolderAndOptions(QWidget* Parent = nullptr);

  // Handlers, named after their controls.
  void TextCheckBoxClick();
  void CheckBoxTopClick();
  void CheckBoxBottomClick();
  void PathComboBoxKeyUp();

  // The stamp text a job gets: the edit's text while the stamp is on, else empty.
  std::string StampTextForJob() const;
  // 1 for the top, 2 for the bottom, 3 for both.
  uint8_t StampPosition() const;
  // Puts the language box back beside the folder button.
  void TakeLanguageBoxBack();

  TRadioGroup* PathRadioGroup = nullptr;
  QPushButton* PathButton = nullptr;
  QComboBox* LanguageComboBox1 = nullptr;
  QLineEdit* PathEdit = nullptr;
  QComboBox* PathComboBox = nullptr;
  QGroupBox* OptionsGroupBox = nullptr;
  QCheckBox* OverwriteCheckBox = nullptr;
  QCheckBox* TextCheckBox = nullptr;
  QLineEdit* PictureText = nullptr;
  QCheckBox* CheckBoxTop = nullptr;
  QCheckBox* CheckBoxBottom = nullptr;

 protected:
  bool eventFilter(QObject* Watched, QEvent* Event) override;

 private:
  void BuildFolderGroup();
  void BuildOptionsGroup();
};

}  // namespace pictrim
