// MainWindow: the program's one top-level window (template 102, menu 132). It
// shows one controller at a time, owns the alert window, the tray icon, the
// SMTP sender and the monitor thread, handles the thread's messages and routes
// every command of the program. Start-up runs it modally for the life of the
// program. The decisions are MainDialogLogic's and the core's.
#pragma once

#include <array>
#include <memory>
#include <string>

#include "shell/MainDialogLogic.h"
#include "shell/MainWindowActions.h"
#include "win32ui/AlertWindow.h"
#include "win32ui/AsyncSocketWatcher.h"
#include "win32ui/WinApi.h"
#include "win32ui/WinMessageBoxes.h"

namespace kivo::win32ui {

class MainWindow : public MonitorWindow, public MailOwner, public MainWindowActions {
 public:
  // The modal result after Exit (not OK 1 or Cancel 2: the icon is gone).
  static constexpr int kExitResult = -1;

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

  void SetStartHidden(int startHidden) { startHidden_ = startHidden != 0 ? 1 : 0; }
  // Creates the window and runs it until Exit (or OK); returns the result.
  int RunModal();
  HWND Handle() const { return window_; }

  // MonitorWindow.
  void PostMonitorMessage(std::uint32_t wParam) override;
  void Refresh() override;
  void ShowAlert(const std::string& line) override;
  int FindControllerEntry(const std::string& text) override;
  void ScanControllers(int firstTime) override;
  void ShowController(int firstTime, int row) override;
  void PushDisplayTexts() override;
  void StartMonitorThread() override;

  // MailOwner.
  void SendMailStatus(int wParam, long lParam) override;
  void PostMailStatus(int wParam, long lParam) override;

 private:
  static INT_PTR CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
  BOOL OnInitDialog();
  void OnCommand(int id, int code);
  void OnPaint();
  void FillUnitList(int firstTime, int row);
  void EndModal(int result);
  void ShowRequested();

  // MainWindowActions.
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
  int startHidden_ = 0;
  bool running_ = false;
  bool exited_ = false;
  int result_ = 0;

  EmailSettings email_;
  DisplayTexts texts_;
  ControllerRecords records_;
  int selectedRow_ = 0;
  int controllerTotal_ = 0;

  ServiceLink link_;
  AlertWindow alert_;
  AsyncSocketWatcher socketWatcher_;
  EmailLog emailLog_;
  MailSender mailSender_;
  MonitorEventHandler handler_;
  std::unique_ptr<MonitorThread> monitorThread_;
};

}  // namespace kivo::win32ui
