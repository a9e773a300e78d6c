// Tab 3 of the main window: rename camera files so that their names carry the
// date. A note on the formats the renaming knows, the choice of date format,
// a settings group that holds the language box while this tab is active, the
// button that starts the renaming, the preview of the names a run is about
// to give, and the button that undoes the last run.
#pragma once

#include <QWidget>

#include <array>
#include <cstdint>
#include <string>

#include "rename/FileRename.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QToolButton;
class QVBoxLayout;

namespace pictrim {

class TRadioGroup;
struct TRenamePlan;

class TRenameTab : public QWidget {
 public:
  // The renaming modes of the three date formats.
  static constexpr std::array<uint8_t, 3> RenameModes = {1, 2, 6};

  explicit TRenameTab(QWidget* Parent = nullptr);

  // Captions of the language in use.
  void ApplyTexts();
  // Takes the language box into the settings group.
  void TakeLanguageBox(QComboBox* Box);
  // Shows the names the plan gives ("old -> new", the old path counted from
  // the plan's folder) and the account it foresees.
  void ShowPreview(const TRenamePlan& Plan);
  // Offers the undo button while the last run over Folder can be undone.
  void OfferUndo(const std::string& Folder);
  // The folder of the run the undo button undoes.
  const std::string& UndoFolder() const { return UndoFolder_; }

  QGroupBox* GroupBox4 = nullptr;
  std::array<QLabel*, 5> InfoLabels{};  // Label8 ... Label12
  TRadioGroup* RadioGroup3 = nullptr;
  QGroupBox* GroupBox5 = nullptr;
  QCheckBox* ExifDateCheckBox = nullptr;  // in GroupBox5: names by the EXIF time taken
  QToolButton* EditFileNameButton = nullptr;
  QGroupBox* PreviewBox = nullptr;          // hidden until a run is planned
  QLabel* PreviewAccount = nullptr;         // the account the plan foresees
  QPlainTextEdit* PreviewList = nullptr;    // one "old -> new" line per file
  QPushButton* UndoRenameButton = nullptr;  // shown after a run that can be undone

 private:
  void ShowPreviewAccount();
  // Makes Part of the tab visible: a larger window, or the page scrolled.
  void ShowWhole(QWidget* Part);

  QVBoxLayout* GroupBox5Layout_ = nullptr;
  TRenameAccount PreviewAccount_;
  std::string UndoFolder_;
};

}  // namespace pictrim
