// The application object: start-up with the real steps, and the commands of
// the main window whose work lives in the shell (clipboard, e-mail setup,
// help).
#include "app/MonitorApp.h"

#include <QApplication>
#include <QDialog>
#include <QGuiApplication>
#include <QPointer>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <utility>

#include "app/CommandChannel.h"
#include "app/CommandListener.h"
#include "app/InstanceCheck.h"
#include "app/MainWindowBoxes.h"
#include "app/QtClipboard.h"
#include "app/StartupNotification.h"
#include "mail/SettingsStore.h"
#include "monitor/ServiceLink.h"
#include "platform/Clock.h"
#include "platform/EndpointTrust.h"
#include "platform/Registry.h"
#include "platform/ServiceRpc.h"
#include "platform/SystemPlatform.h"
#include "platform/TcpSocket.h"
#include "report/ReportText.h"
#include "shell/Clipboard.h"
#include "shell/EmailSetup.h"
#include "shell/StartupOptions.h"
#include "shell/StartupSequence.h"
#include "ui/AboutDialog.h"
#include "ui/DesktopServices.h"
#include "ui/EmailSetupDialog.h"
#include "ui/HelpViewer.h"
#include "ui/MainDialog.h"

namespace kivo {

namespace {

std::string HelpSourceDirectory() {
#ifdef KIVO_HELP_SOURCE_DIR
  return KIVO_HELP_SOURCE_DIR;
#else
  return "";
#endif
}

// The platform objects of the running utility.
struct RealPlatform {
  MainWindowBoxes boxes;
  QtLauncher launcher;
  platform::SystemPlatform system{boxes, launcher};
  // KIVO_TIME_SCALE shortens the monitor's waits.
  platform::ScaledClock monitorClock{system.clock, platform::TimeScaleFromEnvironment()};
};

class RealSteps : public StartupSteps {
 public:
  RealSteps(std::string argumentText, std::string startupId)
      : argumentText_(std::move(argumentText)), startupId_(std::move(startupId)) {}

  bool IsFirstInstance() override {
    // X11 (also through a Wayland compositor's X server): the display is
    // searched whatever the toolkit draws on (the service shutdown switch
    // runs offscreen); one that cannot be reached leaves the per-user lock
    // to decide. Wayland: the X display is left alone, the Wayland display's
    // lock decides; so it does for the shutdown switch in a Wayland session.
    const SessionNames session = SessionNames::FromEnvironment();
    const QString platform = QGuiApplication::platformName();
    const bool onWayland = platform == QStringLiteral("wayland") ||
                           (platform == QStringLiteral("offscreen") && !session.waylandDisplay.empty());
    // Without the variable the toolkit takes the default display's name.
    const std::string waylandDisplay =
        onWayland && session.waylandDisplay.empty() ? std::string("wayland-0") : session.waylandDisplay;
    instance_ = std::make_unique<InstanceCheck>(kMainWindowTitle, runtimeDirectory_, session.displayName,
                                                waylandDisplay, onWayland);
    if (instance_->IsFirstInstance()) return true;
    // "-max" asks the running instance for its main window (the menu entry
    // while the utility sits in the tray), handing over the activation
    // token this start was given; without it this start ends silently.
    if (StartupOptions::Parse(argumentText_).maximise) {
      std::string path;
      if (const int error =
              SendToRunningInstance(runtimeDirectory_, SessionNames{waylandDisplay, session.displayName},
                                    kShowMainWindowCommand, TakeActivationToken(), &path);
          error != 0) {
        std::fprintf(stderr, "kivo: cannot ask the running utility for its window (%s): %s\n", path.c_str(),
                     std::strerror(error));
      }
    }
    // This start maps no window: on X11 the launcher is told it is done.
    if (!onWayland && !startupId_.empty() && !session.displayName.empty()) {
      SendStartupRemove(session.displayName, startupId_);
    }
    return false;
  }

  bool InitialiseSockets() override { return platform::SocketsAvailable(); }

  void ShowStartupMessage(const std::string& text) override {
    // Without a display nobody could press OK: the text goes to the shell.
    if (QGuiApplication::platformName() == QStringLiteral("offscreen")) {
      std::fprintf(stderr, "kivo: %s\n", text.c_str());
      return;
    }
    QtMessageBoxes boxes;
    boxes.MessageBoxA(false, text, kApplicationTitle, platform::MB_OK | platform::MB_ICONEXCLAMATION);
  }

