# Test support: GoogleTest's package natively; the cross build compiles it
# from its sources (no Windows package exists), which the toolchain file
# names in ZQE_GOOGLETEST_SOURCE_DIR. Either way the tests link the
# package's target names, GTest::gmock and GTest::gtest_main.
if(NOT ZQE_BUILD_TESTS)
  return()
endif()

enable_testing()
if(CMAKE_CROSSCOMPILING)
  if(NOT ZQE_GOOGLETEST_SOURCE_DIR OR NOT EXISTS ${ZQE_GOOGLETEST_SOURCE_DIR}/CMakeLists.txt)
    zqe_missing_package(GoogleTest "its sources, for the cross build; looked in '${ZQE_GOOGLETEST_SOURCE_DIR}'"
                        "ZQE_GOOGLETEST_SOURCE_DIR at them")
  endif()
  set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  add_subdirectory(${ZQE_GOOGLETEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/_googletest EXCLUDE_FROM_ALL)
  # GoogleTest's own sources are not ours to keep warning-free.
  foreach(t gtest gtest_main gmock gmock_main)
    if(TARGET ${t})
      target_compile_options(${t} PRIVATE -w)
    endif()
  endforeach()
  foreach(t gtest gtest_main gmock)
    if(NOT TARGET GTest::${t})
      add_library(GTest::${t} ALIAS ${t})
    endif()
  endforeach()
else()
  find_package(GTest CONFIG QUIET)
  if(NOT GTest_FOUND OR NOT TARGET GTest::gmock OR NOT TARGET GTest::gtest_main)
    zqe_missing_package(GTest "GoogleTest and GoogleMock, for the tests")
  endif()
endif()

# zqe_add_test(NAME name SOURCES a.cpp b.cpp LIBS lib...)
# One ctest test per executable: under Wine every process start costs a
# second or more, so test cases are not split into processes of their own.
function(zqe_add_test)
  cmake_parse_arguments(ARG "" "NAME" "SOURCES;LIBS" ${ARGN})
  add_executable(${ARG_NAME} ${ARG_SOURCES})
  target_link_libraries(${ARG_NAME} PRIVATE ${ARG_LIBS} GTest::gmock GTest::gtest_main)
  # A program's test files compile as one unit: GoogleTest's headers are
  # most of each file's compile time, and are then read once per program.
  set_target_properties(${ARG_NAME} PROPERTIES UNITY_BUILD ON UNITY_BUILD_BATCH_SIZE 0)
  add_test(NAME ${ARG_NAME} COMMAND ${ARG_NAME})
  if(ZQE_WINDOWS)
    set_tests_properties(${ARG_NAME} PROPERTIES
      ENVIRONMENT "WINEDEBUG=-all;WINEDLLOVERRIDES=mscoree,mshtml=")
  endif()
endfunction()

# zqe_add_server_fixture(NAME name SCRIPT server.py STATE file ENV variable
#                        [ARGS start-argument...] [TESTS test...])
# A loopback test server (serp-sim, the HTTP scenario server) as a ctest
# fixture: test <name>_start starts it before the tests that need it and
# <name>_stop stops it after them, however they end. The server names its
# ports in the state file, whose path those tests find in the environment
# variable. Tests defined later join with zqe_use_server_fixture.
function(zqe_add_server_fixture)
  cmake_parse_arguments(ARG "" "NAME;SCRIPT;STATE;ENV" "ARGS;TESTS" ${ARGN})
  find_package(Python3 COMPONENTS Interpreter REQUIRED)
  add_test(NAME ${ARG_NAME}_start COMMAND ${Python3_EXECUTABLE} ${ARG_SCRIPT} start ${ARG_STATE} ${ARG_ARGS})
  add_test(NAME ${ARG_NAME}_stop COMMAND ${Python3_EXECUTABLE} ${ARG_SCRIPT} stop ${ARG_STATE})
  set_tests_properties(${ARG_NAME}_start PROPERTIES FIXTURES_SETUP ${ARG_NAME})
  set_tests_properties(${ARG_NAME}_stop PROPERTIES FIXTURES_CLEANUP ${ARG_NAME})
  set_property(GLOBAL PROPERTY ZQE_SERVER_FIXTURE_${ARG_NAME} "${ARG_ENV}=${ARG_STATE}")
  foreach(test IN LISTS ARG_TESTS)
    zqe_use_server_fixture(${test} ${ARG_NAME})
  endforeach()
endfunction()

# zqe_use_server_fixture(test fixture): test runs inside the fixture's
# server lifetime and is told where its state file is.
function(zqe_use_server_fixture test fixture)
  get_property(env GLOBAL PROPERTY ZQE_SERVER_FIXTURE_${fixture})
  if(NOT env)
    message(FATAL_ERROR "zqe_use_server_fixture: no server fixture named ${fixture}")
  endif()
  set_tests_properties(${test} PROPERTIES FIXTURES_REQUIRED ${fixture})
  set_property(TEST ${test} APPEND PROPERTY ENVIRONMENT "${env}")
endfunction()
