// MainWindowActions: what the main window can be asked to do, one operation
// per command action, and RouteCommand, which turns a command number into one
// of them. Both desktop shells implement it, so the routing is written once.
#pragma once

namespace kivo {

class MainWindowActions {
 public:
  virtual ~MainWindowActions() = default;

  virtual void Refresh() = 0;           // 1010
  virtual void SelectController() = 0;  // a new selection in box 1023
  virtual void HideWindow() = 0;        // 1027, 32772, the Escape key
  virtual void TakeSnapshot() = 0;      // 32776, 32783
  virtual void CopyReport() = 0;        // 32780, 202
  virtual void Exit() = 0;              // 32771, 203
  virtual void ToggleAudioItem() = 0;   // 32785
  virtual void ShowHelp() = 0;          // 57670
  virtual void ShowAbout() = 0;         // 32773, 32781
  virtual void ViewAlarms() = 0;        // 201
  virtual void OpenEmailSetup() = 0;    // 32778
  virtual void EndWithOk() = 0;         // IDOK
};

// Performs the action of command `id` on `window`; numbers without an
// action are ignored.
void RouteCommand(MainWindowActions& window, int id);

}  // namespace kivo
