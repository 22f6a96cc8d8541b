// Alert text for the journal: every line of an entry carries the priority
// of the entry's severity; blank lines and CRs are left out.
#include "monitor/JournalText.h"

#include <gtest/gtest.h>

#include <string>

#include "monitor/EventCatalogue.h"
#include "support/FakeClock.h"

namespace kivo::test {
namespace {

constexpr char kTime[] = "TIME: Sun Sep 09 01:46:40 2001 MESSAGE: ";

TEST(JournalTextTest, EachLineCarriesItsEntrysPriority) {
  FakeClock clock;
  const struct {
    std::string text;
    std::string journal;
  } cases[] = {
      {DescribeEvent(clock, 9, 1, 0),
       std::string("<4>") + kTime + "Drive timeout encountered on unit 1 on controller ID:0.\n"},
      {DescribeEvent(clock, 5, 1, 0) + "TIME: x MESSAGE: Event 7 received\r\n",
       std::string("<6>") + kTime + "Rebuild is complete on unit 1 on controller ID:0.\n" +
           "<4>TIME: x MESSAGE: Event 7 received\n"},
      {std::string(kTime) + "Error retrieving notification from controller 0. (e003,6)\r\n\r\n",
       std::string("<3>") + kTime + "Error retrieving notification from controller 0. (e003,6)\n"},
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(JournalText(c.text), c.journal);
}

TEST(JournalTextTest, ADegradedArraysHelpParagraphsAreErrorsToo) {
  FakeClock clock;
  const std::string journal = JournalText(DescribeEvent(clock, 2, 1, 0));
  EXPECT_EQ(journal.find('\r'), std::string::npos);
  int lines = 0;
  for (std::size_t at = 0; at < journal.size(); at = journal.find('\n', at) + 1, ++lines) {
    EXPECT_EQ(journal.compare(at, 3, "<3>"), 0) << journal.substr(at);
    EXPECT_NE(journal[at + 3], '\n');
  }
  EXPECT_EQ(lines, 7);  // the event, the tolerance help, the options' opening and its four points
}

}  // namespace
}  // namespace kivo::test
