// RouteCommand: the one switch from a command number to the main window's
// operation, shared by both desktop shells.
#include "shell/MainWindowActions.h"

#include "shell/MainWindowLogic.h"

namespace kivo {

void RouteCommand(MainWindowActions& window, int id) {
  switch (ActionOfCommand(id)) {
    case CommandAction::kRefresh:
      window.Refresh();
      break;
    case CommandAction::kSelectController:
      window.SelectController();
      break;
    case CommandAction::kHide:
      window.HideWindow();
      break;
    case CommandAction::kSnapshot:
      window.TakeSnapshot();
      break;
    case CommandAction::kCopy:
      window.CopyReport();
      break;
    case CommandAction::kExit:
      window.Exit();
      break;
    case CommandAction::kToggleAudio:
      window.ToggleAudioItem();
      break;
    case CommandAction::kHelp:
      window.ShowHelp();
      break;
    case CommandAction::kAbout:
      window.ShowAbout();
      break;
    case CommandAction::kViewAlarms:
      window.ViewAlarms();
      break;
    case CommandAction::kEmailSetup:
      window.OpenEmailSetup();
      break;
    case CommandAction::kEndWithOk:
      window.EndWithOk();
      break;
    case CommandAction::kNone:
    case CommandAction::kUnknown:
      break;
  }
}

}  // namespace kivo
