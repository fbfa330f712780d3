# How test programs join ctest. Natively each GoogleTest case is a test of its own. For
# Windows the programs run under Wine through cmake/wine-run.sh, with the settings of
# cmake/wine-env.sh, and one server kept running across the tests by the fixture vt_wine
# (tests/CMakeLists.txt). Tests of other kinds that run Windows programs take
# FIXTURES_REQUIRED vt_wine.
include(GoogleTest)

# VT_GTEST: what a test program links. Natively the machine's GoogleTest; for Windows
# Debian's GoogleTest sources built with this toolchain, and a main of our own
# (tests/windows_main).
if(WIN32)
  set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  add_library(vt_gtest_main_windows STATIC
    ${CMAKE_CURRENT_LIST_DIR}/../tests/windows_main/test_main_windows.cpp)
  target_link_libraries(vt_gtest_main_windows PUBLIC gtest PRIVATE vt_warnings)
  set(VT_GTEST gtest vt_gtest_main_windows)
else()
  find_package(GTest REQUIRED)
  set(VT_GTEST GTest::gtest GTest::gtest_main)
endif()

# vt_add_gtest(target): registers the GoogleTest program target, run in its binary
# directory. For Windows the whole program is one test: starting Wine per case costs far
# more than the cases (failures are named in the program's output).
function(vt_add_gtest target)
  if(WIN32)
    add_test(NAME ${target} COMMAND ${target} --gtest_brief=1
      WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
    set_tests_properties(${target} PROPERTIES FIXTURES_REQUIRED vt_wine TIMEOUT 1500)
  else()
    gtest_discover_tests(${target} DISCOVERY_MODE PRE_TEST
      WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
  endif()
endfunction()
