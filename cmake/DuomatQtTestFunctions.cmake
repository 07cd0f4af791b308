# Script (cmake -P): fails when a Qt Test program's functions (PROGRAM
# -functions) are not exactly EXPECTED, the list its CTest tests were made of.
execute_process(COMMAND ${PROGRAM} -functions OUTPUT_VARIABLE out RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${PROGRAM} -functions ended with ${status}")
endif()
string(REGEX MATCHALL "[A-Za-z0-9_]+\\(\\)" listed "${out}")
list(TRANSFORM listed REPLACE "\\(\\)$" "")
if(NOT listed STREQUAL EXPECTED)
  message(FATAL_ERROR "${PROGRAM} has the functions '${listed}', its tests were made for '${EXPECTED}': re-run cmake")
endif()
