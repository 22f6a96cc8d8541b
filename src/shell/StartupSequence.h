// StartupSequence: the utility's start-up routine in its fixed order (instance
// check, socket layer, service shutdown switch, audio setting, the modal run of
// the main window, tray icon removal), written against StartupSteps so tests
// drive every path without a display. Each shell's start-up supplies the real steps.
#pragma once

#include <cstdint>
#include <string>

namespace kivo {

// The main window's title, by which a running instance is found.
inline constexpr const char* kMainWindowTitle = "Kivo Disk Management Utility";

// The message shown when the socket layer cannot be started.
inline constexpr const char* kSocketInitFailedText = "Windows sockets initialization failed.";

class StartupSteps {
 public:
  virtual ~StartupSteps() = default;
  // True when no top-level window titled "Kivo Disk Management Utility" exists.
  virtual bool IsFirstInstance() = 0;
  virtual bool InitialiseSockets() = 0;
  // A plain message box with an OK button and no owner.
  virtual void ShowStartupMessage(const std::string& text) = 0;
  virtual void ShutdownService() = 0;
  // The stored "AudioOff" value; 0 when the key or value cannot be read.
  virtual std::uint32_t ReadStoredAudioOff() = 0;
  virtual void SetAudioOffFlag(int value) = 0;
  // Constructs the main window with StartHidden and runs it modally; returns
  // the modal result (1 OK, 2 Cancel, anything else after Exit).
  virtual int RunMainDialog(int startHidden) = 0;
  virtual void RemoveTrayIcon() = 0;
};

// The audio decision: "-q" forces audio off; otherwise only the stored value 1
// means off.
int DecideAudioOff(bool quietSwitch, std::uint32_t storedValue);

// Runs start-up and returns the process exit code: 0 in every case except a
// socket layer that cannot be started (1).
int RunStartup(StartupSteps& steps, const std::string& argumentText);

}  // namespace kivo
