#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <istream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/text.h"
#include "genotypes/lines.h"
#include "table/table.h"

// The parts of the table reader its unit test reaches directly.

namespace table::detail {

using common::join;
using genotypes::equal_ignoring_case;
using genotypes::quoted;
using genotypes::trim_blanks;

// A locus of the table: its name and the 0-based column of its first typing.
// A column that pairs with no other is a locus of one column when each of its
// cells holds both alleles (136/143); should a cell not, the reading stops
// with the pairing error, kept here.
struct ColumnLocus {
  std::string name;
  int first_column = 0;
  bool one_column = false;
  std::string unpaired;  // the pairing error of a one-column locus
  // The two column names of a locus paired by their suffixes (L1, L2): when
  // every cell of both holds two alleles, they are two loci of one column.
  std::array<std::string, 2> column_names;
};

// The two alleles of a one-column cell: exactly one '/' or '|' with a
// non-empty allele on either side; nothing otherwise.
[[nodiscard]] std::optional<std::array<std::string_view, 2>> split_genotype(std::string_view cell);

// Where the columns of the header go (0-based columns).
struct ColumnPlan {
  int population = 0;
  std::optional<int> id;
  std::optional<int> row_names;  // column 0 when its name is empty, as R's write.csv leaves it
  std::vector<ColumnLocus> loci;
};

// The columns of a header. The population column is the one --population-column
// names, else the first named "population" or "pop" in any case, else the
// first column that is not row names; then the id column is the one
// --id-column names, else the first other column named "id", "individual",
// "ind", "sample" or "name" in any case, else none. Every other column but
// the row names belongs to a locus. Throws common::FileError{table_name, 1,
// what} for a column an option names that is missing or not unique, an id
// column that is the population column, columns that do not pair into loci
// (naming the option and column when a column an option names pairs with a
// locus column beside it, else the population and id columns taken), or a
// locus twice.
[[nodiscard]] ColumnPlan plan_columns(const std::vector<std::string>& header,
                                      const TableOptions& options, const std::string& table_name);

// The locus name of two adjacent columns, or nothing when they do not pair:
// equal names, or equal after removing the suffixes "a1"/"a2", "1"/"2" or
// "a"/"b" (tried in this order), each after the same separator in both ("_",
// ".", "-", a blank, tried in this order, then none); a rule that would leave
// an empty name does not apply.
[[nodiscard]] std::optional<std::string> locus_of_columns(std::string_view first,
                                                          std::string_view second);

}  // namespace table::detail
