// AboutBox: the About box (template 100) run modally for Help › "&About
// Kivo...", the tray menu's item and the system menu's item. Only one is open
// at a time; over the hidden main window it stands on its own. It carries the
// main window's title, so a program that looks for the utility by its title
// may find the box: the box hands such a program's commands on to the main
// window.
#pragma once

#include "win32ui/WinApi.h"

namespace kivo::win32ui {

class AboutBox {
 public:
  // Runs the box and returns when it closes; a request while one is open
  // brings that one forward and returns at once.
  static void Run(HINSTANCE instance, HWND mainWindow);
  // The box now open, or null.
  static HWND Current();

 private:
  static INT_PTR CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
};

}  // namespace kivo::win32ui
