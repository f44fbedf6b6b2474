cmake_minimum_required(VERSION 3.25)
# Runs the program in a fresh copy of one case folder and compares console
# output, exit status, standard error (when expected/stderr exists), report and
# log with the expected files byte for byte.
# Variables: PROGRAM, CASE_DIR, WORK_DIR, THREADS.
# A file CONSOLE in the case folder names where standard output goes instead
# (such as /dev/full); the case then has no expected/stdout.
# A file ARGS in the case folder holds more arguments for the program, on one
# line separated by blanks.
include(${CMAKE_CURRENT_LIST_DIR}/case_support.cmake)
copy_case(${CASE_DIR} ${WORK_DIR} CONSOLE ARGS)
set(console ${WORK_DIR}/stdout.actual)
if(EXISTS ${CASE_DIR}/CONSOLE)
  file(STRINGS ${CASE_DIR}/CONSOLE console LIMIT_COUNT 1)
endif()
set(arguments "")
if(EXISTS ${CASE_DIR}/ARGS)
  file(STRINGS ${CASE_DIR}/ARGS arguments LIMIT_COUNT 1)
  separate_arguments(arguments UNIX_COMMAND "${arguments}")
endif()

execute_process(COMMAND ${PROGRAM} --threads ${THREADS} ${arguments}
  WORKING_DIRECTORY ${WORK_DIR}
  OUTPUT_FILE ${console}
  ERROR_FILE ${WORK_DIR}/stderr.actual
  RESULT_VARIABLE status)
file(WRITE ${WORK_DIR}/status.actual "${status}\n")

compare_expected(${CASE_DIR} ${WORK_DIR} failures)
# A log the case does not expect must not be written.
file(GLOB logs RELATIVE ${WORK_DIR} ${WORK_DIR}/*.log)
foreach(log ${logs})
  if(NOT EXISTS ${CASE_DIR}/expected/${log})
    list(APPEND failures "${log}: written but not expected")
  endif()
endforeach()
report_failures("case ${CASE_DIR}" ${failures})
