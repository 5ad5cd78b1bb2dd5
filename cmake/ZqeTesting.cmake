# Test support: GoogleTest from the system natively, built from
# /usr/src/googletest for the cross build (no Windows package exists).
if(NOT ZQE_BUILD_TESTS)
  return()
endif()

enable_testing()
if(ZQE_WINDOWS)
  set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/_googletest EXCLUDE_FROM_ALL)
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
  find_package(GTest REQUIRED)
endif()

# zqe_add_test(NAME name SOURCES a.cpp b.cpp LIBS lib...)
# One ctest test per executable: under Wine every process start costs a
# second or more, so test cases are not split into processes of their own.
function(zqe_add_test)
  cmake_parse_arguments(ARG "" "NAME" "SOURCES;LIBS" ${ARGN})
  add_executable(${ARG_NAME} ${ARG_SOURCES})
  target_link_libraries(${ARG_NAME} PRIVATE ${ARG_LIBS} GTest::gmock GTest::gtest_main)
  add_test(NAME ${ARG_NAME} COMMAND ${ARG_NAME})
  if(ZQE_WINDOWS)
    set_tests_properties(${ARG_NAME} PROPERTIES
      ENVIRONMENT "WINEDEBUG=-all;WINEDLLOVERRIDES=mscoree,mshtml=")
  endif()
endfunction()
