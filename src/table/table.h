#pragma once

#include <array>
#include <istream>
#include <string>
#include <string_view>
#include <vector>

#include "common/run.h"

// The genotype-table front-end: a CSV or TSV table with a header row, one row
// per individual, a population column and two adjacent columns per locus,
// turned into the same run input that the classic files give. Errors are
// common::FileError: the table's name and line (the header is line 1), or an
// option's name with line 0.

namespace table {

struct TableOptions {
  char delimiter = ',';
  std::string population_column;  // empty: the first column
  std::string id_column;          // empty: none
  std::vector<std::string> missing_tokens = {"0", "NA", "-", "?", "****"};
};

// The --delimiter value: one character, or the word "tab".
[[nodiscard]] char parse_delimiter(std::string_view value);
// The delimiter of a file name's extension: .csv comma, .tsv and .txt tab, in
// either case; another extension needs --delimiter.
[[nodiscard]] char delimiter_for(std::string_view path);
// --missing LIST: comma-separated tokens; an empty list leaves only empty
// cells missing.
[[nodiscard]] std::vector<std::string> parse_missing_tokens(std::string_view list);

struct Locus {
  std::string name;
  int first_column = 0;  // 0-based column of its first typing
};

struct Row {
  int line = 0;  // the table's line number
  std::string population;
  std::string id;                                   // empty without an id column
  std::vector<std::array<std::string, 2>> typings;  // [locus]: the two cells; "" = missing
};

struct GenotypeTable {
  std::string name;          // the table's name in messages
  std::vector<Locus> loci;   // in table order
  std::vector<Row> rows;     // in table order, blank lines skipped
};

// Reads the whole table, sequentially (it may be a pipe).
[[nodiscard]] GenotypeTable read_genotype_table(std::istream& in, const std::string& name,
                                                const TableOptions& options);

// The loci of a test and its groupings; loci are 0-based table loci.
struct TestSpec {
  std::vector<int> loci;                      // in table order
  std::vector<std::vector<int>> null_groups;  // in the order written
  std::vector<std::vector<int>> alt_groups;
};

// The test of --null and --alt ("" for either: the default).
[[nodiscard]] TestSpec parse_test(const GenotypeTable& table, std::string_view null_spec,
                                  std::string_view alt_spec);
// The loci of the pairs mode: those of --loci ("" = every locus), at least 2.
[[nodiscard]] std::vector<int> parse_loci(const GenotypeTable& table, std::string_view list);
// The test of one pair: null grouping a,b and alternative a+b.
[[nodiscard]] TestSpec pair_test(int locus_a, int locus_b);

struct ExcludedIndividual {
  std::string population;
  int line = 0;
  std::string id;
};

struct TableInput {
  common::RunInput input;
  std::vector<ExcludedIndividual> excluded;      // in table order
  std::vector<std::string> dropped_populations;  // nobody left; in order of first appearance
};

// The run input of a test: the loci of the test in table order as systems,
// alleles (those of the rows kept) numbered in byte order of their names,
// populations in order of first appearance, records in table order. An
// individual missing a typing at two or more loci of the test is left out.
// Throws common::FileError when nobody is left or a locus has more than
// MAX_TABLE_ALLELES alleles.
[[nodiscard]] TableInput make_run_input(const GenotypeTable& table, const TestSpec& test);

inline constexpr int MAX_TABLE_ALLELES = 250;
inline constexpr std::size_t MAX_LINE_BYTES = 1 << 20;

}  // namespace table
