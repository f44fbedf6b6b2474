#pragma once

#include <cstdint>
#include <string>
#include <utility>

namespace common {

// Every stop code of the run. The console shows "Return code N" with the full
// number; the process exit status keeps its low 8 bits.
enum class StopCode : int {
  phase_guard = 1,               // exchange_alleles got a system outside 1..system_count
  split_no_missing = 10,         // split_at_missing_system found no missing system
  split_no_missing_letter = 15,  // one typing missing but no "?" in the code string
  too_many_phenotypes = 105,     // more than 1000 distinct phenotypes in a data set
  system_count = 201,            // system count outside 2..10
  allele_count = 202,            // allele count above 14
  name_width = 203,              // allele-name width outside 1..5
  header_end_of_file = 204,      // the data file ends inside the header
  no_records = 205,              // the data file holds no phenotype record
  bad_grouping = 206,            // a grouping of the control file breaks a rule
  bad_code_letter = 207,         // an allele code letter is blank, "?", "^" or repeated
  haplotype_count = 304,         // the haplotype count check failed
  unknown_allele = 375,          // a typing that is not in its system's allele list
  missing_guard_one = 407,       // one missing system counted but none found
  missing_guard_first = 409,     // two missing systems counted but none found
  too_much_missing = 410,        // a phenotype with more missing than typed systems
  unusable_observed = 411,       // the observed data holds a phenotype missing two or more systems
  missing_guard_second = 412,    // two missing systems counted but only one found
  too_many_tries = 7070,         // a permuted data set needed too many attempts
};

// A fatal stop of the run. Whoever raises it has already written its message
// lines, if any, to the sinks in the required order. The explanation is the
// stop's one line on standard error, in plain words: what was found, where
// (file and line, population and record, system, as far as known), the limit
// broken and what to do. It is never part of the console, log or report.
struct Stop {
  StopCode code;
  std::string explanation;
};

// The full stop code as printed on the "Return code" line.
[[nodiscard]] constexpr int stop_number(StopCode code) { return static_cast<int>(code); }

// The stop of a consistency guard (stop codes 1, 10, 15, 407, 409, 412): no
// input can raise it, so its explanation asks for a report of the fault.
[[nodiscard]] inline Stop consistency_stop(StopCode code) {
  return Stop{code, "internal consistency check " + std::to_string(stop_number(code)) +
                        " failed; this is a fault of the program, not of the data: please report"
                        " it with the input files"};
}

// An error of the file layer: a missing file, a report file that exists, a
// field that is not an integer, a layout that cannot be read. Reported as one
// line "file:line: what" on the error stream, exit status 2, no "Return code".
// line is 0 when the error is not tied to a line of the file; 64 bits, since
// a genotype table may have more lines than an int counts.
struct FileError {
  std::string file;
  std::int64_t line = 0;
  std::string what;
};

// A test whose data set k (0: the observed one) needs more memory than the
// whole budget. The overall run reports it as a FileError; the pair tests
// write the pair's rows as NA with a note and go on with the others.
struct MemoryRefusal {
  int dataset_number = 0;
  std::int64_t needed = 0;
  std::int64_t budget = 0;
  std::string what;  // the whole explanation, as a FileError says it
};

inline constexpr int FILE_ERROR_STATUS = 2;  // exit status of a FileError and of a bad command line

}  // namespace common
