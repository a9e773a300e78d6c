// The main window of a test: a settings folder of its own that chooses
// German, a folder chooser answered by the test, message boxes recorded, and
// small picture trees made at run time.
#pragma once

#include <gtest/gtest.h>

#include <QString>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tests/common/TempDir.h"
#include "ui/Main.h"
#include "util/MoreDialogs.h"

class QLineEdit;

namespace pictrim {

class TGradientColorButton;

namespace test {

// Regular files below Folder, all levels; 0 when it is no folder.
int FilesIn(const std::string& Folder);

}  // namespace test

class MainForm : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // A new window over the settings folder, as a new start of the program.
  void Restart();
  // A folder of Count small JPEGs, named in the order the job meets them.
  std::string MakeTree(const std::string& Name, int Count, int Width = 120, int Height = 90);
  // Chooses Folder with the folder chooser.
  void ChooseFolder(const std::string& Folder);
  // Clicks an execute button and waits until its job has ended.
  void Execute(TGradientColorButton* Button);
  void TypeInto(QLineEdit* Edit, const QString& Text);
  // Picks a language in the language box as the user does.
  void PickLanguage(const QString& Language);
  std::string Status() const;

  test::TTempDir Temp;
  std::unique_ptr<TMainForm> Form;
  std::vector<std::string> Messages;
  std::optional<std::string> Answer;  // what the folder chooser answers
  int FolderAsks = 0;
  std::vector<std::string> StartFolders;  // where the chooser was asked to open

 private:
  TMessageHandler PreviousMessage_;
  TFolderHandler PreviousFolder_;
};

}  // namespace pictrim
