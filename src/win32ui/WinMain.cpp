// kivo.exe: the Kivo Disk Management Utility on Windows. The start-up routine
// is the shared one; this file supplies its Windows steps (FindWindowA,
// Winsock 1.1, the service link, the registry, the folder of the utility's
// files, the modal main window).
#include <memory>
#include <string>
#include <utility>

#include "platform/ProcessLauncher.h"
#include "platform/SystemPlatform.h"
#include "platform/TcpSocket.h"
#include "win32ui/FilesFolder.h"
#include "win32ui/MainWindow.h"
#include "win32ui/TrayIcon.h"
#include "win32ui/WinApi.h"
#include "win32ui/WinMessageBoxes.h"

namespace kivo::win32ui {
namespace {

// The platform objects of the running utility.
struct RealPlatform {
  WinMessageBoxes boxes;
  platform::ProcessLauncher launcher;
  platform::SystemPlatform system{boxes, launcher};
  // KIVO_TIME_SCALE shortens the monitor's waits.
  platform::ScaledClock monitorClock{system.clock, platform::TimeScaleFromEnvironment()};
};

class WindowsSteps : public StartupSteps {
 public:
  WindowsSteps(HINSTANCE instance, std::string arguments)
      : instance_(instance), arguments_(std::move(arguments)) {}
  ~WindowsSteps() override {
    // The window goes before the platform objects it uses.
    window_.reset();
    platform_.reset();
  }
  WindowsSteps(const WindowsSteps&) = delete;
  WindowsSteps& operator=(const WindowsSteps&) = delete;

  bool IsFirstInstance() override {
    HWND running = FindWindowA(nullptr, kMainWindowTitle);
    if (running == nullptr) return true;
    // "-max" asks the running instance for its main window (the Start-menu
    // entry while the utility sits in the tray); without it this start ends
    // silently. This process may hand the foreground on, as the user just
    // started it.
    if (StartupOptions::Parse(arguments_).maximise) {
      ::DWORD process = 0;
      GetWindowThreadProcessId(running, &process);
      AllowSetForegroundWindow(process);
      PostMessageA(running, MainWindow::ShowRequestMessage(), 0, 0);
    }
    return false;
  }

  // Winsock 1.1, started once for the process by the platform's sockets.
  bool InitialiseSockets() override { return platform::SocketsAvailable(); }

  void ShowStartupMessage(const std::string& text) override {
    // String resource 103 holds the same words; the text given is shown.
    MessageBoxA(nullptr, text.c_str(), kApplicationTitle, MB_OK | MB_ICONEXCLAMATION);
  }

  void ShutdownService() override {
    ServiceLink link(platform::DefaultRpcDirectory());
    link.ShutdownService();
  }

  std::uint32_t ReadStoredAudioOff() override {
    return static_cast<std::uint32_t>(ReadAudioOff(*Platform().system.registry));
  }

  void SetAudioOffFlag(int value) override { AudioOffFlag = value; }

  int RunMainDialog(int startHidden) override {
    // "data.txt" and "emaillog.txt" are written in the current folder.
    FilesFolder::Enter();
    // The list view and the other common controls of the templates.
    INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_LISTVIEW_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    RealPlatform& real = Platform();
    window_ = std::make_unique<MainWindow>(instance_, real.system.context, real.boxes, real.monitorClock);
    window_->SetStartHidden(startHidden);
    return window_->RunModal();
  }

  void RemoveTrayIcon() override {
    if (window_ != nullptr) TrayIcon::RemoveTrayIcon(window_->Handle(), TrayIcon::kTrayIconId);
  }

 private:
  // Made only once start-up goes past the service shutdown switch.
  RealPlatform& Platform() {
    if (platform_ == nullptr) platform_ = std::make_unique<RealPlatform>();
    return *platform_;
  }

  HINSTANCE instance_;
  std::string arguments_;
  std::unique_ptr<RealPlatform> platform_;
  std::unique_ptr<MainWindow> window_;
};

}  // namespace
}  // namespace kivo::win32ui

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int) {
  // The argument text after the program's own path, as the system gives it.
  const std::string arguments = commandLine != nullptr ? commandLine : "";
  kivo::win32ui::WindowsSteps steps(instance, arguments);
  return kivo::RunStartup(steps, arguments);
}
