// The main of test programs that need a QApplication. Widget tests run
// without a display on the offscreen platform. Built with DRAVONIK_TEST_SCALE_FACTOR, it
// sets Qt's scale factor, which must be set before the application starts.
#include <gtest/gtest.h>
#include <QApplication>

int main(int argc, char** argv) {
#ifdef DRAVONIK_TEST_SCALE_FACTOR
  qputenv("QT_SCALE_FACTOR", DRAVONIK_TEST_SCALE_FACTOR);
#endif
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
  }
  QApplication application(argc, argv);
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
