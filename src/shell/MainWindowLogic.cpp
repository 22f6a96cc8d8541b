// The main window's decisions: row images, column widths, box texts, a
// controller's display texts, paint rules and the command table.
#include "shell/MainWindowLogic.h"

#include <cstdio>
#include <cstring>

#include "report/InventoryScan.h"

namespace kivo {

namespace {
bool Contains(const DisplayRow& row, const char* word) {
  // The status text is a fixed 128-character field; never read past it.
  const std::string status(row.statusText.data(), strnlen(row.statusText.data(), row.statusText.size()));
  return status.find(word) != std::string::npos;
}
}  // namespace

int RowImageOf(const DisplayRow& row) {
  if (row.kind == 1) {
    if (row.isArrayUnit == 1) {
      return Contains(row, "Degraded") || Contains(row, "Incomplete") ? kImageArrayFailing : kImageArrayUnit;
    }
    return Contains(row, "Not in Service") || Contains(row, "Error") ? kImageMemberFailing
                                                                     : kImageMemberDrive;
  }
  if (row.kind == 6) {
    return Contains(row, "Degraded") || Contains(row, "Incomplete") ? kImageSubunitFailing : kImageSubunit;
  }
  return kImageSingleDrive;
}

std::array<int, 4> UnitColumnWidths(int listWidth) {
  return {listWidth / 4, listWidth * 3 / 8, listWidth / 8, listWidth / 4};
}

std::string ControllerEntryText(int controllerId) {
  char text[64];
  std::snprintf(text, sizeof(text), "%s%i", kControllerEntryPrefix, controllerId);
  return text;
}

std::string DriverFieldText(const char* driverText, const char* vsdText, bool serviceVersionRead,
                            const char* serviceVersion) {
  std::string text = driverText != nullptr ? driverText : "";
  if (vsdText != nullptr && vsdText[0] != '\0') {
    text += "\n";
    text += vsdText;
  } else if (serviceVersionRead && serviceVersion != nullptr) {
    text += "\n";
    text += serviceVersion;
  }
  return text;
}

void SetControllerTexts(DisplayTexts& texts, const ControllerInfo& record,
                        const platform::PlatformContext& context) {
  texts.monitor = record.MonitorText();
  texts.firmware = record.FirmwareText();
  texts.bios = record.BiosText();
  texts.pChip = record.PChipText();
  texts.model = record.ModelText();
  texts.aChip = record.AChipText();
  texts.pcba = record.PcbaText();
  std::array<char, 128> serviceVersion{};
  const bool noVsd = record.VsdText()[0] == '\0';
  const bool serviceRead = noVsd && ReadServiceVersion(context, serviceVersion) == 0;
  texts.driver = DriverFieldText(record.DriverText(), record.VsdText(), serviceRead, serviceVersion.data());
}

PaintAction DecidePaint(bool minimised, int startHidden) {
  if (minimised) return PaintAction::kIcon;
  return startHidden == 0 ? PaintAction::kDefault : PaintAction::kNothing;
}

CommandAction ActionOfCommand(int id) {
  switch (id) {
    case command::kOk:
      return CommandAction::kEndWithOk;
    case command::kUpdate:
      return CommandAction::kRefresh;
    case command::kControllerBox:
      return CommandAction::kSelectController;
    case command::kReturnToTray:
    case command::kReturnToSystemTray:
    case command::kCancel:
      return CommandAction::kHide;
    case command::kSnapshot:
    case command::kSnapshotToo:
      return CommandAction::kSnapshot;
    case command::kCopy:
    case command::kTrayCopy:
      return CommandAction::kCopy;
    case command::kExit:
    case command::kTrayExit:
      return CommandAction::kExit;
    case command::kAudioOff:
      return CommandAction::kToggleAudio;
    case command::kEventLog:
      return CommandAction::kNone;
    case command::kHelp:
      return CommandAction::kHelp;
    case command::kAbout:
    case command::kTrayAbout:
      return CommandAction::kAbout;
    case command::kViewAlarms:
      return CommandAction::kViewAlarms;
    case command::kEmailSetup:
      return CommandAction::kEmailSetup;
    default:
      return CommandAction::kUnknown;
  }
}

}  // namespace kivo
