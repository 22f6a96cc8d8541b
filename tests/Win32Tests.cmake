# The Windows build's test programs: the core suites whose cases run on both
# platforms (the same files as on Linux), and the Win32-only cases in the
# win32/ folders. They run under Wine from scripts/test.sh, not through CTest.
add_library(kivo_test_support STATIC support/FakeClock.cpp)
target_include_directories(kivo_test_support PUBLIC ${CMAKE_CURRENT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/src
                                                    ${PROJECT_SOURCE_DIR})
target_link_libraries(kivo_test_support PUBLIC kivo_core zelka_world gtest gmock)
# The environment the tests rely on, set before main: compiled once, linked
# into every test program as an object, since nothing calls into it.
add_library(kivo_test_environment OBJECT support/win32/TestEnvironment.cpp)
target_compile_definitions(kivo_test_environment PRIVATE KIVO_TEST_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
                                                         KIVO_TEST_BINARY_DIR="${PROJECT_BINARY_DIR}")

# kivo_win32_test(name files...): files are relative to tests/.
function(kivo_win32_test name)
  list(TRANSFORM ARGN PREPEND ${CMAKE_CURRENT_SOURCE_DIR}/)
  file(GLOB win32_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${name}/win32/*.cpp)
  add_executable(kivo_${name}_tests ${ARGN} ${win32_sources})
  target_link_libraries(kivo_${name}_tests PRIVATE kivo_test_environment kivo_test_support gtest_main ws2_32)
endfunction()

kivo_win32_test(platform platform/RegParserTest.cpp platform/RpcPduTest.cpp platform/FileWriterTest.cpp
                platform/DeviceFrameTest.cpp platform/ConsoleMessageBoxesTest.cpp)
kivo_win32_test(controller controller/ControllerSetTest.cpp controller/InitialiseTest.cpp
                controller/StatusTextTest.cpp controller/TextBufferTest.cpp controller/TextBufferSelfAppendTest.cpp)
kivo_win32_test(report report/DiskReportTest.cpp report/InventoryScanTest.cpp report/PluginCheckTest.cpp
                report/JsonReportTest.cpp)
kivo_win32_test(monitor monitor/EventLogOutputTest.cpp monitor/MessageLockTest.cpp monitor/MonitorEventHandlerTest.cpp
                monitor/MonitorThreadTest.cpp monitor/EventSeverityTest.cpp monitor/JournalTextTest.cpp
                monitor/DiagnosticOutputTest.cpp)
# The message table test reads kivo-watch.exe's resources; the service link's
# process test starts the emulator.
add_dependencies(kivo_monitor_tests kivo-watch)
add_dependencies(kivo_platform_tests zelka-emulator)
kivo_win32_test(emulator emulator/WorldTest.cpp emulator/WorldEventsTest.cpp emulator/WorldFileTest.cpp)

# The system's wording of every code, for the stage's comparison of reports.
add_executable(system-wording tools/system-wording.cpp)
target_link_libraries(system-wording PRIVATE kivo_core)

# The scan over named pipes, timed (not run by the tests; see bench/win32).
add_executable(PipeScanBench ${PROJECT_SOURCE_DIR}/bench/win32/PipeScanBench.cpp)
target_link_libraries(PipeScanBench PRIVATE kivo_test_support)
