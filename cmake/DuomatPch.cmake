# Precompiled headers: the standard library, GoogleTest and Qt Widgets parse
# once per target (or once per group of targets with the same flags) instead
# of once per source file. Only standard and library headers go in here: the
# project's own headers change too often, and a POSIX header such as
# <termios.h> would clash with the files that need the kernel's termbits.
# -DCMAKE_DISABLE_PRECOMPILE_HEADERS=ON builds without them (the package
# build does, so that a source missing an include still fails somewhere).

set(DUOMAT_PCH_STD
  <algorithm> <array> <atomic> <chrono> <condition_variable> <cstdint> <cstdio> <cstdlib> <cstring>
  <deque> <filesystem> <fstream> <functional> <map> <memory> <mutex> <optional> <set> <sstream>
  <stdexcept> <string> <string_view> <thread> <utility> <vector>)
set(DUOMAT_PCH_TEST <gtest/gtest.h> <gmock/gmock.h>)
set(DUOMAT_PCH_QT <QApplication> <QComboBox> <QLineEdit> <QMessageBox> <QObject> <QPlainTextEdit>
  <QPointer> <QPushButton> <QString> <QTimer> <QToolButton> <QWidget>)

# duomat_pch(TARGET KIND...): KIND is any of STD, TEST, QT.
function(duomat_pch target)
  set(headers)
  foreach(kind ${ARGN})
    list(APPEND headers ${DUOMAT_PCH_${kind}})
  endforeach()
  target_precompile_headers(${target} PRIVATE ${headers})
endfunction()

# duomat_pch_from(TARGET DONOR): TARGET compiles with DONOR's header, built
# once. Only for targets with the same compile flags and definitions (clang
# refuses a header whose macros differ; g++ warns under -Winvalid-pch).
function(duomat_pch_from target donor)
  target_precompile_headers(${target} REUSE_FROM ${donor})
endfunction()

function(_duomat_targets_below dir out)
  get_property(targets DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
  get_property(subdirs DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
  foreach(sub ${subdirs})
    _duomat_targets_below(${sub} more)
    list(APPEND targets ${more})
  endforeach()
  set(${out} ${targets} PARENT_SCOPE)
endfunction()

# Gives every target of the tree its precompiled header, by kind, so that the
# library and test folders need no call of their own: the Qt-free libraries
# and the fuzz programs share one (standard library), the GoogleTest programs
# and their support libraries one (and GoogleTest), the Qt Test programs one
# (and Qt Widgets), duomat_ui its own. Programs with definitions of their own
# (DUOMAT_VERSION) and a single source, and shared libraries built with
# their own visibility, go without: a header of their own would cost more
# than it saves.
function(duomat_precompile_targets)
  _duomat_targets_below(${CMAKE_SOURCE_DIR} targets)
  set(donor_STD "")
  set(donor_TEST "")
  set(donor_TESTBASE "")
  set(donor_TESTCLI "")
  set(donor_QTTEST "")
  foreach(t ${targets})
    get_target_property(type ${t} TYPE)
    get_target_property(sources ${t} SOURCES)
    if(NOT sources)
      continue()
    endif()
    set(group "")
    if(type STREQUAL "STATIC_LIBRARY")
      if(t MATCHES "test_support")
        set(group TEST)
      elseif(t STREQUAL "duomat_ui")
        duomat_pch(${t} STD QT)
      elseif(t STREQUAL "duomat_cli")
        # Qt Core makes a library linking it position-independent (-fPIC),
        # which a header precompiled without cannot serve.
        duomat_pch(${t} STD)
      elseif(t STREQUAL "duomat_translations")
        continue()
      else()
        set(group STD)
      endif()
    elseif(type STREQUAL "EXECUTABLE")
      if(t MATCHES "^test_")
        # Only programs with the same definitions share a header: those on the
        # end-to-end support carry the programs' paths, the others do not.
        get_target_property(libs ${t} LINK_LIBRARIES)
        if(libs MATCHES "duomat_cli")
          # Qt Core (through the command line's library) makes it -fPIC.
          set(group TESTCLI)
        elseif("korvan_test_support" IN_LIST libs)
          set(group TEST)
        else()
          set(group TESTBASE)
        endif()
      elseif(t MATCHES "_test$")
        set(group QTTEST)
      elseif(t MATCHES "^fuzz_")
        set(group STD)
      elseif(t STREQUAL "duomat-cli")
        duomat_pch(${t} STD)
      endif()
    endif()
    if(group STREQUAL "")
      continue()
    endif()
    if(donor_${group} STREQUAL "")
      set(donor_${group} ${t})
      if(group STREQUAL "QTTEST")
        duomat_pch(${t} STD QT)
        target_precompile_headers(${t} PRIVATE <QTest> <QSignalSpy>)
      elseif(group STREQUAL "TESTBASE" OR group STREQUAL "TESTCLI")
        duomat_pch(${t} TEST)
      else()
        duomat_pch(${t} ${group})
      endif()
    else()
      duomat_pch_from(${t} ${donor_${group}})
    endif()
  endforeach()
endfunction()
