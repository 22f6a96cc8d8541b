// The test program's entry: a QApplication on the offscreen platform (so the
// dialogs can be built without a display), then every test.
#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>

int main(int argc, char** argv) {
  ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
  // No test reaches the desktop of whoever runs them: the tray item and the
  // notifications go to a bus that is not there.
  ::setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/kivo-tests-bus", 1);
  ::testing::InitGoogleTest(&argc, argv);
  QApplication application(argc, argv);
  return RUN_ALL_TESTS();
}
