// TimeStamp: the broken-down local time and the time text, in English
// whatever locale the process runs in.
#include "controller/TimeStamp.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <clocale>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>

#include "support/FakeClock.h"

namespace kivo::test {
namespace {

// Sets TZ for one test and puts the old value back.
class ScopedTimeZone {
 public:
  explicit ScopedTimeZone(const char* zone) {
    const char* old = std::getenv("TZ");
    hadOld_ = old != nullptr;
    if (hadOld_) old_ = old;
    ::setenv("TZ", zone, 1);
    ::tzset();
  }
  ~ScopedTimeZone() {
    if (hadOld_) {
      ::setenv("TZ", old_.c_str(), 1);
    } else {
      ::unsetenv("TZ");
    }
    ::tzset();
  }

 private:
  bool hadOld_ = false;
  std::string old_;
};

std::string TextAt(std::time_t when) {
  FakeClock clock(true, when);
  TimeStamp stamp;
  stamp.Now(clock);
  return stamp.Text();
}

TEST(TimeStampTest, ANewStampIsAllZero) {
  TimeStamp stamp;
  EXPECT_EQ(stamp.CalendarTime(), 0);
  for (std::int32_t field : stamp.LocalTime()) EXPECT_EQ(field, 0);
}

TEST(TimeStampTest, NowTakesTheBrokenDownLocalTime) {
  ScopedTimeZone zone("UTC");
  FakeClock clock;  // Sun Sep 09 01:46:40 2001 UTC
  TimeStamp stamp;
  stamp.Now(clock);
  EXPECT_EQ(stamp.CalendarTime(), 1000000000);
  const std::array<std::int32_t, 9> expected = {40, 46, 1, 9, 8, 101, 0, 251, 0};
  EXPECT_EQ(stamp.LocalTime(), expected);
  EXPECT_STREQ(stamp.Text(), "Sun Sep 09 01:46:40 2001");
}

TEST(TimeStampTest, TextTable) {
  ScopedTimeZone zone("UTC");
  struct Case {
    std::time_t when;
    const char* text;
  };
  const Case cases[] = {
      {0, "Thu Jan 01 00:00:00 1970"},
      {1000000000, "Sun Sep 09 01:46:40 2001"},
      {1104969600 + 3 * 3600 + 4 * 60 + 5, "Thu Jan 06 03:04:05 2005"},
      {951782400, "Tue Feb 29 00:00:00 2000"},
      {2147483647, "Tue Jan 19 03:14:07 2038"},
      // Past 2038 the record's 32-bit time wraps but the text stays right.
      {4102444800, "Fri Jan 01 00:00:00 2100"},
  };
  for (const Case& c : cases) EXPECT_EQ(TextAt(c.when), c.text) << c.when;
}

TEST(TimeStampTest, TheTextIsLocalTime) {
  // POSIX zone strings need no zone database: "XYZ-2" is two hours east.
  ScopedTimeZone zone("XYZ-2");
  EXPECT_EQ(TextAt(1000000000), "Sun Sep 09 03:46:40 2001");
  ScopedTimeZone west("ABC+10");
  EXPECT_EQ(TextAt(1000000000), "Sat Sep 08 15:46:40 2001");
}

TEST(TimeStampTest, EachNowReplacesTheLastAndTextFollowsIt) {
  ScopedTimeZone zone("UTC");
  FakeClock clock;
  TimeStamp stamp;
  stamp.Now(clock);
  const char* first = stamp.Text();
  EXPECT_STREQ(first, "Sun Sep 09 01:46:40 2001");
  clock.Advance(86400 * 1000);
  // Text formats what Now took; without Now the text stays.
  EXPECT_STREQ(stamp.Text(), "Sun Sep 09 01:46:40 2001");
  stamp.Now(clock);
  EXPECT_EQ(stamp.Text(), first);  // the same storage
  EXPECT_STREQ(stamp.Text(), "Mon Sep 10 01:46:40 2001");
}

// Builds a German time locale in a private directory (LOCPATH) when the
// system has none installed; false when neither is possible.
bool UseGermanLocale(const std::string& directory) {
  if (std::setlocale(LC_ALL, "de_DE.UTF-8") != nullptr) return true;
  std::string source = directory + "/kivo_de_time";
  {
    std::ofstream out(source);
    for (const char* category : {"LC_CTYPE", "LC_COLLATE", "LC_MONETARY", "LC_MESSAGES"}) {
      out << category << "\ncopy \"POSIX\"\nEND " << category << "\n";
    }
    for (const char* category : {"LC_TIME", "LC_NUMERIC", "LC_PAPER", "LC_NAME", "LC_ADDRESS", "LC_TELEPHONE",
                                 "LC_MEASUREMENT", "LC_IDENTIFICATION"}) {
      out << category << "\ncopy \"de_DE\"\nEND " << category << "\n";
    }
  }
  std::string command = "localedef -i " + source + " -f UTF-8 " + directory + "/de_DE.UTF-8 >/dev/null 2>&1";
  if (std::system(command.c_str()) != 0) return false;
  ::setenv("LOCPATH", directory.c_str(), 1);
  bool ok = std::setlocale(LC_ALL, "de_DE.UTF-8") != nullptr;
  ::unsetenv("LOCPATH");
  return ok;
}

TEST(TimeStampTest, TheTextStaysEnglishUnderAnotherLocale) {
  ScopedTimeZone zone("UTC");
  std::string pattern = (std::filesystem::temp_directory_path() / "kivo-locale-XXXXXX").string();
  ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
  bool german = UseGermanLocale(pattern);
  std::string local;
  if (german) {
    // Prove the locale took hold: the plain strftime now says "So".
    std::time_t when = 1000000000;
    struct tm parts {};
    gmtime_r(&when, &parts);
    char buffer[64];
    std::strftime(buffer, sizeof buffer, "%a %b", &parts);
    local = buffer;
  }
  std::string text = TextAt(1000000000);
  std::setlocale(LC_ALL, "C");
  std::filesystem::remove_all(pattern);
  if (!german) GTEST_SKIP() << "no German locale available or buildable";
  EXPECT_EQ(local, "So Sep");
  EXPECT_EQ(text, "Sun Sep 09 01:46:40 2001");
}

}  // namespace
}  // namespace kivo::test
