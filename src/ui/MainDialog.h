// MainDialog: the Qt shell's main window: its controls (template 102, menu 132,
// built by MainDialogControls), the alert window, the tray icon, its window
// messages and painting.
// MainWindowModel runs its steps (start-up, refresh, selection, exit) and the
// monitor. Start-up constructs it and runs it modally (exec) for the life of
// the program.
#pragma once

#include <QDBusConnection>
#include <QDialog>
#include <QIcon>
#include <QRect>
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "controller/ControllerInfo.h"
#include "mail/EmailLog.h"
#include "mail/MailSender.h"
#include "mail/SettingsStore.h"
#include "mail/SmtpSession.h"
#include "platform/PlatformContext.h"
#include "shell/MainWindowActions.h"
#include "shell/MainWindowLogic.h"
#include "shell/MainWindowModel.h"
#include "ui/DesktopServices.h"
#include "ui/MainDialogControls.h"
#include "ui/QtSocketWait.h"
#include "ui/QtSocketWatcher.h"
#include "ui/TrayIcon.h"
#include "ui/WindowActivation.h"

class QAction;
class QComboBox;
class QEventLoop;
class QMenuBar;
class QTreeWidget;

namespace kivo {

class AlertDialog;
class QtDesktopPresence;
class ServiceLink;

// Objects the window uses instead of its own defaults (tests, start-up). A
// context without message boxes or launcher gets the Qt ones.
struct MainDialogServices {
  ServiceLink* serviceLink = nullptr;       // default: a link over context.rpcDirectory
  platform::Clock* monitorClock = nullptr;  // the monitor thread's waits; default context.clock
  Beeper* beeper = nullptr;                 // default: SoundBeeper
  Flasher* flasher = nullptr;               // default: AttentionFlasher
  // The bus of the tray item and the notifications; default: the session bus.
  std::optional<QDBusConnection> bus;
};

// The commands whose work lives outside the window (start-up fills them in).
// Empty hooks do nothing, except showAbout, whose default is the About box.
struct ShellCommands {
  std::function<void()> copyReportToClipboard;  // 32780, 202
  std::function<void()> openEmailSetup;         // 32778
  std::function<void()> showAbout;              // 32773, 32781, system command 16
  std::function<void()> showHelp;               // 57670
  std::function<void()> closeHelp;              // when the window goes
};

class MainDialog : public QDialog,
                   public MainWindowView,
                   public TrayOwner,
                   public MailOwner,
                   public MainWindowActions {
  Q_OBJECT

 public:
  // The result of exec() when the Exit command ended the program (not OK 1
  // or Cancel 2, so start-up knows the tray icon is already gone).
  static constexpr int kExitResult = MainWindowModel::kExitResult;

  explicit MainDialog(const platform::PlatformContext& context, MainDialogServices services = {},
                      QWidget* parent = nullptr);
  ~MainDialog() override;

  void SetStartHidden(int startHidden) { model_->SetStartHidden(startHidden); }
  int StartHidden() const { return model_->StartHidden(); }

  // Initialises the window (once), then runs it until done() (the Exit
  // command, or OK): hiding the window does not end the run.
  int exec() override;
  void done(int result) override;
  // The initialisation steps; exec() runs them, tests may run them directly.
  void OnInitDialog();

  // A command as a command message would bring it (menus, buttons, the tray
  // menu, another program); unknown numbers are ignored.
  void DispatchCommand(int id) override;
  // A system-menu command (16: About; the low four bits are ignored).
  void SysCommand(int id);
  // A window message handled now, on the window's thread; returns the result.
  int WindowMessage(int message, std::uintptr_t wParam, std::intptr_t lParam);
  // Queues a window message for the window's thread; safe from any thread.
  void PostWindowMessage(int message, std::uintptr_t wParam, std::intptr_t lParam);

  // MainWindowView (the others are private).
  void PostMonitorMessage(std::uint32_t wParam) override;
  void ShowAlert(const std::string& line) override;

  // MailOwner: a sent status is handled at once, a posted one later.
  void SendMailStatus(int wParam, long lParam) override;
  void PostMailStatus(int wParam, long lParam) override;
  // The e-mail sender (SendEmailMessage, CurrentMail) used by the e-mail setup.
  MailSender& Mail() { return *mailSender_; }

  // MainWindowActions (the others are private).
  void Refresh() override;
  void SelectController() override;
  void HideWindow() override;
  void Exit() override;
  // Shows the main window on the screen, raised and active (a second start
  // with "-max" asks for it while this one sits in the tray, with the
  // activation token it was started with, if any).
  void ShowMainWindow(const std::string& activationToken = "");
  // TrayOwner: a tray that shows no menu at the icon.
  void OpenMainWindow() override { ShowMainWindow(); }

  ShellCommands commands;

  // For start-up and tests.
  AlertDialog* Alert() const { return alert_; }
  TrayIcon& Tray() { return tray_; }
  QtDesktopPresence& Presence() { return *presence_; }
  WindowActivation& Activation() { return activation_; }
  MainWindowModel& Model() { return *model_; }
  const QIcon& AppIcon() const { return appIcon_; }
  QComboBox* ControllerBox() const { return controls_->ControllerBox(); }
  QTreeWidget* UnitList() const { return controls_->UnitList(); }
  QMenuBar* MenuBar() const { return controls_->MenuBar(); }
  // The menu action carrying a command number, or null.
  QAction* ActionFor(int command) const;

 protected:
  bool event(QEvent* event) override;
  void accept() override;
  void reject() override;
  void changeEvent(QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;

 private:
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
  void SilenceAlert() override;
  void PostHideRequest() override;
  void EndRun(int result) override;
  // MainWindowActions.
  void TakeSnapshot() override;
  void CopyReport() override;
  void ToggleAudioItem() override;
  void ShowHelp() override;
  void ShowAbout() override;
  void ViewAlarms() override;
  void OpenEmailSetup() override;
  void EndWithOk() override;

  // Declared before the context, which may point at them.
  std::unique_ptr<QtMessageBoxes> ownBoxes_;
  std::unique_ptr<QtLauncher> ownLauncher_;
  platform::PlatformContext context_;
  platform::PlatformContext monitorContext_;
  MainDialogServices services_;
  std::unique_ptr<ServiceLink> ownLink_;
  std::unique_ptr<Beeper> ownBeeper_;
  std::unique_ptr<Flasher> ownFlasher_;

  AlertDialog* alert_ = nullptr;
  std::array<QIcon, 7> smallIcons_;
  bool smallIconsCreated_ = false;
  bool columnsCreated_ = false;
  QIcon appIcon_;
  bool initialised_ = false;

  QtSocketWatcher socketWatcher_;
  QtSocketWait socketWait_;  // the mail connect and sends keep the windows alive
  std::unique_ptr<EmailLog> emailLog_;
  std::unique_ptr<MailSender> mailSender_;
  TrayIcon tray_;
  std::unique_ptr<QtDesktopPresence> presence_;
  WindowActivation activation_{*this};
  // Last of the window's own objects: its monitor thread goes first.
  std::unique_ptr<MainWindowModel> model_;

  QEventLoop* runLoop_ = nullptr;
  std::unique_ptr<MainDialogControls> controls_;
};

}  // namespace kivo
