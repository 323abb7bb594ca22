# Build time. The headers of Qt and of the test framework are parsed once per
# build, as precompiled headers that every target of a kind reuses; a target's
# files are compiled four at a time as one (a unity build), except the few
# whose file-local names repeat a neighbour's (SKIP_UNITY_BUILD_INCLUSION where
# they are added); test code, whose speed nothing measures, is compiled without
# optimisation (half its compile time); ccache is used when it is installed.
option(VARDEX_PCH "Precompile the headers of Qt and of the test framework" ON)
option(VARDEX_UNITY "Compile each target's files four at a time as one" ON)
option(VARDEX_CCACHE "Compile through ccache when it is installed" ON)

if(VARDEX_UNITY)
  set(CMAKE_UNITY_BUILD ON)
  set(CMAKE_UNITY_BUILD_BATCH_SIZE 4)
endif()

if(VARDEX_CCACHE AND NOT CMAKE_CXX_COMPILER_LAUNCHER)
  find_program(VARDEX_CCACHE_PROGRAM ccache)
  if(VARDEX_CCACHE_PROGRAM)
    # ccache takes a precompiled header's users only with these sloppinesses.
    set(CMAKE_CXX_COMPILER_LAUNCHER
        ${CMAKE_COMMAND} -E env
        "CCACHE_SLOPPINESS=pch_defines,time_macros,include_file_mtime,include_file_ctime"
        ${VARDEX_CCACHE_PROGRAM})
  endif()
endif()

set(VARDEX_PCH_QT <QAbstractButton> <QApplication> <QCheckBox> <QComboBox> <QGridLayout>
                  <QGroupBox> <QHBoxLayout> <QKeyEvent> <QLabel> <QLineEdit> <QPushButton>
                  <QRadioButton> <QString> <QTimer> <QVBoxLayout> <QWidget>)
set(VARDEX_PCH_STD <algorithm> <chrono> <condition_variable> <cstdio> <cstdlib> <cstring>
                   <filesystem> <fstream> <functional> <map> <memory> <mutex> <set> <sstream>
                   <string> <string_view> <thread> <utility> <vector>)
set(VARDEX_PCH_TEST <gtest/gtest.h> <gmock/gmock.h>)

# The owner of one precompiled header: one file compiled with the flags of the
# targets that reuse it (a header is used only by a compilation with the same
# options; -fPIC and -fPIE differ, so Qt's libraries and the window's test
# programs each have their own).
function(vardex_pch_owner name)
  cmake_parse_arguments(PARSE_ARGV 1 arg "TEST;EXECUTABLE" "" "LINK;HEADERS")
  set(anchor ${PROJECT_BINARY_DIR}/pch/${name}.cpp)
  if(arg_EXECUTABLE)
    # A program with Qt is compiled position-independent for a program (-fPIE),
    # which only a program of its own gets.
    file(WRITE ${anchor} "int main() { return 0; }\n")
    add_executable(${name} ${anchor})
  else()
    file(WRITE ${anchor} "// The anchor of the precompiled header ${name}.\n")
    add_library(${name} OBJECT ${anchor})
  endif()
  target_link_libraries(${name} PRIVATE ${arg_LINK} vardex_warnings)
  target_precompile_headers(${name} PRIVATE ${arg_HEADERS})
  if(arg_TEST)
    target_compile_options(${name} PRIVATE -O0)
  endif()
endfunction()

# The Qt libraries of the window (src/ui and the folders on it).
function(vardex_qt_speed)
  if(NOT VARDEX_PCH)
    return()
  endif()
  if(NOT TARGET vardex_pch_qt)
    vardex_pch_owner(vardex_pch_qt LINK Qt6::Widgets HEADERS ${VARDEX_PCH_QT} ${VARDEX_PCH_STD})
  endif()
  foreach(target IN LISTS ARGN)
    target_precompile_headers(${target} REUSE_FROM vardex_pch_qt)
  endforeach()
endfunction()

# Every program and library of the tests in DIRECTORIES (and their folders).
function(vardex_test_speed)
  set(targets)
  foreach(dir IN LISTS ARGN)
    get_property(found DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
    list(APPEND targets ${found})
  endforeach()
  foreach(target IN LISTS targets)
    get_target_property(type ${target} TYPE)
    if(NOT type MATCHES "EXECUTABLE|STATIC_LIBRARY")
      continue()
    endif()
    target_compile_options(${target} PRIVATE -O0)
    if(NOT VARDEX_PCH)
      continue()
    endif()
    get_target_property(links ${target} LINK_LIBRARIES)
    if(NOT "GTest::gtest_main" IN_LIST links AND NOT "GTest::gtest" IN_LIST links
       AND NOT "vardex_test_support" IN_LIST links)
      continue()
    endif()
    if("Qt6::Test" IN_LIST links)
      if(NOT TARGET vardex_pch_gui_test)
        vardex_pch_owner(vardex_pch_gui_test TEST EXECUTABLE LINK Qt6::Widgets GTest::gtest
                         HEADERS ${VARDEX_PCH_TEST} ${VARDEX_PCH_QT} ${VARDEX_PCH_STD})
        # Qt's test library defines its users' own folders, which differ from
        # target to target; the header holds none of its parts.
        target_compile_definitions(vardex_pch_gui_test PRIVATE QT_TESTLIB_LIB)
      endif()
      target_precompile_headers(${target} REUSE_FROM vardex_pch_gui_test)
    else()
      if(NOT TARGET vardex_pch_test)
        vardex_pch_owner(vardex_pch_test TEST LINK GTest::gtest
                         HEADERS ${VARDEX_PCH_TEST} ${VARDEX_PCH_STD})
      endif()
      target_precompile_headers(${target} REUSE_FROM vardex_pch_test)
    endif()
  endforeach()
endfunction()
