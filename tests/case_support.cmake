# What the case scripts (run_case.cmake, run_table_case.cmake) share: the
# fresh copy of a case folder, the comparison of what a run left with the
# case's expected files, and the report of what differs.

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

# Compares every file of case_dir/expected with what the run left in
# work_dir: status, stdout and stderr with the NAME.actual files the script
# saved, any other file with the file of that name the run wrote. Sets
# failures_var to one line per file missing or different. Files compare byte
# for byte; with a compare_tsv program given after failures_var, .tsv files
# compare as tables instead, within the case's TOLERANCE file (COLUMN=ULPS
# lines, for columns whose reference values were summed in another order).
function(compare_expected case_dir work_dir failures_var)
  set(compare_tsv ${ARGN})
  set(tolerance "")
  if(EXISTS ${case_dir}/TOLERANCE)
    file(STRINGS ${case_dir}/TOLERANCE tolerance)
  endif()
  set(failures "")
  file(GLOB expected_files RELATIVE ${case_dir}/expected ${case_dir}/expected/*)
  foreach(name ${expected_files})
    set(expected ${case_dir}/expected/${name})
    if(name STREQUAL "status" OR name STREQUAL "stdout" OR name STREQUAL "stderr")
      set(actual ${work_dir}/${name}.actual)
    else()
      set(actual ${work_dir}/${name})
    endif()
    if(NOT EXISTS ${actual})
      list(APPEND failures "${name}: not written")
    elseif(compare_tsv AND name MATCHES "\\.tsv$")
      execute_process(COMMAND ${compare_tsv} ${expected} ${actual} ${tolerance}
        RESULT_VARIABLE same ERROR_VARIABLE difference)
      if(NOT same EQUAL 0)
        string(STRIP "${difference}" difference)
        list(APPEND failures "${name}: ${difference}")
      endif()
    else()
      file(READ ${expected} want HEX)
      file(READ ${actual} got HEX)
      if(NOT want STREQUAL got)
        list(APPEND failures "${name}: differs (diff ${expected} ${actual})")
      endif()
    endif()
  endforeach()
  set(${failures_var} ${failures} PARENT_SCOPE)
endfunction()

# Ends the script with the heading and one line per failure (the arguments
# after the heading), when there is any.
function(report_failures heading)
  if(ARGN)
    string(REPLACE ";" "\n  " text "${ARGN}")
    message(FATAL_ERROR "${heading}:\n  ${text}")
  endif()
endfunction()
