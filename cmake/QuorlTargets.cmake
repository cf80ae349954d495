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

# quorl_test(<name> SOURCES ... [DEPS ...]): a GoogleTest executable registered with CTest.
function(quorl_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  find_package(GTest REQUIRED)
  add_executable(${name} ${ARG_SOURCES})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} GTest::gtest GTest::gmock GTest::gtest_main)
  include(GoogleTest)
  # Tests that open an editor store its display scale; under CTest that goes to a folder of the build, never
  # into the user's configuration.
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60
    PROPERTIES TIMEOUT 600 ENVIRONMENT "XDG_CONFIG_HOME=${CMAKE_BINARY_DIR}/test-config")
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
