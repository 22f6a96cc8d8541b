// The main window's decisions: row images, column widths, box texts, the
// Driver field, paint rules, the command table and the routing of commands to
// the window's operations.
#include "shell/MainWindowLogic.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "shell/MainWindowActions.h"

namespace kivo::test {
namespace {

DisplayRow Row(int kind, int isArrayUnit, const char* status) {
  DisplayRow row{};
  row.kind = kind;
  row.isArrayUnit = isArrayUnit;
  std::strncpy(row.statusText.data(), status, row.statusText.size() - 1);
  return row;
}

TEST(MainWindowLogicTest, RowImagesByKindAndStatusWords) {
  struct Case {
    int kind;
    int isArrayUnit;
    const char* status;
    int image;
    int resource;
  };
  const Case cases[] = {
      {1, 1, "OK", 1, 161},
      {1, 1, "Degraded", 3, 160},
      {1, 1, "Array Incomplete", 3, 160},
      {1, 1, "degraded", 1, 161},  // the words are case-sensitive
      {1, 1, "Error", 1, 161},     // an array unit does not look for "Error"
      {1, 0, "OK", 2, 148},
      {1, 0, "Error", 4, 145},
      {1, 0, "Drive Error (port 2)", 4, 145},
      {1, 0, "Not in Service", 4, 145},
      {1, 0, "not in service", 2, 148},
      {1, 0, "Degraded", 2, 148},  // a member does not look for "Degraded"
      {1, 2, "Error", 4, 145},     // isArrayUnit other than 1 is a member
      {6, 0, "OK", 5, 154},
      {6, 0, "Degraded", 6, 162},
      {6, 1, "Incomplete", 6, 162},
      {0, 0, "OK", 0, 133},
      {0, 0, "Degraded", 0, 133},  // a single-drive unit whatever its status
      {0, 1, "Error", 0, 133},
      {13, 0, "Not in Service", 0, 133},
  };
  for (const Case& c : cases) {
    const int image = RowImageOf(Row(c.kind, c.isArrayUnit, c.status));
    EXPECT_EQ(image, c.image) << c.kind << "/" << c.isArrayUnit << " " << c.status;
    EXPECT_EQ(kRowImageResources[static_cast<std::size_t>(image)], c.resource);
  }
}

TEST(MainWindowLogicTest, StatusTextWithoutTerminatorIsReadOnlyWithinItsField) {
  DisplayRow row{};
  row.kind = 1;
  row.isArrayUnit = 0;
  row.statusText.fill('x');
  std::memcpy(row.sectorsText.data(), "Error", 6);  // the next field must not be read
  EXPECT_EQ(RowImageOf(row), kImageMemberDrive);
}

TEST(MainWindowLogicTest, ColumnWidthsUseIntegerDivision) {
  EXPECT_EQ(UnitColumnWidths(549), (std::array<int, 4>{137, 205, 68, 137}));
  EXPECT_EQ(UnitColumnWidths(800), (std::array<int, 4>{200, 300, 100, 200}));
  EXPECT_EQ(UnitColumnWidths(7), (std::array<int, 4>{1, 2, 0, 1}));
  EXPECT_STREQ(kUnitColumnTitles[0], "Unit");
  EXPECT_STREQ(kUnitColumnTitles[3], "Status");
}

TEST(MainWindowLogicTest, ControllerEntryHasNoBlankAfterColon) {
  EXPECT_EQ(ControllerEntryText(0), "Controller SCSI ID:0");
  EXPECT_EQ(ControllerEntryText(10), "Controller SCSI ID:10");
  EXPECT_STREQ(kNoControllerEntry, "No Zelka Controller present");
}

TEST(MainWindowLogicTest, DriverFieldPrefersVsdTextThenServiceVersion) {
  EXPECT_EQ(DriverFieldText("drv", "vsd 1", true, "svc"), "drv\nvsd 1");
  EXPECT_EQ(DriverFieldText("drv", "", true, "svc 2"), "drv\nsvc 2");
  EXPECT_EQ(DriverFieldText("drv", "", false, "svc 2"), "drv");
  EXPECT_EQ(DriverFieldText("", "", true, "svc"), "\nsvc");
}

TEST(MainWindowLogicTest, PaintRules) {
  EXPECT_EQ(DecidePaint(true, 0), PaintAction::kIcon);
  EXPECT_EQ(DecidePaint(true, 1), PaintAction::kIcon);
  EXPECT_EQ(DecidePaint(false, 0), PaintAction::kDefault);
  EXPECT_EQ(DecidePaint(false, 1), PaintAction::kNothing);
  EXPECT_EQ(OffScreenX(1024, 600), 1634);
}

// Records which operation a routed command asked for.
class RecordingWindow : public MainWindowActions {
 public:
  std::vector<std::string> calls;
  void Refresh() override { calls.push_back("Refresh"); }
  void SelectController() override { calls.push_back("SelectController"); }
  void HideWindow() override { calls.push_back("HideWindow"); }
  void TakeSnapshot() override { calls.push_back("TakeSnapshot"); }
  void CopyReport() override { calls.push_back("CopyReport"); }
  void Exit() override { calls.push_back("Exit"); }
  void ToggleAudioItem() override { calls.push_back("ToggleAudioItem"); }
  void ShowHelp() override { calls.push_back("ShowHelp"); }
  void ShowAbout() override { calls.push_back("ShowAbout"); }
  void ViewAlarms() override { calls.push_back("ViewAlarms"); }
  void OpenEmailSetup() override { calls.push_back("OpenEmailSetup"); }
  void EndWithOk() override { calls.push_back("EndWithOk"); }
};

// Each command number, its action, and the one window operation it routes
// to (none for the commands without an action).
TEST(MainWindowLogicTest, CommandTable) {
  struct Case {
    int id;
    CommandAction action;
    const char* operation;
  };
  const Case cases[] = {
      {1010, CommandAction::kRefresh, "Refresh"},
      {1023, CommandAction::kSelectController, "SelectController"},
      {1027, CommandAction::kHide, "HideWindow"},
      {32772, CommandAction::kHide, "HideWindow"},
      {2, CommandAction::kHide, "HideWindow"},
      {32776, CommandAction::kSnapshot, "TakeSnapshot"},
      {32783, CommandAction::kSnapshot, "TakeSnapshot"},
      {32780, CommandAction::kCopy, "CopyReport"},
      {202, CommandAction::kCopy, "CopyReport"},
      {32771, CommandAction::kExit, "Exit"},
      {203, CommandAction::kExit, "Exit"},
      {32785, CommandAction::kToggleAudio, "ToggleAudioItem"},
      {32774, CommandAction::kNone, nullptr},
      {57670, CommandAction::kHelp, "ShowHelp"},
      {32773, CommandAction::kAbout, "ShowAbout"},
      {32781, CommandAction::kAbout, "ShowAbout"},
      {201, CommandAction::kViewAlarms, "ViewAlarms"},
      {32778, CommandAction::kEmailSetup, "OpenEmailSetup"},
      {1, CommandAction::kEndWithOk, "EndWithOk"},
      {1036, CommandAction::kUnknown, nullptr},
      {12345, CommandAction::kUnknown, nullptr},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ActionOfCommand(c.id), c.action) << c.id;
    RecordingWindow window;
    RouteCommand(window, c.id);
    const std::vector<std::string> expected =
        c.operation != nullptr ? std::vector<std::string>{c.operation} : std::vector<std::string>{};
    EXPECT_EQ(window.calls, expected) << c.id;
  }
}

}  // namespace
}  // namespace kivo::test
