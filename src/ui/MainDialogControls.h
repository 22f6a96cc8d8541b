// MainDialogControls: the controls of the main window's template 102 and its
// menu 132, built on the Qt main window and laid out in its font. Controls
// and menu items hand their command numbers to the window's dispatch. Used
// by MainDialog only.
#pragma once

#include <QObject>
#include <array>
#include <functional>

#include "ui/TemplateLayout.h"

class QAction;
class QComboBox;
class QDialog;
class QLabel;
class QMenuBar;
class QTreeWidget;
class QWidget;

namespace kivo {

class MainDialogControls {
 public:
  static constexpr int kSmallIconSize = 16;

  MainDialogControls(QDialog& window, std::function<void(int)> dispatch);

  // Lays the template out in the window's font, makes room for the texts and
  // sizes the window around them.
  void LayOut();
  bool Built() const { return client_ != nullptr; }

  QComboBox* ControllerBox() const { return controllerBox_; }
  QTreeWidget* UnitList() const { return unitList_; }
  QMenuBar* MenuBar() const { return menuBar_; }
  // The display control with this id (1000 and up), or null.
  QLabel* Control(int id) const;
  // The menu action carrying a command number, or null.
  QAction* ActionFor(int command) const;

 private:
  void BuildMenu();
  void BuildTemplate();
  // A static text of the template; one with an id shows a display text.
  QLabel* AddText(int id, const char* text, int x, int y, int width, int height);
  // Ties a value to its caption; returns the value.
  static QLabel* Caption(QLabel* caption, QLabel* value);

  QDialog& window_;
  std::function<void(int)> dispatch_;
  TemplateLayout layout_;
  QMenuBar* menuBar_ = nullptr;
  QWidget* client_ = nullptr;
  QComboBox* controllerBox_ = nullptr;
  QTreeWidget* unitList_ = nullptr;
  std::array<QLabel*, 64> controls_{};  // display controls by id - 1000
};

}  // namespace kivo
