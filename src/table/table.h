#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <istream>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "genotypes/genotypes.h"

// The CSV/TSV genotype table: one row per individual (a population column,
// two columns per locus) read into the genotypes of a table run. Every error
// is a common::FileError naming the table (with its line number, 1-based, the
// header being line 1) or the option.

namespace table {

struct TableOptions {
  // 0: from the file name's extension (delimiter_for), but ';' for a ".csv"
  // whose header has semicolons and no comma.
  char delimiter = 0;
  // Empty: the first column named "population" or "pop" in any case, else
  // the first column (not counting a first column of row names, whose header
  // is empty).
  std::string population_column;
  // Empty: the first other column named "id", "individual", "ind", "sample"
  // or "name" in any case, else none.
  std::string id_column;
  // Cells that mean a missing typing (an empty cell always does): the codes
  // of the classic files and those that statistics packages and spreadsheets
  // write.
  std::vector<std::string> missing_tokens = {"0",   "NA",  "-",  "?",  "****", "-9",  ".",
                                             "NaN", "N/A", "na", "00", "000",  "0000"};
  // The memory budget the table read in counts against (its text and the
  // cells' bookkeeping); 0: none. An endless table on a pipe ends here.
  std::int64_t max_bytes = 0;
};

// The --delimiter value: one character, or the word "tab". Throws
// common::FileError{"--delimiter", 0, what}.
[[nodiscard]] char parse_delimiter(std::string_view value);

// The delimiter a file name's extension gives, in either case: ".csv" a comma,
// ".tsv" and ".txt" a tab. Throws common::FileError{path, 0, what} for any
// other name (the table then needs --delimiter).
[[nodiscard]] char delimiter_for(std::string_view path);

// Whether a cell that is no missing token looks like one all the same, as
// other programs write missing data: -1 to -99, NULL, none, missing, nan or
// n/a in any case, a run of "?" or of "0", x or X.
[[nodiscard]] bool missing_code_lookalike(std::string_view cell);

// Whether a column name is one the table takes, in any case, for the
// population column ("population", "pop") or for the id column ("id",
// "individual", "ind", "sample", "name") when no option names it; the other
// formats of named columns follow the same rule.
[[nodiscard]] bool population_column_name(std::string_view name);
[[nodiscard]] bool id_column_name(std::string_view name);

// The --missing LIST: comma-separated tokens, each trimmed of surrounding
// blanks as cells are (empty tokens add nothing). An empty list is allowed:
// then only empty cells are missing.
[[nodiscard]] std::vector<std::string> parse_missing_tokens(std::string_view list);

using genotypes::NoteWriter;

// Reads the whole table sequentially (it may be a pipe); no line longer than
// genotypes::MAX_LINE is ever held. A delimiter of 0 is taken from the name
// (delimiter_for, whose error it throws), except that a ".csv" whose header
// line has semicolons and no comma is read with ';', which a line to note
// says (when note is set) once the header is read. The population, id and
// locus columns are found as TableOptions says; a first column whose header
// is empty holds row names and is left out. Each byte sequence that is not
// UTF-8 is read as U+FFFD, which one line to note says at the first line
// that has one. Throws common::FileError{name, line, what}:
// a UTF-16 table, a bad header (columns that do not pair into loci, naming
// the population and id columns taken; a locus twice; an unknown population
// or id column, or one that pairs with a locus column), a row with another
// field count than the header, a line end inside quotes, a line too long,
// more than MAX_BLANK_LINES blank lines in a row, an empty population cell, a
// tab in a population or allele name, a "~" in an allele name, a read error.
[[nodiscard]] genotypes::GenotypeData read_genotype_table(std::istream& in, const std::string& name,
                                                          const TableOptions& options,
                                                          const NoteWriter& note = {});

}  // namespace table
