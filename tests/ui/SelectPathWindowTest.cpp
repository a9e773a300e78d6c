// The favourite-folder dialog: at most three folders, absolute and different
// ones only, vanished folders dropped, the buttons' and the combo's enabling,
// and the list written back into the main window's combo box on close.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QLayout>
#include <QListWidget>
#include <QPushButton>
#include <QToolButton>

#include <deque>
#include <filesystem>
#include <optional>

#include "tests/common/TempDir.h"
#include "ui/SelectPathWindow.h"
#include "util/MoreDialogs.h"

namespace pictrim {
namespace {

class PathWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    Previous = SetFolderHandler([this](const std::string&, const std::string&) {
      ++Asked;
      std::optional<std::string> answer = Answers.empty() ? std::nullopt : Answers.front();
      if (!Answers.empty()) Answers.pop_front();
      return answer;
    });
  }
  void TearDown() override { SetFolderHandler(Previous); }

  // A folder that exists, ending with "/".
  std::string Folder(const std::string& Name) {
    std::filesystem::create_directories(Dir / Name);
    return Dir / (Name + "/");
  }
  void Store(const std::vector<std::string>& Folders) {
    for (const std::string& folder : Folders) Combo.addItem(QString::fromStdString(folder));
  }
  std::vector<std::string> ComboItems() const {
    std::vector<std::string> items;
    for (int i = 0; i < Combo.count(); ++i) items.push_back(Combo.itemText(i).toStdString());
    return items;
  }
  void Add(TPathWindow& Window, std::optional<std::string> Answer) {
    Answers.push_back(std::move(Answer));
    Window.AddPathButtonClick();
  }

  test::TTempDir Dir;
  QComboBox Combo;
  std::deque<std::optional<std::string>> Answers;
  int Asked = 0;
  TFolderHandler Previous;
};

TEST_F(PathWindow, opensAtItsSizeWithItsCaptions) {
  TPathWindow window(&Combo);
  EXPECT_EQ(window.windowTitle(), QString::fromUtf8("Verzeichnis-Liste bearbeiten"));
  EXPECT_EQ(window.size(), QSize(373, 209));
  EXPECT_EQ(window.AddPathButton->text(), QString::fromUtf8("neues Verzeichnis hinzufügen"));
  EXPECT_EQ(window.DeletePathButton->text(), QString::fromUtf8("Verzeichnis entfernen"));
  window.layout()->activate();
  window.Bevel1->layout()->activate();
  // OK below the bevel, as wide as it, at the bottom of the window.
  const QRect ok = window.Button1->geometry();
  const QRect bevel = window.Bevel1->geometry();
  EXPECT_EQ(bevel.topLeft(), QPoint(16, 16));
  EXPECT_EQ(ok.left(), bevel.left());
  EXPECT_EQ(ok.width(), bevel.width());
  EXPECT_GT(ok.top(), bevel.bottom());
  EXPECT_LE(ok.bottom(), window.height() - 8);
  // Both flat buttons show their whole caption, side by side inside the bevel.
  for (const QToolButton* button : {window.AddPathButton, window.DeletePathButton}) {
    EXPECT_GE(button->width(), button->sizeHint().width()) << button->text().toStdString();
    EXPECT_EQ(button->parentWidget(), window.Bevel1);
    EXPECT_TRUE(window.Bevel1->rect().contains(button->geometry()));
  }
  EXPECT_LT(window.AddPathButton->geometry().right(), window.DeletePathButton->x());
}

