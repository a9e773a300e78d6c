#include <gtest/gtest.h>

#include <QApplication>
#include <QTimer>
#include <QWidget>

#include <cstdlib>
#include <sstream>
#include <string>

#include "app/DesktopRun.h"
#include "tests/common/TempDir.h"
#include "tests/common/TestPictures.h"
#include "ui/WindowHandlers.h"
#include "util/Texts.h"

namespace pictrim {
namespace {

TCommandLine UnattendedOn(const std::string& Folder, uint32_t Edge) {
  TCommandLine command;
  command.Kind = TCommandKind::Unattended;
  command.SourceFolder = Folder;
  command.PixelSize = Edge;
  return command;
}

// The window ends the run by itself; the error lines it showed are printed
// as well, and the status says that there were some.
TEST(UnattendedRunOnADesktop, endsByItselfAndPrintsTheErrorLinesItShowed) {
  test::TTempDir dir;
  test::WriteJpeg(dir / "Fotos/a.jpg", 640, 480);
  test::WriteJpeg(dir / "Fotos/Urlaub/b.jpg", 300, 400);
  test::WritePicture(dir / "Fotos/c.bmp", 200, 100, FIF_BMP);
  test::WriteTextFile(dir / "Fotos/leer.bmp", "BM not a bitmap");
  std::ostringstream out, err;
  EXPECT_EQ(RunUnattendedOnDesktop(UnattendedOn(dir / "Fotos/", 100), out, err), 1);
  EXPECT_NE(err.str().find("leer.bmp"), std::string::npos) << err.str();
  EXPECT_EQ(out.str(), dir / "Fotos_SIZE100/\n");
  EXPECT_EQ(test::PictureSize(dir / "Fotos_SIZE100/a.jpg"), QSize(100, 75));
  EXPECT_EQ(test::PictureSize(dir / "Fotos_SIZE100/Urlaub/b.jpg"), QSize(75, 100));
  EXPECT_FALSE(test::PictureSize(dir / "Fotos_SIZE100/c.jpg").isEmpty());  // the BMP batch ran too
  // No window of the run stays behind.
  for (QWidget* widget : QApplication::topLevelWidgets()) EXPECT_FALSE(widget->isVisible());
}

TEST(UnattendedRunOnADesktop, aCleanTreeEndsWithStatusZeroAndAMissingFolderWithTwo) {
  test::TTempDir dir;
  test::WriteJpeg(dir / "Fotos/a.jpg", 64, 48);
  std::ostringstream out, err;
  UseBuiltInTexts(TLanguage::English);  // as in an English locale
  EXPECT_EQ(RunUnattendedOnDesktop(UnattendedOn(dir / "Fotos/", 32), out, err), 0);
  UseBuiltInTexts(TLanguage::German);
  EXPECT_EQ(err.str(), "1 written, 0 skipped, 0 failed\n");
  EXPECT_EQ(RunUnattendedOnDesktop(UnattendedOn(dir / "nicht da/", 32), out, err), 2);
}

// Qt's own buttons in the run's windows speak the language of the
// environment, as the run's texts do.
TEST(UnattendedRunOnADesktop, qtsOwnButtonsSpeakTheLanguageOfTheEnvironment) {
  test::TTempDir dir;
  test::WriteJpeg(dir / "Fotos/a.jpg", 64, 48);
  std::ostringstream out, err;
  for (const char* name : {"LC_ALL", "LC_MESSAGES"}) ::unsetenv(name);
  const char* before = std::getenv("LANG");
  const std::string lang = before != nullptr ? before : "";
  ::setenv("LANG", "de_DE.UTF-8", 1);
  RunUnattendedOnDesktop(UnattendedOn(dir / "Fotos/", 32), out, err);
  EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "Cancel"), "Abbrechen");
  ::setenv("LANG", "C.UTF-8", 1);
  RunUnattendedOnDesktop(UnattendedOn(dir / "Fotos/", 32), out, err);
  EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "Cancel"), "Cancel");
  ::setenv("LANG", lang.c_str(), 1);
  UseQtTranslations("");
  UseBuiltInTexts(TLanguage::German);
}

}  // namespace
}  // namespace pictrim