  void ShutdownService() override {
    ServiceLink link(platform::DefaultRpcDirectory());
    link.ShutdownService();
  }

  std::uint32_t ReadStoredAudioOff() override {
    // The platform objects are made only once start-up goes past the
    // service shutdown switch.
    if (platform_ == nullptr) platform_ = std::make_unique<RealPlatform>();
    return static_cast<std::uint32_t>(ReadAudioOff(*platform_->system.registry));
  }

  void SetAudioOffFlag(int value) override { AudioOffFlag = value; }

  int RunMainDialog(int startHidden) override {
    if (platform_ == nullptr) platform_ = std::make_unique<RealPlatform>();
    RealPlatform& real = *platform_;
    MainDialogServices services;
    services.monitorClock = &real.monitorClock;
    dialog_ = std::make_unique<MainDialog>(real.system.context, services);
    MainDialog& dialog = *dialog_;
    dialog.SetStartHidden(startHidden);
    real.boxes.SetWindow(&dialog);

    // Boxes owned by the main window.
    platform::MessageBoxes& ownedBoxes = real.boxes;
    HelpViewer help(HelpSourceDirectory());
    QtClipboard clipboard;

    dialog.commands.copyReportToClipboard = [&] {
      CopyReportToClipboard(clipboard, ownedBoxes, ReportText().Text());
    };
    dialog.commands.openEmailSetup = [&] {
      EmailSetupDialogForm form(&dialog);
      dialog.Model().OpenEmailSetup(form, dialog.Mail());
    };
    dialog.commands.showAbout = [&] { ShowAboutBox(&dialog); };
    dialog.commands.showHelp = [&] {
      if (!help.ShowTopic(kMainWindowHelpContext)) {
        ownedBoxes.MessageBoxA(true, kHelpFailedText, kApplicationTitle,
                               platform::MB_OK | platform::MB_ICONEXCLAMATION);
      }
    };
    dialog.commands.closeHelp = [&] { help.Quit(); };

    // Exit ends the program also while a box of it is open (as destroying
    // the main window takes its owned windows along): every modal box still
    // open is closed, so the modal runs on the stack unwind.
    QObject::connect(&dialog, &QDialog::finished, &dialog, [&dialog] {
      for (QWidget* widget : QApplication::topLevelWidgets()) {
        auto* box = qobject_cast<QDialog*>(widget);
        if (box != nullptr && box != &dialog && box->isVisible() && box->isModal()) box->reject();
      }
    });

    CommandListener listener([&dialog](const CommandMessage& message) {
      if (message.command == kShowMainWindowCommand) {
        dialog.ShowMainWindow(message.activationToken);
      } else {
        dialog.DispatchCommand(message.command);
      }
    });
    // Beside the lock: the socket of the session the lock is named after.
    listener.Listen(CommandSocketPath(runtimeDirectory_, instance_ ? instance_->Session() : SessionKey{}));

    const int result = dialog.exec();
    // The hooks refer to objects of this scope; the window outlives it.
    dialog.commands = ShellCommands{};
    help.Quit();
    return result;
  }

  void RemoveTrayIcon() override {
    if (dialog_ != nullptr) dialog_->Tray().RemoveTrayIcon(128);
  }

  ~RealSteps() override {
    // The window goes before the platform objects it uses.
    dialog_.reset();
    platform_.reset();
  }

 private:
  const std::string argumentText_;
  const std::string startupId_;
  // Found once: the lock and the command socket lie side by side.
  const std::string runtimeDirectory_ = platform::UserRuntimeDirectory();
  std::unique_ptr<InstanceCheck> instance_;
  std::unique_ptr<RealPlatform> platform_;
  std::unique_ptr<MainDialog> dialog_;
};

}  // namespace

MonitorApp::MonitorApp() = default;
MonitorApp::~MonitorApp() = default;

int MonitorApp::InitInstance(const std::string& argumentText) {
  RealSteps steps(argumentText, startupId_);
  return RunStartup(steps, argumentText);
}

}  // namespace kivo
