// MainWindowLogic: the main window's decisions without widgets: the image of a
// unit-list row, the list's column widths, the controller box texts, the
// display texts of a controller, what a paint does, and the command table.
// Used by both desktop shells; tests reach it without a display.
#pragma once

#include <array>
#include <string>

#include "controller/ControllerInfo.h"
#include "monitor/MonitorWindow.h"
#include "platform/PlatformContext.h"

namespace kivo {

// Image indices of the unit list, in the order the icons are appended
// (resources 133, 161, 148, 160, 145, 154, 162).
enum RowImage : int {
  kImageSingleDrive = 0,    // 133
  kImageArrayUnit = 1,      // 161
  kImageMemberDrive = 2,    // 148
  kImageArrayFailing = 3,   // 160
  kImageMemberFailing = 4,  // 145
  kImageSubunit = 5,        // 154
  kImageSubunitFailing = 6  // 162
};
inline constexpr std::array<int, 7> kRowImageResources = {133, 161, 148, 160, 145, 154, 162};

// The image of a display row, chosen by its kind and by case-sensitive status
// words in its status text.
int RowImageOf(const DisplayRow& row);

// Widths of the columns "Unit", "Type", "Size", "Status" from the width of
// the list's window rectangle.
std::array<int, 4> UnitColumnWidths(int listWidth);
inline constexpr std::array<const char*, 4> kUnitColumnTitles = {"Unit", "Type", "Size", "Status"};

// kControllerEntryPrefix directly followed by the id.
std::string ControllerEntryText(int controllerId);
inline constexpr char kNoControllerEntry[] = "No Zelka Controller present";

// The Driver field: the driver text, then on a second line the VSD text when
// there is one, else the service version when it was read.
std::string DriverFieldText(const char* driverText, const char* vsdText, bool serviceVersionRead,
                            const char* serviceVersion);

// The 13 display texts, bound to the controls of the same number.
struct DisplayTexts {
  std::string operatingSystem;  // 1000
  std::string driver;           // 1001
  std::string monitor;          // 1002
  std::string firmware;         // 1003
  std::string bios;             // 1004
  std::string pcba;             // 1005
  std::string aChip;            // 1006
  std::string pChip;            // 1007
  std::string time;             // 1008
  std::string model;            // 1009
  std::string status;           // 1031
  std::string computerName;     // 1035
  std::string units;            // 1037, always empty
};

// Fills the controller's texts (monitor, firmware, BIOS, chips, model, PCBA,
// and the Driver field, which asks the service for its version when the
// controller has no VSD text).
void SetControllerTexts(DisplayTexts& texts, const ControllerInfo& record,
                        const platform::PlatformContext& context);

enum class PaintAction { kIcon, kDefault, kNothing };
PaintAction DecidePaint(bool minimised, int startHidden);

// Off-screen position of a window that starts hidden: right of the screen by
// its own width and 10 pixels, at the top.
inline int OffScreenX(int screenWidth, int windowWidth) {
  return screenWidth + windowWidth + 10;
}

// Window messages and commands of the main window.
namespace command {
inline constexpr int kOk = 1;
inline constexpr int kCancel = 2;  // the Escape key
inline constexpr int kUpdate = 1010;
inline constexpr int kControllerBox = 1023;
inline constexpr int kReturnToTray = 1027;
inline constexpr int kViewAlarms = 201;
inline constexpr int kTrayCopy = 202;
inline constexpr int kTrayExit = 203;
inline constexpr int kExit = 32771;
inline constexpr int kReturnToSystemTray = 32772;
inline constexpr int kAbout = 32773;
inline constexpr int kEventLog = 32774;
inline constexpr int kSnapshot = 32776;
inline constexpr int kEmailSetup = 32778;
inline constexpr int kCopy = 32780;
inline constexpr int kTrayAbout = 32781;
inline constexpr int kSnapshotToo = 32783;
inline constexpr int kAudioOff = 32785;
inline constexpr int kHelp = 57670;
inline constexpr int kSysAbout = 16;
}  // namespace command

namespace message {
inline constexpr int kTrayCallback = 1025;
inline constexpr int kHideRequest = 1027;
inline constexpr int kMailStatusMessage = 1225;
}  // namespace message

// What a command does.
enum class CommandAction {
  kNone,
  kRefresh,
  kSelectController,
  kHide,
  kSnapshot,
  kCopy,
  kExit,
  kToggleAudio,
  kHelp,
  kAbout,
  kViewAlarms,
  kEmailSetup,
  kEndWithOk,  // IDOK has no control of its own; the dialog ends with OK
  kUnknown
};
CommandAction ActionOfCommand(int id);

}  // namespace kivo
