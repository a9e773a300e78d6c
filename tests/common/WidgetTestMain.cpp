// Test main for the widgets and windows: a QApplication on Qt's offscreen platform with
// the program's small window font, so that nothing needs a display.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFont>

#include <cstdlib>

#include "tests/common/TempDir.h"

// libwmf hands the drawn picture of a metafile over and offers no call to
// release it; the leak checker is told so.
extern "C" const char* __lsan_default_suppressions() { return "leak:libwmf-0.2.so\n"; }

int main(int argc, char** argv) {
  ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
  // Renaming runs keep their journals in a state folder of this test run.
  const pictrim::test::TTempDir state;
  ::setenv("XDG_STATE_HOME", state.Path().c_str(), 1);
  QApplication app(argc, argv);
  QFont font("DejaVu Sans");
  font.setPixelSize(11);
  QApplication::setFont(font);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
