// Test main for the widgets: a QApplication on Qt's offscreen platform, so
// that nothing needs a display, with a fixed font for repeatable text.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFont>

#include <cstdlib>

int main(int argc, char** argv) {
  ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication app(argc, argv);
  QFont font("DejaVu Sans");
  font.setPixelSize(11);
  QApplication::setFont(font);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
