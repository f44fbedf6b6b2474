#include <algorithm>
#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "common/count.h"
#include "genotypes/genotypes.h"
#include "genotypes/lines.h"
#include "layout/layout.h"

namespace genotypes {
namespace {

constexpr std::string_view LOOKS_MISSING =
    " looks like a missing-data code; it is analysed as an allele (name the codes with"
    " --missing)";

}  // namespace

bool missing_code_lookalike(std::string_view cell) {
  if (cell.empty()) {
    return false;
  }
  for (const std::string_view word : {"NULL", "none", "missing", "nan", "n/a", "x"}) {
    if (equal_ignoring_case(cell, word)) {
      return true;
    }
  }
  for (const char repeated : {'?', '0'}) {
    if (cell.find_first_not_of(repeated) == std::string_view::npos) {
      return true;
    }
  }
  // -1 to -99, as programs that code a missing value negative write it.
  const std::string_view digits = cell.substr(1);
  return cell.front() == '-' && !digits.empty() && digits.size() <= 2 && digits.front() != '0' &&
         digits.find_first_not_of("0123456789") == std::string_view::npos;
}

std::vector<std::string> missing_code_notes(const GenotypeData& table) {
  std::vector<std::string> notes;
  // Such a code usually fills much of a column, so one line a locus says it.
  for (int l = 0; l < common::count_of(table.loci); ++l) {
    for (const Individual& row : table.individuals) {
      const std::array<std::string, 2>& cells = row.typings[l];
      const auto found = std::find_if(cells.begin(), cells.end(), missing_code_lookalike);
      if (found == cells.end()) {
        continue;
      }
      notes.push_back(common::join(
          {"warning: ", layout::printable(table.name), ", line ", std::to_string(row.line),
           ": locus ", quoted(table.loci[l].name), ": the value ", quoted(*found), LOOKS_MISSING}));
      break;
    }
  }
  return notes;
}

}  // namespace genotypes
