// The start-up routine and its audio decision.
#include "shell/StartupSequence.h"

#include "shell/StartupOptions.h"

namespace kivo {

int DecideAudioOff(bool quietSwitch, std::uint32_t storedValue) {
  if (quietSwitch) return 1;
  return storedValue == 1 ? 1 : 0;
}

int RunStartup(StartupSteps& steps, const std::string& argumentText) {
  // A running instance ends this one before anything else is read.
  if (!steps.IsFirstInstance()) return 0;
  if (!steps.InitialiseSockets()) {
    steps.ShowStartupMessage(kSocketInitFailedText);
    return 1;
  }
  const StartupOptions options = StartupOptions::Parse(argumentText);
  if (options.serverShutdown) {
    steps.ShutdownService();
    return 0;
  }
  steps.SetAudioOffFlag(DecideAudioOff(options.quiet, steps.ReadStoredAudioOff()));
  const int result = steps.RunMainDialog(options.maximise ? 0 : 1);
  // Exit removes the icon itself; only OK and Cancel leave it behind.
  if (result == 1 || result == 2) steps.RemoveTrayIcon();
  return 0;
}

}  // namespace kivo
