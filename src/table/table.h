#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <istream>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/first_appearance.h"
#include "common/run.h"

// The genotype-table front-end: a CSV/TSV table with one row per individual
// (a population column, two columns per locus) and the loci of a test named
// on the command line, turned into the run's input. Allele names are kept in
// full for the result tables; the engine sees them as synthetic 5-character
// typings. Every error is a common::FileError naming the table (with its line
// number, 1-based, the header being line 1) or the option.

namespace table {

// The longest line of a table, in bytes without its line end.
inline constexpr int MAX_TABLE_LINE = 1 << 20;  // 1 MiB
// Alleles a locus may have among the individuals kept for a test.
inline constexpr int MAX_TABLE_ALLELES = 250;
// Blank lines a table may have in a row; more are not a table (a device or a
// file of line ends) and end the reading.
inline constexpr int MAX_BLANK_LINES = 1'000'000;

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

// The --missing LIST: comma-separated tokens, each trimmed of surrounding
// blanks as cells are (empty tokens add nothing). An empty list is allowed:
// then only empty cells are missing.
[[nodiscard]] std::vector<std::string> parse_missing_tokens(std::string_view list);

struct Locus {
  std::string name;
  int first_column = 0;  // 0-based column of its first typing
};

struct Row {
  std::int64_t line = 0;  // the table's line number (header = 1)
  std::string population;
  std::string id;  // empty without an id column
  // [locus]: the two cells, trimmed, in column order; "" = missing.
  std::vector<std::array<std::string, 2>> typings;
};

struct GenotypeTable {
  std::string name;         // display name (the file name) for messages
  char delimiter = ',';     // the delimiter the table was read with
  std::vector<Locus> loci;  // in table order
  std::vector<Row> rows;    // in table order, blank lines skipped
};

// Takes a line for the user (standard error, in the program) as soon as it is
// known, so that it arrives even when a later line of the table is an error.
using NoteWriter = std::function<void(const std::string& line)>;

// Reads the whole table sequentially (it may be a pipe); no line longer than
// MAX_TABLE_LINE is ever held. A delimiter of 0 is taken from the name
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
[[nodiscard]] GenotypeTable read_genotype_table(std::istream& in, const std::string& name,
                                                const TableOptions& options,
                                                const NoteWriter& note = {});

// One warning for each locus with an allele (a cell that is no missing
// token) that looks like a missing-data code (missing_code_lookalike), at
// its first such cell, in table order: the line, the locus, the value and
// --missing, with which the codes are named.
[[nodiscard]] std::vector<std::string> missing_code_notes(const GenotypeTable& table);

// The loci of one test and its two groupings. Locus numbers are 0-based
// indexes into GenotypeTable::loci.
struct TestSpec {
  std::vector<int> loci;                      // the loci of the test, in table order
  std::vector<std::vector<int>> null_groups;  // in the order written
  std::vector<std::vector<int>> alt_groups;   // in the order written
};

// The test of --null SPEC and --alt SPEC ("" = not given). A SPEC lists
// groups separated by commas, the loci of a group joined by "+". The loci of
// the test are those of the null SPEC, else of the alternative SPEC, else
// every locus; the default null grouping holds each locus alone, the default
// alternative one group of all, both in table order. Throws
// common::FileError{"--null" or "--alt", 0, what} for an unknown locus, a
// repeat, an empty group, an alternative naming a locus outside the test, or
// a test of fewer than 2 or more than 10 loci (naming the table when no SPEC
// is given).
[[nodiscard]] TestSpec parse_test(const GenotypeTable& table, std::string_view null_spec,
                                  std::string_view alt_spec);

// The loci of the pairs mode: the comma-separated names of --loci ("" =
// every locus), in table order; at least 2. Throws
// common::FileError{"--loci", 0, what}.
[[nodiscard]] std::vector<int> parse_loci(const GenotypeTable& table, std::string_view list);

// The two-locus test of a locus pair (null: each alone; alternative: both in one
// group), the loci in table order whichever is given first.
[[nodiscard]] TestSpec locus_pair_test(int locus_a, int locus_b);

// Whether a row takes part in a test of these loci (0-based): it is left out
// when typings are missing at two or more of them, since such an individual
// cannot be completed over the alleles of one locus.
[[nodiscard]] bool row_kept(const Row& row, std::span<const int> loci);

// The table's populations in order of first appearance, every row counting
// whether a test keeps it or not: values[k] is the k-th population met,
// number_of[r] the 0-based population of row r.
[[nodiscard]] common::FirstAppearance population_order(const GenotypeTable& table);

struct ExcludedIndividual {
  std::string population;
  std::int64_t line = 0;
  std::string id;  // empty without an id column
};

struct TableInput {
  common::RunInput input;
  // Individuals with missing typings at two or more loci of the test, in table order.
  std::vector<ExcludedIndividual> excluded;
  // Populations with nobody left, in order of first appearance.
  std::vector<std::string> dropped_populations;
};

// The run input of a test: the test's loci as systems in table order, each
// locus's alleles (those of the kept individuals) numbered in byte order of
// their names, populations in order of first appearance in the table (a
// population with nobody kept is dropped), records in table order. Throws
// common::FileError{table.name, 0, what} when no individual is left, or a
// locus of the test has no allele or more than MAX_TABLE_ALLELES among the
// kept individuals. With untyped_left_out (the maximum-likelihood rules), a
// locus that nobody of a population has typed is no missing typing of that
// population's individuals: it is listed in input.untyped_systems and its
// typings are filled with one allele, so that it adds nothing to the test.
[[nodiscard]] TableInput make_run_input(const GenotypeTable& table, const TestSpec& test,
                                        bool untyped_left_out = false);

}  // namespace table
