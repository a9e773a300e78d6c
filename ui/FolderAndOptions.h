// The part of the main window that tabs 1 and 2 share and that moves onto
// whichever of them is active: the folder choice (chooser or favourites list,
// with the language box beside the folder button) and the options group
// (overwrite, the text stamp and its position, the JPEG quality, the choice
// that belongs to the active tab: do not enlarge on tab 1, never above the
// target on tab 2; and the folder the copies go below, beside the source
// folder unless one is chosen).
#pragma once

#include <QString>
#include <QWidget>

#include <cstdint>
#include <string>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QHBoxLayout;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QToolButton;

namespace pictrim {

class TRadioGroup;
struct TJobChoices;

class TFolderAndOptions : public QWidget {
 public:
  // The tab whose options show.
  enum class TJob { Resize, FileSize };

  explicit TFolderAndOptions(QWidget* Parent = nullptr);

  // Handlers, named after their controls.
  void TextCheckBoxClick();
  void CheckBoxTopClick();
  void CheckBoxBottomClick();
  // Asks for the folder the copies go below; a cancelled chooser keeps the one there was.
  void OutputFolderButtonClick();

  // Captions, hints and the favourites' placeholder of the language in use.
  void ApplyTexts();
  // PathButton's captions for the two folder modes; the button shows the one
  // of the mode selected and is wide enough for either.
  void SetPathCaptions(const QString& Chooser, const QString& Favourites);
  void ShowPathCaption();
  const QString& ChooserCaption() const { return ChooserCaption_; }
  const QString& FavouritesCaption() const { return FavouritesCaption_; }
  // The quality box's "default" with the number the jobs then write with.
  void ShowDefaultQuality();
  // Shows the option of Job's tab and hides the other tab's.
  void ShowOptionsOf(TJob Job);
  // No favourite picked: the list shows its placeholder.
  void ClearFavouritePick();

  // The stamp text a job gets: the edit's text while the stamp is on, else empty.
  std::string StampTextForJob() const;
  // 1 for the top, 2 for the bottom, 3 for both.
  uint8_t StampPosition() const;
  // The quality the jobs write with, 1...100; 0 for their own qualities.
  int Quality() const;
  // The JPEG choices a job of Job's tab gets: the quality, and the option
  // that tab shows.
  TJobChoices ChoicesFor(TJob Job) const;
  // The folder the copies go below, ending with the delimiter; empty for
  // beside the source folder.
  std::string OutputFolder() const;
  void SetOutputFolder(const std::string& Folder);
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
  QLabel* QualityLabel = nullptr;
  QSpinBox* QualitySpinBox = nullptr;  // 0 shows "default"
  QCheckBox* NoEnlargeCheckBox = nullptr;
  QCheckBox* StrictSizeCheckBox = nullptr;
  QCheckBox* SharpCheckBox = nullptr;
  QLabel* OutputFolderLabel = nullptr;
  QLineEdit* OutputFolderEdit = nullptr;  // read-only; its placeholder says "beside the source"
  QToolButton* OutputFolderButton = nullptr;
  QToolButton* OutputFolderClear = nullptr;

 private:
  void BuildFolderGroup();
  void BuildOptionsGroup();
  QHBoxLayout* BuildOutputRow();

  QString ChooserCaption_;
  QString FavouritesCaption_;
};

}  // namespace pictrim
