// The dialog that edits the favourite folders: up to three absolute folder
// paths, kept by the main window as the items of its path combo box. Opening
// it takes the combo's list (dropping folders that no longer exist); closing
// it, by OK or by the title bar, writes the list back. There is no cancel.
#pragma once

#include <QDialog>

#include <string>
#include <vector>

class QComboBox;
class QFrame;
class QLabel;
class QListWidget;
class QPushButton;
class QToolButton;

namespace pictrim {

class TPathWindow : public QDialog {
 public:
  static constexpr int MaxFolders = 3;

  // The creation step: lists the first three entries of PathComboBox that
  // name existing folders. PathComboBox must outlive the dialog.
  TPathWindow(QComboBox* PathComboBox, QWidget* Parent = nullptr);

  // Asks for a folder and appends it, unless three are listed already, the
  // chooser was cancelled, the path is not absolute or it is listed already.
  void AddPathButtonClick();
  // Removes the selected folder; with none selected the list stays as it is.
  void DeletePathButtonClick();

  // The listed folders, in order.
  std::vector<std::string> Folders() const;

  // Closing by any road runs the close step before the dialog ends.
  void done(int Result) override;

  QFrame* Bevel1;
  QLabel* LabelDescription;
  QListWidget* PathListBox;
  QToolButton* AddPathButton;
  QToolButton* DeletePathButton;
  QPushButton* Button1;

 protected:
  // Centred on the main window at every show, as large as the screen allows.
  void showEvent(QShowEvent* Event) override;

 private:
  void FormCreate();
  void FormClose();
  void AppendFolder(const std::string& Folder);

  QComboBox* PathComboBox_;
};

}  // namespace pictrim
