// Takes pictures of the main window as a user sees it on a real X display
// (run by scripts/screenshots.sh under Xvfb), in German and in English: each
// tab, the favourites mode, a chosen folder, the progress panel with its
// preview strip during a resize job, the window after the job, and the
// renaming tab with its preview and, after the run, its undo button. Given a
// name for the screen (its size and scale), it takes the whole screen
// instead: each tab, a job whose error lines are long, and the windows after
// a switch of language from English to German and back.
//
//   pictrim_screenshots OUTPUT_FOLDER [SCREEN_NAME]
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QGuiApplication>
#include <QMessageBox>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <utility>

#include "engine/Resize.h"
#include "image/ImageBitmap.h"
#include "settings/SettingsFolder.h"
#include "tests/common/TestPictures.h"
#include "ui/FileSizeTab.h"
#include "ui/FolderAndOptions.h"
#include "ui/Main.h"
#include "ui/Progress.h"
#include "ui/ProgressPanel.h"
#include "ui/RadioGroup.h"
#include "ui/RenameTab.h"
#include "ui/ResizeTab.h"
#include "ui/WindowHandlers.h"
#include "util/MoreDialogs.h"
#include "widgets/ColorButton.h"

namespace {

using namespace pictrim;

// The window's pixels as the X server holds them, frame included.
void Shoot(QWidget& Window, const QString& File) {
  Window.repaint();
  QApplication::sync();
  QTest::qWait(150);
  const QRect frame = Window.frameGeometry();
  const QPixmap shot =
      Window.screen()->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height());
  if (!shot.save(File)) std::fprintf(stderr, "could not write %s\n", qPrintable(File));
  std::printf("%s\n", qPrintable(File));
}

void UseLanguage(TMainForm& Form, const QString& Name) {
  const int index = Form.SharedArea->LanguageComboBox1->findText(Name);
  if (index < 0) return;
  Form.SharedArea->LanguageComboBox1->setCurrentIndex(index);
  Form.LanguageComboBox1Change();
}

// The main window made, in the language asked, shown at the screen's top left.
void ShowForm(TMainForm& Form, const QString& Language) {
  Form.FormCreate();
  UseLanguage(Form, Language);
  Form.move(40, 40);
  Form.show();
  QTest::qWait(300);
}

void ShootTabs(const QString& Output, const QString& Language) {
  TMainForm form;
  ShowForm(form, Language);
  for (int tab = 0; tab < form.PageControl1->count(); ++tab) {
    form.PageControl1->setCurrentIndex(tab);
    Shoot(form, QStringLiteral("%1/main-%2-tab%3.png").arg(Output, Language).arg(tab + 1));
  }
  // The favourites mode, with its longer folder button caption.
  form.PageControl1->setCurrentIndex(0);
  form.SharedArea->PathRadioGroup->SetItemIndex(2);
  Shoot(form, QStringLiteral("%1/main-%2-favourites.png").arg(Output, Language));
  form.SharedArea->PathRadioGroup->SetItemIndex(1);
}

// A resize job over Count pictures, photographed while file Count - 2 is shown.
void ShootProgress(const QString& Output, const std::string& Pictures, int Count,
                   const QString& Language) {
  TMainForm form;
  ShowForm(form, Language);
  TFolderHandler previous = SetFolderHandler(
      [&](const std::string&, const std::string&) { return std::optional<std::string>(Pictures); });
  form.PageControl1->setCurrentIndex(0);
  form.SharedArea->PathRadioGroup->SetItemIndex(1);
  form.SharedArea->PathButton->click();
  form.ProgressPanel->PreViewCheckBox->setChecked(true);
  form.TabSheet1->RadioGroup1->SetItemIndex(2);
  Shoot(form, QStringLiteral("%1/main-%2-folder-chosen.png").arg(Output, Language));
  form.SetNotificationObserver([&](const TBatchMessage& Message) {
    if (Message.Message == WM_BATCH_PROGRESS && Message.WParam == Count - 2 && Message.LParam > 0)
      Shoot(form, QStringLiteral("%1/progress-panel-%2.png").arg(Output, Language));
  });
  form.TabSheet1->ResizeButton1->Click();
  form.WaitForJob();
  Shoot(form, QStringLiteral("%1/main-%2-after-job.png").arg(Output, Language));
  SetFolderHandler(std::move(previous));
  std::filesystem::remove_all(ResizeOutputFolder(Pictures, 800, 0));
}

// The window and the question box it shows over itself, once the box is
// up; then the box is answered yes.
void ShootQuestionOver(QWidget& Window, const QString& File) {
  auto* poll = new QTimer(&Window);
  QObject::connect(poll, &QTimer::timeout, [&Window, File, poll] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (box == nullptr || !box->isVisible()) return;
    poll->stop();
    QTest::qWait(300);
    const QRect frame = Window.frameGeometry().united(box->frameGeometry());
    const QPixmap shot =
        Window.screen()->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height());
    if (!shot.save(File)) std::fprintf(stderr, "could not write %s\n", qPrintable(File));
    std::printf("%s\n", qPrintable(File));
    box->button(QMessageBox::Yes)->click();
    poll->deleteLater();
  });
  poll->start(50);
}

