// kivo-report --json's document for the default machine and for a RAID 10
// with inaccessible drives, against golden files (the schema check of every
// world is tests/packaging/report-formats-check.py).
#include "report/JsonReport.h"

#include <gtest/gtest.h>

#include "report/Golden.h"
#include "report/ScanFixture.h"

namespace kivo::test {
namespace {

class JsonReportTest : public ScanFixture {
 protected:
  std::string Document() {
    ScanOutcome outcome;
    Scan(1, &outcome);
    return JsonReport::Render(ScanSummary::Of(*records, outcome));
  }
};

TEST_F(JsonReportTest, DefaultMachine) {
  DefaultWorld();
  ExpectGolden("json-default.json", Document());
}

TEST_F(JsonReportTest, InaccessibleDrivesAndARebuildingSubunit) {
  LoadWorld("raid10.json");
  ExpectGolden("json-raid10.json", Document());
}

}  // namespace
}  // namespace kivo::test
