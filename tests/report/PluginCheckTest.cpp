// kivo-report --check's result over the golden worlds: the status, and the
// status line with its performance data.
#include "report/PluginCheck.h"

#include <gtest/gtest.h>

#include "report/ScanFixture.h"

namespace kivo::test {
namespace {

class PluginCheckTest : public ScanFixture {
 protected:
  CheckResult Check() {
    ScanOutcome outcome;
    Scan(1, &outcome);
    return PluginCheck::Of(ScanSummary::Of(*records, outcome));
  }
};

TEST_F(PluginCheckTest, GoldenWorlds) {
  const struct {
    const char* world;           // "" for the built-in default
    int rebuildingOnController;  // whose unit 0 is set rebuilding first (-1: none)
    CheckStatus status;
    const char* line;
  } cases[] = {
      {"", -1, CheckStatus::kOk,
       "KIVO OK - 4 unit(s) on 2 controller(s) OK | controllers=2 units=4 attention=0 drives=9\n"},
      {"", 0, CheckStatus::kWarning,
       "KIVO WARNING - unit 0 on controller 0 rebuilding | controllers=2 units=4 attention=1 drives=9\n"},
      {"two-controllers.json", -1, CheckStatus::kCritical,
       "KIVO CRITICAL - unit 0 on controller 4 degraded incomplete, drive on port 1 of unit 0 on controller "
       "4 not "
       "in service | controllers=2 units=4 attention=1 drives=7\n"},
      {"raid10.json", -1, CheckStatus::kCritical,
       "KIVO CRITICAL - unit 0 on controller 0 degraded, a drive of unit 0 on controller 0 inaccessible, a "
       "drive "
       "of unit 1 on controller 0 inaccessible, subunit 1 of unit 0 on controller 0 rebuilding | "
       "controllers=1 "
       "units=2 attention=2 drives=5\n"},
      {"port9.json", -1, CheckStatus::kCritical,
       "KIVO CRITICAL - unit 0 on controller 2 degraded, drive on port 9 of unit 0 on controller 2 not in "
       "service, unit 1 on controller 2 corrupt incomplete offline, a drive of unit 1 on controller 2 "
       "inaccessible | controllers=1 units=2 attention=2 drives=5\n"},
      {"faults.json", -1, CheckStatus::kUnknown,
       "KIVO UNKNOWN - controller 3 was not read completely: 1 device call(s) failed, the first with system "
       "error 31 | controllers=1 units=1 attention=0 drives=2\n"},
      {"none.json", -1, CheckStatus::kUnknown,
       "KIVO UNKNOWN - no controller found | controllers=0 units=0 attention=0 drives=0\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.world);
    ResetProcessState();
    if (*c.world == '\0') {
      DefaultWorld();
    } else {
      LoadWorld(c.world);
    }
    if (c.rebuildingOnController >= 0) ControllerAt(c.rebuildingOnController).units[0].status = 0xD3;
    const CheckResult result = Check();
    EXPECT_EQ(result.status, c.status);
    EXPECT_EQ(result.line, c.line);
  }
}

}  // namespace
}  // namespace kivo::test
