// The shell tests run inside one QApplication on the offscreen platform.
#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>

int main(int argc, char** argv) {
  if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  // No test reaches the desktop of whoever runs them: the tray item and the
  // notifications go to a bus that is not there, unless a test starts its
  // own.
  setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/kivo-tests-bus", 1);
  QApplication app(argc, argv);
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
