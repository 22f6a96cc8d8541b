# kivo_library(name dir): a static library of every .cpp in dir (globbed, so a
# new file needs no CMake edit), with src/ on the include path.
function(kivo_library name dir)
  file(GLOB sources CONFIGURE_DEPENDS ${dir}/*.cpp)
  if(sources)
    add_library(${name} STATIC ${sources})
  else()
    add_library(${name} STATIC ${PROJECT_SOURCE_DIR}/cmake/empty.cpp)
  endif()
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(${name} PUBLIC Threads::Threads)
endfunction()

# kivo_test(name dir libs...): one GoogleTest executable of every .cpp in dir,
# registered with CTest. Tests find programs and data through environment
# variables set here.
function(kivo_test name dir)
  file(GLOB sources CONFIGURE_DEPENDS ${dir}/*.cpp)
  if(NOT sources)
    return()
  endif()
  add_executable(${name} ${sources})
  target_link_libraries(${name} PRIVATE ${ARGN} kivo_test_support GTest::gtest GTest::gmock GTest::gtest_main)
  # The environment is set by TestEnvironment.cpp inside each test program
  # (gtest_discover_tests cannot carry a list-valued ENVIRONMENT property).
  target_sources(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests/support/TestEnvironment.cpp)
  target_compile_definitions(${name} PRIVATE KIVO_TEST_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
                                             KIVO_TEST_BINARY_DIR="${PROJECT_BINARY_DIR}")
  gtest_discover_tests(${name}
    DISCOVERY_TIMEOUT 60
    TEST_PREFIX "${name}.")
endfunction()
