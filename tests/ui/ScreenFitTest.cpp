// The windows on today's screens: sizes bounded to a screen's available
// area, small windows centred over their parent and pushed inside the area,
// pages that scroll; and the whole program's windows shown on small, scaled
// and large-font screens (pictrim_screen_probe, run once per screen on Qt's
// offscreen platform with a screen of that size).
#include <gtest/gtest.h>

#include <QLabel>
#include <QProcess>
#include <QProcessEnvironment>
#include <QScrollBar>
#include <QVBoxLayout>

#include <filesystem>
#include <string>

#include "tests/common/TempDir.h"
#include "tests/common/TestPictures.h"
#include "ui/ScreenFit.h"
#include "ui/WindowHandlers.h"

namespace pictrim {
namespace {

TEST(ScreenFit, aWindowIsBoundedToTheAreaItsFrameLeaves) {
  const QRect area(0, 0, 683, 400);  // 1024 x 600 at scale 1.5
  const QSize frame(8, 30);
  EXPECT_EQ(FittedSize(QSize(420, 480), frame, area), QSize(420, 370));
  EXPECT_EQ(FittedSize(QSize(700, 300), frame, area), QSize(675, 300));
  EXPECT_EQ(FittedSize(QSize(675, 370), frame, area), QSize(675, 370));     // exactly the room
  EXPECT_EQ(FittedSize(QSize(420, 480), frame, QRect()), QSize(420, 480));  // no screen
}

TEST(ScreenFit, aSmallWindowStandsCentredOverItsParentAndInsideTheArea) {
  const QRect area(0, 24, 1366, 744);  // a panel above
  const QRect parent(100, 100, 420, 480);
  EXPECT_EQ(CentredFrame(QSize(200, 100), parent, area), QRect(210, 290, 200, 100));
  // Near an edge it moves as little as it must to stay on the screen.
  EXPECT_EQ(CentredFrame(QSize(653, 211), QRect(0, 24, 200, 100), area).topLeft(), QPoint(0, 24));
  EXPECT_EQ(CentredFrame(QSize(653, 211), QRect(1200, 700, 166, 68), area).bottomRight(),
            QPoint(1365, 767));
  // Larger than the area: its title bar stays in sight.
  EXPECT_EQ(CentredFrame(QSize(2000, 900), parent, area).topLeft(), QPoint(0, 24));
}

TEST(ScreenFit, aPageAsksForItsWholeSizeAndScrollsInLess) {
  auto* content = new QWidget;
  content->setObjectName("Content");
  auto* layout = new QVBoxLayout(content);
  for (int i = 0; i < 30; ++i) layout->addWidget(new QLabel(QString("line %1").arg(i)));
  TScrollPage page(content);
  EXPECT_EQ(page.objectName(), "ContentScroll");
  EXPECT_GE(page.sizeHint().height(), content->sizeHint().height());
  EXPECT_LT(page.minimumSizeHint().height(), content->sizeHint().height() / 2);
  page.resize(page.sizeHint().width(), content->sizeHint().height() / 2);
  page.show();
  EXPECT_TRUE(page.verticalScrollBar()->isVisible());
  EXPECT_GT(page.verticalScrollBar()->maximum(), 0);
}

TEST(WindowFont, growsWithTheFontResolutionAboveTheUsualOne) {
  EXPECT_EQ(WindowFontPixels(72), 11);
  EXPECT_EQ(WindowFontPixels(96), 11);
  EXPECT_EQ(WindowFontPixels(144), 17);  // 16.5, rounded
  EXPECT_EQ(WindowFontPixels(192), 22);
  EXPECT_EQ(WindowFontPixels(10000), 44);  // at most four times
}

// A screen the probe is shown on: its size in device pixels, Qt's scale
// factor and font resolution ("" for none).
struct TScreen {
  int Width;
  int Height;
  const char* Scale;
  const char* FontDpi;
};

std::string Describe(const TScreen& Screen) {
  return std::to_string(Screen.Width) + "x" + std::to_string(Screen.Height) + " scale " +
         (*Screen.Scale ? Screen.Scale : "1") + " font dpi " +
         (*Screen.FontDpi ? Screen.FontDpi : "96");
}

// Mended: at 1024 x 600 with scale 1.5 the fixed window ran off the screen,
// its strip, status bar and execute button out of reach; the error window's
// close button ran off a 1280-wide screen at scale 2.
TEST(WindowsOnScreens, fitSmallScaledAndLargeFontScreens) {
  const TScreen screens[] = {
      {1024, 600, "1.5", ""}, {1366, 768, "1.5", ""},     {1920, 1080, "2", ""},
      {1024, 600, "", "144"}, {1280, 800, "2", ""},       {800, 480, "", ""},
      {1920, 1080, "", ""},   {1280, 720, "1.25", "120"},
  };
  for (const TScreen& screen : screens) {
    test::TTempDir dir;
    std::filesystem::create_directories(dir / "settings");
    const std::string config = dir / "screen.json";
    test::WriteTextFile(config,
                        "{\"synchronousWindowSystemEvents\": true, "
                        "\"windowFrameMargins\": true, \"screens\": [{\"name\": \"S\", "
                        "\"x\": 0, \"y\": 0, \"width\": " +
                            std::to_string(screen.Width) +
                            ", \"height\": " + std::to_string(screen.Height) +
                            ", \"logicalDpi\": 96, \"logicalBaseDpi\": 96, \"dpr\": 1}]}");
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QT_QPA_PLATFORM", QString::fromStdString("offscreen:configfile=" + config));
    environment.remove("QT_SCALE_FACTOR");
    environment.remove("QT_FONT_DPI");
    if (*screen.Scale) environment.insert("QT_SCALE_FACTOR", screen.Scale);
    if (*screen.FontDpi) environment.insert("QT_FONT_DPI", screen.FontDpi);
    QProcess probe;
    probe.setProcessEnvironment(environment);
    probe.setProcessChannelMode(QProcess::MergedChannels);
    probe.start(PICTRIM_SCREEN_PROBE, {QString::fromStdString(dir / "settings/")});
    ASSERT_TRUE(probe.waitForFinished(-1)) << Describe(screen);
    EXPECT_EQ(probe.exitStatus(), QProcess::NormalExit) << Describe(screen);
    EXPECT_EQ(probe.exitCode(), 0) << Describe(screen) << ":\n" << probe.readAll().toStdString();
  }
}

}  // namespace
}  // namespace pictrim