// A renaming run over Folder: the tab with the names the run is about to
// give while the question is asked, and the tab after the run.
void ShootRenaming(const QString& Output, const std::string& Folder, const QString& Language) {
  TMainForm form;
  ShowForm(form, Language);
  form.PageControl1->setCurrentIndex(2);
  form.TabSheet3->RadioGroup3->SetItemIndex(1);
  TFolderHandler previousFolder = SetFolderHandler(
      [&](const std::string&, const std::string&) { return std::optional<std::string>(Folder); });
  TQuestionHandler previousQuestion = SetQuestionHandler([&](const std::string& Text) {
    ShootQuestionOver(form, QStringLiteral("%1/rename-%2-preview.png").arg(Output, Language));
    return AskQuestionBox(&form, Text);
  });
  TCheckedMessageHandler previousBoxes =
      SetCheckedMessageHandler([](const std::string&, const std::string&) { return true; });
  form.TabSheet3->EditFileNameButton->click();
  Shoot(form, QStringLiteral("%1/rename-%2-after-run.png").arg(Output, Language));
  form.TabSheet3->UndoRenameButton->click();
  SetFolderHandler(std::move(previousFolder));
  SetQuestionHandler(std::move(previousQuestion));
  SetCheckedMessageHandler(std::move(previousBoxes));
}

// The whole screen, as the window manager placed the windows on it.
void ShootScreen(const QString& File) {
  QApplication::sync();
  QTest::qWait(400);
  const QPixmap shot = QGuiApplication::primaryScreen()->grabWindow(0);
  if (!shot.save(File)) std::fprintf(stderr, "could not write %s\n", qPrintable(File));
  std::printf("%s\n", qPrintable(File));
}

// The windows on the screen named Screen: each tab, a resize job whose error
// lines are long, and both languages after a switch.
void ShootOnScreen(const QString& Output, const QString& Screen, const std::string& Work) {
  const std::string source = Work + "Fotos vom Sommerurlaub an der Ostsee mit der ganzen Familie/" +
                             std::string(60, 'x') + "/";
  std::filesystem::create_directories(source);
  for (int i = 0; i < 3; ++i)
    test::WriteJpeg(source + "IMG_" + std::to_string(2000 + i) + ".jpg", 800, 600, 90,
                    static_cast<unsigned>(i + 1));
  test::WriteJpeg(source + "IMG_2100 beschnitten.jpg", 800, 600);
  std::filesystem::resize_file(source + "IMG_2100 beschnitten.jpg",
                               std::filesystem::file_size(source + "IMG_2100 beschnitten.jpg") / 2);
  test::WriteJpeg(source + "IMG_2101.jpg", 60, 40);
  test::WriteJpeg(source + "IMG_2101.png", 60, 40);  // its copy's name is taken

  TMainForm form;
  form.FormCreate();
  UseLanguage(form, QStringLiteral("English"));
  form.show();
  QTest::qWait(500);
  for (int tab = 0; tab < form.PageControl1->count(); ++tab) {
    form.PageControl1->setCurrentIndex(tab);
    ShootScreen(QStringLiteral("%1/screen-%2-tab%3.png").arg(Output, Screen).arg(tab + 1));
  }
  form.PageControl1->setCurrentIndex(0);
  TFolderHandler previous = SetFolderHandler(
      [&](const std::string&, const std::string&) { return std::optional<std::string>(source); });
  for (const auto& [from, to] : {std::pair{QStringLiteral("English"), QStringLiteral("German")},
                                 std::pair{QStringLiteral("German"), QStringLiteral("English")}}) {
    UseLanguage(form, from);
    form.SharedArea->OverwriteCheckBox->setChecked(true);
    form.SharedArea->PathRadioGroup->SetItemIndex(1);
    form.SharedArea->PathButton->click();
    form.TabSheet1->ResizeButton1->Click();
    form.WaitForJob();
    ShootScreen(QStringLiteral("%1/screen-%2-errors-%3.png").arg(Output, Screen, from));
    UseLanguage(form, to);
    ShootScreen(QStringLiteral("%1/screen-%2-switched-to-%3.png").arg(Output, Screen, to));
    form.ProgressWindow()->OKbuttonClick();
  }
  SetFolderHandler(std::move(previous));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2 && argc != 3) {
    std::fprintf(stderr, "usage: pictrim_screenshots OUTPUT_FOLDER [SCREEN_NAME]\n");
    return 2;
  }
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Pictrim"));
  UseWindowFont();
  InitImageLibrary();
  const QString output = QDir(QString::fromLocal8Bit(argv[1])).absolutePath();
  QDir().mkpath(output);
  const std::string work =
      (std::filesystem::temp_directory_path() / ("pictrim-shots-" + std::to_string(::getpid())))
          .string() +
      "/";
  std::filesystem::create_directories(work + "pictures");
  SetSettingsFolder(work);
  if (argc == 3) {
    ShootOnScreen(output, QString::fromLocal8Bit(argv[2]), work);
    std::filesystem::remove_all(work);
    return 0;
  }
  for (const QString& language : {QStringLiteral("German"), QStringLiteral("English")})
    ShootTabs(output, language);
  const int count = 12;
  for (int i = 0; i < count; ++i)
    test::WriteJpeg(work + "pictures/IMG_" + std::to_string(1000 + i) + ".jpg", 1600, 1200, 90,
                    static_cast<unsigned>(i + 3));
  for (const QString& language : {QStringLiteral("German"), QStringLiteral("English")})
    ShootProgress(output, work + "pictures/", count, language);
  // A camera's and a phone's files, the journal of their renaming beside them.
  std::filesystem::create_directories(work + "camera");
  ::setenv("XDG_STATE_HOME", (work + "state").c_str(), 1);
  for (const char* name : {"P6150001.JPG", "P6150001.ORF", "P6150002.JPG", "IMG_7001.HEIC",
                           "IMG_7001.MOV", "IMG_7001.AAE", "notes.txt"})
    test::WriteJpeg(work + "camera/" + name, 16, 16);
  for (const QString& language : {QStringLiteral("German"), QStringLiteral("English")})
    ShootRenaming(output, work + "camera/", language);
  std::filesystem::remove_all(work);
  return 0;
}
