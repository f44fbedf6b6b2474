# What the case scripts (run_case.cmake, run_table_case.cmake) share: the
# fresh copy of a case folder, the file each expected file is compared with,
# the byte comparison and the report of what differs.

# Copies the files of case_dir into a fresh work_dir, leaving out the README
# and the case's own control files named after work_dir.
function(copy_case case_dir work_dir)
  file(REMOVE_RECURSE ${work_dir})
  file(MAKE_DIRECTORY ${work_dir})
  file(GLOB inputs LIST_DIRECTORIES false ${case_dir}/*)
  foreach(input ${inputs})
    file(COPY ${input} DESTINATION ${work_dir})
  endforeach()
  set(controls README ${ARGN})
  list(TRANSFORM controls PREPEND ${work_dir}/)
  file(REMOVE ${controls})
endfunction()

# Sets out_var to the file that expected file `name` is compared with: the
# exit status, standard output and standard error of the run as the script
# saved them in NAME.actual, any other file as the run wrote it.
function(actual_file name work_dir out_var)
  if(name STREQUAL "status" OR name STREQUAL "stdout" OR name STREQUAL "stderr")
    set(${out_var} ${work_dir}/${name}.actual PARENT_SCOPE)
  else()
    set(${out_var} ${work_dir}/${name} PARENT_SCOPE)
  endif()
endfunction()

# Appends a line for `name` to the list failures_var when the two files
# differ in any byte.
function(compare_bytes name expected actual failures_var)
  file(READ ${expected} want HEX)
  file(READ ${actual} got HEX)
  if(NOT want STREQUAL got)
    list(APPEND ${failures_var} "${name}: differs (diff ${expected} ${actual})")
    set(${failures_var} ${${failures_var}} PARENT_SCOPE)
  endif()
endfunction()

# Ends the script with the heading and one line per failure (the arguments
# after the heading), when there is any.
function(report_failures heading)
  if(ARGN)
    string(REPLACE ";" "\n  " text "${ARGN}")
    message(FATAL_ERROR "${heading}:\n  ${text}")
  endif()
endfunction()
