cmake_minimum_required(VERSION 3.25)
# Runs the command line of a case's CMD file in a fresh copy of the case
# folder (the word quarnel standing for PROGRAM, --threads THREADS appended)
# and compares the exit status with expected/status, standard output and
# error with expected/stdout and expected/stderr where given, each expected .tsv file
# as a table (COMPARE_TSV) and every other expected file byte for byte.
# Variables: PROGRAM, COMPARE_TSV, CASE_DIR, WORK_DIR, THREADS.
include(${CMAKE_CURRENT_LIST_DIR}/case_support.cmake)
copy_case(${CASE_DIR} ${WORK_DIR} CMD TOLERANCE)

file(STRINGS ${CASE_DIR}/CMD command_line LIMIT_COUNT 1)
separate_arguments(command UNIX_COMMAND "${command_line}")
list(TRANSFORM command REPLACE "^quarnel$" "${PROGRAM}")
execute_process(COMMAND ${command} --threads ${THREADS}
  WORKING_DIRECTORY ${WORK_DIR}
  OUTPUT_FILE ${WORK_DIR}/stdout.actual
  ERROR_FILE ${WORK_DIR}/stderr.actual
  RESULT_VARIABLE status)
file(WRITE ${WORK_DIR}/status.actual "${status}\n")

set(failures "")
file(GLOB expected_files RELATIVE ${CASE_DIR}/expected ${CASE_DIR}/expected/*)
foreach(name ${expected_files})
  actual_file(${name} ${WORK_DIR} actual)
  if(NOT EXISTS ${actual})
    list(APPEND failures "${name}: not written")
  elseif(name MATCHES "\\.tsv$")
    # A case's TOLERANCE file lists COLUMN=ULPS for columns whose reference
    # values were summed in another order.
    set(tolerance "")
    if(EXISTS ${CASE_DIR}/TOLERANCE)
      file(STRINGS ${CASE_DIR}/TOLERANCE tolerance)
    endif()
    execute_process(COMMAND ${COMPARE_TSV} ${CASE_DIR}/expected/${name} ${actual} ${tolerance}
      RESULT_VARIABLE same ERROR_VARIABLE difference)
    if(NOT same EQUAL 0)
      string(STRIP "${difference}" difference)
      list(APPEND failures "${name}: ${difference}")
    endif()
  else()
    compare_bytes(${name} ${CASE_DIR}/expected/${name} ${actual} failures)
  endif()
endforeach()
report_failures("case ${CASE_DIR} (stderr: ${WORK_DIR}/stderr.actual)" ${failures})
