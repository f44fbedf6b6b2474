#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "common/stop.h"
#include "layout/layout.h"
#include "table/table.h"
#include "table/table_internal.h"

namespace table {
namespace {

constexpr int NO_COLUMN = -1;

// The column of a name given by an option, or NO_COLUMN when none is given.
int named_column(const Record& header, const std::string& wanted, const std::string& option,
                 const std::string& name) {
  if (wanted.empty()) {
    return NO_COLUMN;
  }
  const auto found = std::find(header.fields.begin(), header.fields.end(), wanted);
  if (found == header.fields.end()) {
    throw common::FileError{name, header.line,
                            option + " names \"" + layout::printable(wanted) +
                                "\", which is not a column of the header"};
  }
  return static_cast<int>(found - header.fields.begin());
}

std::string quoted(std::string_view text) { return "\"" + layout::printable(text) + "\""; }

// The loci of the header: every column but the population and the id column,
// two adjacent columns per locus.
std::vector<Locus> pair_columns(const Record& header, int population, int id,
                                const std::string& name) {
  std::vector<Locus> loci;
  std::set<std::string> seen;
  const int total = static_cast<int>(header.fields.size());
  for (int c = 0; c < total; ++c) {
    if (c == population || c == id) {
      continue;
    }
    const std::string& first = header.fields[c];
    const bool partnered = c + 1 < total && c + 1 != population && c + 1 != id;
    const std::string locus =
        partnered ? locus_of_columns(first, header.fields[c + 1]) : std::string();
    if (locus.empty()) {
      throw common::FileError{
          name, header.line,
          "column " + std::to_string(c + 1) + " " + quoted(first) +
              " has no partner: every locus needs two adjacent columns with names such as "
              "A_1,A_2 or A.a1,A.a2 or A1,A2 or A,A" +
              (partnered ? " (the next column is " + quoted(header.fields[c + 1]) + ")" : "")};
    }
    if (!seen.insert(locus).second) {
      throw common::FileError{name, header.line,
                              "two loci are named " + quoted(locus) + " (columns " +
                                  std::to_string(c + 1) + " and " + std::to_string(c + 2) +
                                  " and earlier ones); rename one of them"};
    }
    loci.push_back({locus, c});
    ++c;
  }
  return loci;
}

bool is_missing(const std::string& cell, const std::vector<std::string>& tokens) {
  return cell.empty() || std::find(tokens.begin(), tokens.end(), cell) != tokens.end();
}

Row make_row(const Record& record, const std::vector<Locus>& loci, int population, int id,
             const TableOptions& options, const std::string& name) {
  Row row;
  row.line = record.line;
  row.population = record.fields[population];
  if (row.population.empty()) {
    throw common::FileError{name, record.line, "the population cell is empty"};
  }
  if (row.population.find('\t') != std::string::npos) {
    throw common::FileError{name, record.line, "the population name holds a tab"};
  }
  if (id != NO_COLUMN) {
    row.id = record.fields[id];
  }
  for (const Locus& locus : loci) {
    std::array<std::string, 2>& typings = row.typings.emplace_back();
    for (int k = 0; k < 2; ++k) {
      const std::string& cell = record.fields[locus.first_column + k];
      if (is_missing(cell, options.missing_tokens)) {
        continue;
      }
      if (cell.find_first_of("\t~") != std::string::npos) {
        throw common::FileError{name, record.line,
                                "the allele name " + quoted(cell) + " of locus " +
                                    quoted(locus.name) +
                                    " holds a tab or '~' (which joins haplotype names)"};
      }
      typings[k] = cell;
    }
  }
  return row;
}

}  // namespace

std::string locus_of_columns(std::string_view first, std::string_view second) {
  if (first == second) {
    return std::string(first);
  }
  constexpr std::string_view SUFFIXES[][2] = {{"a1", "a2"}, {"1", "2"}, {"a", "b"}};
  constexpr std::string_view SEPARATORS[] = {"_", ".", "-", " ", ""};
  for (const auto& suffix : SUFFIXES) {
    for (const std::string_view separator : SEPARATORS) {
      const std::string one = std::string(separator) + std::string(suffix[0]);
      const std::string two = std::string(separator) + std::string(suffix[1]);
      if (first.size() > one.size() && second.size() > two.size() && first.ends_with(one) &&
          second.ends_with(two) &&
          first.substr(0, first.size() - one.size()) ==
              second.substr(0, second.size() - two.size())) {
        return std::string(first.substr(0, first.size() - one.size()));
      }
    }
  }
  return {};
}

GenotypeTable read_genotype_table(std::istream& in, const std::string& name,
                                  const TableOptions& options) {
  const std::vector<Record> records = read_records(in, name, options.delimiter);
  if (records.empty()) {
    throw common::FileError{name, 0, "the table is empty (a header row is needed)"};
  }
  const Record& header = records.front();
  const int id = named_column(header, options.id_column, "--id-column", name);
  int population = named_column(header, options.population_column, "--population-column", name);
  if (population == NO_COLUMN) {
    population = 0;
  }
  if (population == id) {
    throw common::FileError{name, header.line, "the population and the id column are the same"};
  }
  GenotypeTable table;
  table.name = name;
  table.loci = pair_columns(header, population, id, name);
  for (std::size_t r = 1; r < records.size(); ++r) {
    const Record& record = records[r];
    if (record.fields.size() != header.fields.size()) {
      throw common::FileError{name, record.line,
                              "the row has " + std::to_string(record.fields.size()) +
                                  " fields, the header " + std::to_string(header.fields.size())};
    }
    table.rows.push_back(make_row(record, table.loci, population, id, options, name));
  }
  return table;
}

}  // namespace table
