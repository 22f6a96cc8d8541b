// MainWindowModel: the main window without its controls. It owns the
// controller records, the display texts, the selection, the monitor's event
// handler and thread and the e-mail settings, and runs the window's steps
// (start-up, refresh, selection, showing a controller, exit) against
// MainWindowView, which each desktop shell implements with its own controls.
// Used by the Qt MainDialog and the Win32 MainWindow.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "controller/ControllerInfo.h"
#include "mail/SettingsStore.h"
#include "monitor/MonitorEventHandler.h"
#include "monitor/MonitorThread.h"
#include "monitor/MonitorWindow.h"
#include "platform/PlatformContext.h"
#include "report/InventoryScan.h"
#include "shell/EmailSetup.h"
#include "shell/MainWindowLogic.h"

namespace kivo {

class MailSender;
class ServiceLink;

// What the model asks of the shell's window.
class MainWindowView {
 public:
  virtual ~MainWindowView() = default;
  // The controller box: the selected entry (-1: none), the entry whose whole
  // text is `text` (-1: none), and new entries with one selected (-1: none).
  virtual int SelectedEntry() = 0;
  virtual int FindEntry(const std::string& text) = 0;
  virtual void SetEntries(const std::vector<std::string>& entries, int selected) = 0;
  // The unit list: the shown controller's rows (none when it has no tables).
  virtual void SetUnitRows(int firstTime, const DisplayRow* rows, int count) = 0;
  virtual void SetDisplayTexts(const DisplayTexts& texts) = 0;
  // The busy cursor while a scan blocks the window.
  virtual void SetBusy(bool busy) = 0;
  // The "Audio Off" menu item's check mark.
  virtual void SetAudioMark(bool checked) = 0;
  virtual void AddTrayIcon(const char* tip) = 0;
  virtual void RemoveTrayIcon() = 0;
  // The alert window: created hidden, shown with a line on top (empty: the
  // text unchanged), and silenced when the program ends.
  virtual void CreateAlert() = 0;
  virtual void ShowAlert(const std::string& line) = 0;
  virtual void SilenceAlert() = 0;
  // Window messages queued for the window's own thread; safe from any thread.
  virtual void PostMonitorMessage(std::uint32_t wParam) = 0;
  virtual void PostHideRequest() = 0;
  // Hides the window and ends its run with this result.
  virtual void EndRun(int result) = 0;
};

class MainWindowModel : public MonitorWindow {
 public:
  // The run's result after Exit (not OK 1 or Cancel 2: the tray icon is gone).
  static constexpr int kExitResult = -1;

  // context: the window's platform objects; monitorContext the monitor
  // thread's (its clock paces the waits). Both outlive the model.
  MainWindowModel(MainWindowView& view, const platform::PlatformContext& context,
                  const platform::PlatformContext& monitorContext, ServiceLink& link);
  ~MainWindowModel() override;
  MainWindowModel(const MainWindowModel&) = delete;
  MainWindowModel& operator=(const MainWindowModel&) = delete;

  void SetStartHidden(int startHidden) { startHidden_ = startHidden != 0 ? 1 : 0; }
  int StartHidden() const { return startHidden_; }
  // The window is shown again: a later start is no longer hidden.
  void ClearStartHidden() { startHidden_ = 0; }

  // The start-up steps once the window exists: tray icon, the first scan
  // (its errors in boxes), the first controller, the audio mark, the e-mail
  // settings, the alert window, monitoring, the texts, and the hide request
  // of a window that starts hidden.
  void Start();
  // The controller box's new selection: rescan with error boxes, show it.
  void SelectController();
  // Exit: the tray icon goes, the alarm stops, monitoring ends, and the run
  // ends with kExitResult. Later calls do nothing.
  void Exit();
  // OK: monitoring ends and the run ends with 1.
  void EndWithOk();
  // The run ends: the monitor thread is stopped and joined before the
  // message lock goes, so it never posts to a window that is gone.
  void StopMonitoring();
  // One monitor message on the window's thread; after Exit it is dropped.
  int HandleMonitorMessage(std::uint32_t wParam);
  // The e-mail setup command over `form`, sending the test through `sender`.
  void OpenEmailSetup(EmailSetupForm& form, MailSender& sender);

  // MonitorWindow.
  void PostMonitorMessage(std::uint32_t wParam) override;
  void Refresh() override;
  void ShowAlert(const std::string& line) override;
  int FindControllerEntry(const std::string& text) override;
  void ScanControllers(int firstTime) override;
  void ShowController(int firstTime, int row) override;
  void PushDisplayTexts() override;
  void StartMonitorThread() override;

  const DisplayTexts& Texts() const { return texts_; }
  ControllerRecords& Controllers() { return records_; }
  int ControllerTotal() const { return controllerTotal_; }
  int SelectedRow() const { return selectedRow_; }
  EmailSettings& Email() { return email_; }
  bool MonitorRunning() const;
  bool Exited() const { return exited_; }

 private:
  MainWindowView& view_;
  const platform::PlatformContext& context_;
  const platform::PlatformContext& monitorContext_;
  ServiceLink& link_;
  int startHidden_ = 0;
  bool exited_ = false;
  EmailSettings email_;
  DisplayTexts texts_;
  ControllerRecords records_;
  int selectedRow_ = 0;
  int controllerTotal_ = 0;
  MonitorEventHandler handler_;
  std::unique_ptr<MonitorThread> monitorThread_;
};

}  // namespace kivo