TEST_F(PathWindow, aFourthFolderCannotBeAdded) {
  Store({Folder("a"), Folder("b"), Folder("c"), Folder("d")});
  TPathWindow full(&Combo);
  EXPECT_EQ(full.Folders(), (std::vector<std::string>{Folder("a"), Folder("b"), Folder("c")}));
  EXPECT_FALSE(full.AddPathButton->isEnabled());
  Add(full, Folder("e"));
  EXPECT_EQ(Asked, 0);
  EXPECT_EQ(full.PathListBox->count(), 3);

  Combo.clear();
  Store({Folder("a"), Folder("b")});
  TPathWindow two(&Combo);
  EXPECT_TRUE(two.AddPathButton->isEnabled());
  Add(two, Folder("c"));
  EXPECT_EQ(two.PathListBox->count(), 3);
  EXPECT_FALSE(two.AddPathButton->isEnabled());
}

TEST_F(PathWindow, refusesDuplicatesRelativePathsAndACancelledChooser) {
  TPathWindow window(&Combo);
  Add(window, Dir.Path() + "x");  // the chooser's answer gains its closing "/"
  Add(window, Dir.Path() + "x/");
  Add(window, std::string("relative/folder/"));
  Add(window, std::nullopt);
  Add(window, std::string());
  EXPECT_EQ(window.Folders(), std::vector<std::string>{Dir.Path() + "x/"});

  // Texts compare exactly: another letter case is another folder here.
  Add(window, Dir.Path() + "X/");
  EXPECT_EQ(window.PathListBox->count(), 2);
  EXPECT_EQ(Asked, 6);
}

TEST_F(PathWindow, dropsAVanishedFavouriteOnOpenAndFromTheComboOnClose) {
  const std::string gone = Folder("gone");
  Store({Folder("a"), gone, Folder("b")});
  std::filesystem::remove(gone);
  TPathWindow window(&Combo);
  EXPECT_EQ(window.Folders(), (std::vector<std::string>{Folder("a"), Folder("b")}));

  window.Button1->click();
  EXPECT_EQ(ComboItems(), (std::vector<std::string>{Folder("a"), Folder("b")}));
  EXPECT_EQ(Combo.currentIndex(), -1);
  EXPECT_TRUE(Combo.currentText().isEmpty());
}

TEST_F(PathWindow, closingByTheTitleBarWritesTheListBackToo) {
  TPathWindow window(&Combo);
  window.show();
  Add(window, Folder("neu"));
  EXPECT_TRUE(window.close());
  EXPECT_EQ(ComboItems(), std::vector<std::string>{Folder("neu")});
}

TEST_F(PathWindow, theDeleteButtonAndTheComboFollowTheListBeingEmpty) {
  {
    TPathWindow empty(&Combo);
    EXPECT_TRUE(empty.DeletePathButton->isEnabled());
  }

  Store({Folder("a")});
  TPathWindow window(&Combo);
  window.PathListBox->setCurrentRow(0);
  window.DeletePathButtonClick();
  EXPECT_EQ(window.PathListBox->count(), 0);
  EXPECT_FALSE(window.DeletePathButton->isEnabled());
  EXPECT_FALSE(Combo.isEnabled());
  EXPECT_TRUE(window.AddPathButton->isEnabled());

  Add(window, Folder("b"));
  EXPECT_TRUE(window.DeletePathButton->isEnabled());
  EXPECT_TRUE(Combo.isEnabled());
}

TEST_F(PathWindow, deleteWithoutASelectionChangesNothing) {
  Store({Folder("a"), Folder("b"), Folder("c")});
  TPathWindow window(&Combo);
  window.DeletePathButtonClick();
  EXPECT_EQ(window.PathListBox->count(), 3);
  EXPECT_FALSE(window.AddPathButton->isEnabled());

  // After a removal nothing is selected, so a second click removes nothing more.
  window.PathListBox->setCurrentRow(1);
  window.DeletePathButton->click();
  window.DeletePathButton->click();
  EXPECT_EQ(window.Folders(), (std::vector<std::string>{Folder("a"), Folder("c")}));
  EXPECT_TRUE(window.AddPathButton->isEnabled());
  EXPECT_TRUE(window.DeletePathButton->isEnabled());
  EXPECT_TRUE(Combo.isEnabled());
}

}  // namespace
}  // namespace pictrim
