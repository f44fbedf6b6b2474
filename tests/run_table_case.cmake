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

compare_expected(${CASE_DIR} ${WORK_DIR} failures ${COMPARE_TSV})
report_failures("case ${CASE_DIR} (stderr: ${WORK_DIR}/stderr.actual)" ${failures})
