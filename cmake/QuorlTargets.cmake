# Helpers shared by the subsystem CMakeLists files.

# quorl_library(<name> SOURCES ... [DEPS ...]): a static subsystem library whose headers are found
# relative to the repository root (#include "core/IParam.h").
function(quorl_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  if(ARG_DEPS)
    target_link_libraries(${name} PUBLIC ${ARG_DEPS})
  endif()
endfunction()

# quorl_test(<name> [PREFERENCES] SOURCES ... [DEPS ...]): a GoogleTest executable registered with CTest.
# PREFERENCES marks a suite that reads or writes the display-scale preference file.
function(quorl_test name)
  cmake_parse_arguments(ARG "PREFERENCES" "" "SOURCES;DEPS" ${ARGN})
  find_package(GTest REQUIRED)
  add_executable(${name} ${ARG_SOURCES})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} GTest::gtest GTest::gmock GTest::gtest_main)
  include(GoogleTest)
  # Tests that open an editor store its display scale; under CTest that goes to a folder of the build, never
  # into the user's configuration. On Windows that folder is the roaming application data of the build's Wine
  # prefix, which every test program shares: the suites that use it take turns.
  set(properties TIMEOUT 600 ENVIRONMENT "XDG_CONFIG_HOME=${CMAKE_BINARY_DIR}/test-config")
  if(WIN32 AND ARG_PREFERENCES)
    list(APPEND properties RESOURCE_LOCK quorl_preference_folder)
  endif()
  # Under Wine every process start costs a second or more, so a Windows suite is one CTest test that runs all
  # its cases in one process (its output still lists every case).
  if(WIN32)
    add_test(NAME ${name} COMMAND ${name} --gtest_brief=1)
    set_tests_properties(${name} PROPERTIES ${properties})
  else()
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES ${properties})
  endif()
endfunction()

# quorl_fuzzer(<name> SOURCES ... [DEPS ...]): a libFuzzer executable at <build>/fuzz/<name>, built only in a
# fuzzing build (QUORL_BUILD_FUZZERS=ON with clang) and collected by the target quorl_fuzzers, which
# scripts/fuzz builds and runs.
function(quorl_fuzzer name)
  if(NOT QUORL_FUZZING)
    return()
  endif()
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
  target_link_libraries(${name} PRIVATE ${ARG_DEPS})
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/fuzz)
  if(NOT TARGET quorl_fuzzers)
    add_custom_target(quorl_fuzzers)
  endif()
  add_dependencies(quorl_fuzzers ${name})
endfunction()
