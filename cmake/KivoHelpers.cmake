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
# registered with CTest and gathered in the target kivo_core_tests. Tests find
# programs and data through the environment that the object library
# kivo_test_environment (tests/CMakeLists.txt) sets in every test program.
function(kivo_test name dir)
  file(GLOB sources CONFIGURE_DEPENDS ${dir}/*.cpp)
  if(NOT sources)
    return()
  endif()
  add_executable(${name} ${sources})
  target_link_libraries(${name} PRIVATE ${ARGN} kivo_test_environment kivo_test_support GTest::gtest GTest::gmock
                                        GTest::gtest_main)
  add_dependencies(kivo_core_tests ${name})
  gtest_discover_tests(${name}
    DISCOVERY_TIMEOUT 60
    TEST_PREFIX "${name}.")
endfunction()

# kivo_windows_program(target description [DESKTOP]): the Windows program's
# version record (the project's version, product, company, description,
# original file name) and its manifest (asInvoker, the supported systems from
# Vista to Windows 10/11; DESKTOP adds DPI awareness and common controls 6),
# as one generated resource script. Nothing on other platforms.
function(kivo_windows_program target description)
  if(NOT WIN32)
    return()
  endif()
  cmake_parse_arguments(arg "DESKTOP" "" "" ${ARGN})
  set(KIVO_RC_NAME ${target})
  set(KIVO_RC_FILE ${target}${CMAKE_EXECUTABLE_SUFFIX})
  set(KIVO_RC_DESCRIPTION "${description}")
  set(KIVO_RC_DESKTOP "")
  if(arg_DESKTOP)
    file(READ ${PROJECT_SOURCE_DIR}/cmake/desktop.manifest.in KIVO_RC_DESKTOP)
  endif()
  set(KIVO_RC_MANIFEST ${CMAKE_CURRENT_BINARY_DIR}/${target}.manifest)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/program.manifest.in ${KIVO_RC_MANIFEST} @ONLY)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/program.rc.in ${CMAKE_CURRENT_BINARY_DIR}/${target}-program.rc @ONLY)
  target_sources(${target} PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/${target}-program.rc)
  set_source_files_properties(${CMAKE_CURRENT_BINARY_DIR}/${target}-program.rc PROPERTIES OBJECT_DEPENDS
                              ${KIVO_RC_MANIFEST})
endfunction()
