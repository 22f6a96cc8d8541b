// MainWindow: the Win32 shell's main window (template 102, menu 132): its
// window procedure and controls, the alert window, the tray icon and the SMTP
// sender. MainWindowModel runs its steps (start-up, refresh, selection, exit)
// and the monitor. Start-up runs it modally for the life of the program.
#pragma once

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "shell/MainWindowActions.h"
#include "shell/MainWindowLogic.h"
#include "shell/MainWindowModel.h"
#include "win32ui/AlertWindow.h"
#include "win32ui/AsyncSocketWatcher.h"
#include "win32ui/WinApi.h"
#include "win32ui/WinMessageBoxes.h"

namespace kivo::win32ui {

class MainWindow : public MainWindowView, public MailOwner, public MainWindowActions {
 public:
  // The modal result after Exit (not OK 1 or Cancel 2: the icon is gone).
  static constexpr int kExitResult = MainWindowModel::kExitResult;

  // context: the platform objects; its message boxes must be `boxes`, which
  // the window points at itself. monitorClock paces the monitor thread.
  MainWindow(HINSTANCE instance, const platform::PlatformContext& context, WinMessageBoxes& boxes,
             platform::Clock& monitorClock);
  ~MainWindow() override;
  MainWindow(const MainWindow&) = delete;
  MainWindow& operator=(const MainWindow&) = delete;

  // The message a second start with "-max" posts to the running window (found
  // by its title) so that the main window comes up, raised and active.
  static UINT ShowRequestMessage();

  void SetStartHidden(int startHidden) { model_->SetStartHidden(startHidden); }
  // Creates the window and runs it until Exit (or OK); returns the result.
  int RunModal();
  HWND Handle() const { return window_; }

  // MainWindowView.
  int SelectedEntry() override;
  int FindEntry(const std::string& text) override;
  void SetEntries(const std::vector<std::string>& entries, int selected) override;
  void SetUnitRows(int firstTime, const DisplayRow* rows, int count) override;
  void SetDisplayTexts(const DisplayTexts& texts) override;
  void SetBusy(bool busy) override;
  void SetAudioMark(bool checked) override;
  void AddTrayIcon(const char* tip) override;
  void RemoveTrayIcon() override;
  void CreateAlert() override;
  void ShowAlert(const std::string& line) override;
  void SilenceAlert() override;
  void PostMonitorMessage(std::uint32_t wParam) override;
  void PostHideRequest() override;
  void EndRun(int result) override;

  // MailOwner.
  void SendMailStatus(int wParam, long lParam) override;
  void PostMailStatus(int wParam, long lParam) override;

 private:
  static INT_PTR CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
  BOOL OnInitDialog();
  void OnCommand(int id, int code, LPARAM control);
  void OnPaint();
  void EndModal(int result);
  void ShowRequested();

  // MainWindowActions.
  void Refresh() override;
  void SelectController() override;
  void HideWindow() override;
  void TakeSnapshot() override;
  void CopyReport() override;
  void Exit() override;
  void ToggleAudioItem() override;
  void ShowHelp() override;
  void ShowAbout() override;
  void ViewAlarms() override;
  void OpenEmailSetup() override;
  void EndWithOk() override;

  HINSTANCE instance_;
  platform::PlatformContext context_;
  platform::PlatformContext monitorContext_;
  WinMessageBoxes& boxes_;
  HWND window_ = nullptr;
  HICON appIcon_ = nullptr;
  HICON appIconSmall_ = nullptr;
  HIMAGELIST smallIcons_ = nullptr;
  bool columnsCreated_ = false;
  // Whether the help command came from the "Help" button (its topic) or
  // from the menu or outside (the contents).
  bool helpFromButton_ = false;
  HCURSOR cursorBeforeScan_ = nullptr;
  bool running_ = false;
  int result_ = 0;

  ServiceLink link_;
  AlertWindow alert_;
  AsyncSocketWatcher socketWatcher_;
  EmailLog emailLog_;
  MailSender mailSender_;
  std::unique_ptr<MainWindowModel> model_;
};

}  // namespace kivo::win32ui
