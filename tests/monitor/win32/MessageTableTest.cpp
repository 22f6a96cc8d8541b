// kivo-watch.exe's message table, as the event viewer reads it: every event
// id the service writes (the kind of every catalogue line, of a monitoring
// error, of an unknown message and of its own diagnostics) gives back the
// entry's own text.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "monitor/DiagnosticOutput.h"
#include "monitor/EventCatalogue.h"
#include "monitor/EventSeverity.h"
#include "monitor/MonitorThread.h"
#include "support/FakeClock.h"

// After the project's headers: <windows.h> defines macros of the same names.
#include <windows.h>

namespace kivo {
namespace {

TEST(MessageTableTest, EveryEventIdFramesItsText) {
  test::FakeClock clock;
  std::set<unsigned> ids;
  for (unsigned code = 0; code <= 255; ++code)
    ids.insert(ClassifyEventLine(DescribeEvent(clock, code, 1, 0)).eventId);
  ids.insert(ClassifyEventLine("TIME: x MESSAGE: " + FetchErrorText(0, 6) + "\r\n").eventId);
  ids.insert(ClassifyEventLine("TIME: x MESSAGE: Event 5 received\r\n").eventId);
  for (unsigned id : {kWatchStartedEventId, kNoControllerEventId, kWatchStoppedEventId, kWatchFailureEventId,
                      kScanMessageEventId})
    ids.insert(id);
  ASSERT_EQ(ids.size(), 263u);

  // The test programs run in the build folder.
  HMODULE program = LoadLibraryExA("src\\app\\cli\\kivo-watch.exe", nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(program, nullptr) << GetLastError();
  const char* insertion[] = {"the entry's text"};
  for (unsigned id : ids) {
    char text[256] = {};
    const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ARGUMENT_ARRAY, program,
                                        id, MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), text, sizeof text,
                                        reinterpret_cast<va_list*>(const_cast<char**>(insertion)));
    EXPECT_EQ(std::string(text, length), "the entry's text\r\n") << "event id " << id;
  }
  FreeLibrary(program);
}

}  // namespace
}  // namespace kivo
