// Test main: Qt runs without a display (fonts and painting on QImage need a
// QGuiApplication).
#include <gtest/gtest.h>

#include <QGuiApplication>

#include <cstdlib>

#include "tests/common/TempDir.h"

// libwmf hands the drawn picture of a metafile over and offers no call to
// release it, and the HEVC encoder the tests make their HEIC files with keeps
// a little memory after it is released; the leak checker is told so.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libwmf-0.2.so\nleak:libx265.so\n";
}

int main(int argc, char** argv) {
  ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
  // Renaming runs keep their journals in a state folder of this test run.
  const pictrim::test::TTempDir state;
  ::setenv("XDG_STATE_HOME", state.Path().c_str(), 1);
  QGuiApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
