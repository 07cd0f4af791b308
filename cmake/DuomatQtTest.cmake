# One CTest test per Qt Test function, so that ctest -j spreads a window's
# cases over the cores (ufMain_test alone starts a dozen simulators). The
# functions are read from the source's "private slots:" section at configure
# time; a test of its own (<name>.functions) fails when the program's list
# (-functions) differs, so that a function the reading missed is never
# silently left out.

# duomat_add_qt_test(NAME SOURCE [PROPERTIES...]): PROPERTIES as for
# set_tests_properties, given to every test of the program.
function(duomat_add_qt_test name source)
  file(READ ${source} text)
  string(FIND "${text}" "private slots:" start)
  set(functions)
  if(start GREATER -1)
    string(SUBSTRING "${text}" ${start} -1 text)
    # The section ends at the next access label or the class's end.
    string(REGEX REPLACE "\n *(public|private|protected):.*|\n};.*" "" text "${text}")
    string(REGEX MATCHALL "void [A-Za-z_][A-Za-z0-9_]*\\(\\)" found "${text}")
    foreach(f ${found})
      string(REGEX REPLACE "void ([A-Za-z0-9_]+)\\(\\)" "\\1" f "${f}")
      if(NOT f MATCHES "_data$" AND NOT f MATCHES "^(init|cleanup|initTestCase|cleanupTestCase)$")
        list(APPEND functions ${f})
      endif()
    endforeach()
  endif()
  if(NOT functions)
    add_test(NAME ui.${name} COMMAND ${name})
    set_tests_properties(ui.${name} PROPERTIES ${ARGN})
    return()
  endif()
  foreach(f ${functions})
    add_test(NAME ui.${name}.${f} COMMAND ${name} ${f})
    set_tests_properties(ui.${name}.${f} PROPERTIES ${ARGN})
  endforeach()
  add_test(NAME ui.${name}.functions
           COMMAND ${CMAKE_COMMAND} -DPROGRAM=$<TARGET_FILE:${name}> "-DEXPECTED=${functions}"
                   -P ${CMAKE_SOURCE_DIR}/cmake/DuomatQtTestFunctions.cmake)
  set_tests_properties(ui.${name}.functions PROPERTIES ${ARGN})
endfunction()
