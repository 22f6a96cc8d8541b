// The windows as assistive technologies see them (Qt's accessibility
// interfaces, which its AT-SPI bridge hands on): the alert window is an alert
// whose message text is named by the newest entry, the unit list is named,
// each value is labelled by its caption, and every control is reached with
// the Tab key.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QPlainTextEdit>
#include <QTest>
#include <QTreeWidget>
#include <algorithm>

#include "MainDialogFixture.h"

namespace kivo::test {
namespace {

QAccessibleInterface* Accessible(QObject* object) {
  return QAccessible::queryAccessibleInterface(object);
}

// The object names of the widgets that take the focus, Tab after Tab, from
// the window's first one until the cycle closes (at most `limit` steps),
// sorted.
std::vector<std::string> TabCycle(QWidget& window, int limit) {
  window.show();
  window.activateWindow();
  EXPECT_TRUE(QTest::qWaitForWindowActive(&window));
  std::vector<std::string> order;
  QWidget* first = QApplication::focusWidget();
  if (first == nullptr) return order;
  order.push_back(first->objectName().toStdString());
  for (int i = 0; i < limit; ++i) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QWidget* now = QApplication::focusWidget();
    if (now == nullptr || now == first) break;
    order.push_back(now->objectName().toStdString());
  }
  std::sort(order.begin(), order.end());
  return order;
}

using AccessibilityTest = MainDialogTest;

TEST_F(AccessibilityTest, TheAlertWindowIsAnAlertWhoseTextIsNamedByTheNewestEntry) {
  MainDialog& dialog = Open(1);
  AlertDialog& alert = *dialog.Alert();
  QAccessibleInterface* window = Accessible(&alert);
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(window->role(), QAccessible::AlertMessage) << "a screen reader does not announce a dialog";
  EXPECT_EQ(window->text(QAccessible::Name).toStdString(), "Kivo - Event Notification Message");

  auto* text = alert.findChild<QPlainTextEdit*>(QStringLiteral("control1013"));
  ASSERT_NE(text, nullptr);
  alert.ShowAlert(
      "TIME: Tue Dec 08 06:01:02 2026 MESSAGE: Drive timeout encountered on unit 1 on controller ID:2.\r\n");
  alert.ShowAlert(
      "TIME: Tue Dec 08 06:01:09 2026 MESSAGE: Drive error encountered on unit 3 on controller ID:2.\r\n");
  EXPECT_EQ(Accessible(text)->text(QAccessible::Name).toStdString(),
            "TIME: Tue Dec 08 06:01:09 2026 MESSAGE: Drive error encountered on unit 3 on controller ID:2.");
  EXPECT_EQ(window->text(QAccessible::Description), Accessible(text)->text(QAccessible::Name));
  // The whole text stays the text's value.
  EXPECT_NE(Accessible(text)->textInterface(), nullptr);
}

TEST_F(AccessibilityTest, TheUnitListIsNamedAndEachValueIsLabelledByItsCaption) {
  MainDialog& dialog = Open();
  EXPECT_EQ(Accessible(dialog.UnitList())->text(QAccessible::Name).toStdString(), "Units");
  const std::pair<int, const char*> pairs[] = {
      {1001, "Driver:"},
      {1004, "BIOS:"},
      {1003, "Firmware:"},
      {1002, "Monitor:"},
      {1005, "PCBA:"},
      {1006, "A Chip:"},
      {1009, "Model:"},
      {1007, "P Chip:"},
      {1035, "Computer name:"},
      {1008, "Time:"},
      {1000, "Operating System:"},
      {1037, "Units:"},
  };
  for (const auto& [id, caption] : pairs) {
    QLabel* value = dialog.findChild<QLabel*>(QStringLiteral("control%1").arg(id));
    ASSERT_NE(value, nullptr) << id;
    const auto labels = Accessible(value)->relations(QAccessible::Label);
    ASSERT_EQ(labels.size(), 1) << id << " has no caption";
    EXPECT_EQ(labels.first().first->text(QAccessible::Name).toStdString(), caption) << id;
  }
}

TEST_F(AccessibilityTest, EveryControlIsReachedWithTheTabKey) {
  MainDialog& dialog = Open();
  EXPECT_EQ(TabCycle(dialog, 20), (std::vector<std::string>{"control1010", "control1011", "control1023",
                                                            "control1027", "control57670"}));
  AlertDialog& alert = *dialog.Alert();
  alert.ShowAlert("TIME: x MESSAGE: something\r\n");
  EXPECT_EQ(TabCycle(alert, 20),
            (std::vector<std::string>{"control1", "control1013", "control1034", "control2"}));
}

}  // namespace
}  // namespace kivo::test
