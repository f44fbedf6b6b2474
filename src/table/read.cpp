#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>

#include "common/count.h"
#include "common/stop.h"
#include "layout/layout.h"
#include "table/table.h"
#include "table/table_internal.h"

namespace table {

using detail::join;
using detail::quoted;

char parse_delimiter(std::string_view value) {
  if (value == "tab") {
    return '\t';
  }
  if (value.size() != 1 || value[0] == '"' || value[0] == '\n' || value[0] == '\r') {
    throw common::FileError{"--delimiter", 0,
                            join({"takes one character or the word tab, not ", quoted(value),
                                  " (the quote and line-end characters cannot be delimiters)"})};
  }
  return value[0];
}

namespace {

[[nodiscard]] bool ends_with_lower(std::string_view path, std::string_view extension) {
  return genotypes::has_extension(path, extension);
}

}  // namespace

char delimiter_for(std::string_view path) {
  if (ends_with_lower(path, ".csv")) {
    return ',';
  }
  if (ends_with_lower(path, ".tsv") || ends_with_lower(path, ".txt")) {
    return '\t';
  }
  throw common::FileError{std::string(path), 0,
                          "the delimiter follows from the extension .csv (comma) or .tsv or .txt"
                          " (tab); for another name use --delimiter"};
}

std::vector<std::string> parse_missing_tokens(std::string_view list) {
  std::vector<std::string> tokens;
  while (!list.empty()) {
    const std::size_t comma = std::min(list.find(','), list.size());
    const std::string_view token = detail::trim_blanks(list.substr(0, comma));
    if (!token.empty()) {
      tokens.emplace_back(token);
    }
    list.remove_prefix(comma == list.size() ? comma : comma + 1);
  }
  return tokens;
}

namespace {

class RowReader {
 public:
  RowReader(const std::string& name, const TableOptions& options, const detail::ColumnPlan& plan,
            int field_count)
      : name_(name), options_(options), plan_(plan), field_count_(field_count) {}

  [[nodiscard]] genotypes::Individual read(const std::vector<std::string>& fields,
                                           std::int64_t line) const {
    if (common::count_of(fields) != field_count_) {
      fail(line, join({"the row has ", std::to_string(fields.size()), " fields, the header ",
                       std::to_string(field_count_)}));
    }
    genotypes::Individual row;
    row.line = line;
    row.population = fields[plan_.population];
    if (row.population.empty()) {
      fail(line, "the population cell is empty; every row needs its population");
    }
    if (row.population.find('\t') != std::string::npos) {
      fail(line, join({"the population name ", quoted(row.population),
                       " holds a tab, which the result tables cannot show"}));
    }
    if (plan_.id) {
      row.id = fields[*plan_.id];
    }
    for (const detail::ColumnLocus& locus : plan_.loci) {
      if (locus.one_column) {
        row.typings.push_back(one_column_typing(fields[locus.first_column], locus, line));
      } else {
        row.typings.push_back({typing(fields[locus.first_column], locus, line),
                               typing(fields[locus.first_column + 1], locus, line)});
      }
    }
    return row;
  }

 private:
  const std::string& name_;
  const TableOptions& options_;
  const detail::ColumnPlan& plan_;
  int field_count_;

  [[noreturn]] void fail(std::int64_t line, const std::string& what) const {
    throw common::FileError{name_, line, what};
  }

  // Both alleles of a cell of a one-column locus, each of them possibly
  // missing; the whole cell a missing code is a missing typing.
  [[nodiscard]] std::array<std::string, 2> one_column_typing(const std::string& cell,
                                                             const detail::ColumnLocus& locus,
                                                             std::int64_t line) const {
    if (typing(cell, locus, line).empty()) {
      return {};
    }
    const auto alleles = detail::split_genotype(cell);
    if (!alleles) {
      fail(line, join({locus.unpaired, "; its cell ", quoted(cell),
                       " is not two alleles joined by / or |"}));
    }
    return {typing(std::string((*alleles)[0]), locus, line),
            typing(std::string((*alleles)[1]), locus, line)};
  }

  [[nodiscard]] std::string typing(const std::string& cell, const detail::ColumnLocus& locus,
                                   std::int64_t line) const {
    for (const std::string& token : options_.missing_tokens) {
      if (cell == token) {
        return {};
      }
    }
    for (const char forbidden : {'\t', '~'}) {
      if (cell.find(forbidden) != std::string::npos) {
        fail(line, join({"the allele name ", quoted(cell), " of locus ", quoted(locus.name),
                         forbidden == '\t' ? " holds a tab, which the result tables cannot show"
                                           : " holds \"~\", which joins the allele names of a"
                                             " haplotype in the result tables"}));
      }
    }
    return cell;
  }
};

// What a row of the table takes besides its text, for the memory budget:
// the row and each cell's string.
constexpr std::size_t ROW_BYTES = 128;
constexpr std::size_t CELL_BYTES = 32;

// A spreadsheet set to a European locale writes its ".csv" with semicolons,
// the comma being its decimal mark. Only the header is looked at, as it is
// read: the table may be a pipe.
[[nodiscard]] bool semicolon_header(std::string_view line) {
  return line.find(';') != std::string_view::npos && line.find(',') == std::string_view::npos;
}

// A lone column is a locus only where its cells show two alleles: one whose
// every cell is missing (or a table of no rows) shows none.
void check_one_column_loci(const genotypes::GenotypeData& table, const detail::ColumnPlan& plan) {
  for (std::size_t l = 0; l < plan.loci.size(); ++l) {
    if (!plan.loci[l].one_column) {
      continue;
    }
    const bool typed =
        std::any_of(table.individuals.begin(), table.individuals.end(),
                    [&](const genotypes::Individual& individual) {
                      return !individual.typings[l][0].empty() || !individual.typings[l][1].empty();
                    });
    if (!typed) {
      throw common::FileError{table.name, 1, plan.loci[l].unpaired};
    }
  }
}

// Whether every typed cell of a paired locus holds two alleles (and one does).
[[nodiscard]] bool holds_genotypes(const genotypes::GenotypeData& table, std::size_t l) {
  bool typed = false;
  for (const genotypes::Individual& individual : table.individuals) {
    for (const std::string& cell : individual.typings[l]) {
      if (!cell.empty() && !detail::split_genotype(cell)) {
        return false;
      }
      typed = typed || !cell.empty();
    }
  }
  return typed;
}

// Columns named as a pair (L1, L2) whose every cell holds two alleles
// (136/143) are two loci of one column each, not one locus of alleles named
// "136/143": read so, and said.
void split_genotype_pairs(genotypes::GenotypeData& table, const detail::ColumnPlan& plan,
                          const TableOptions& options, const NoteWriter& note) {
  const auto allele = [&](std::string_view part) {
    const bool missing = std::find(options.missing_tokens.begin(), options.missing_tokens.end(),
                                   part) != options.missing_tokens.end();
    return missing ? std::string() : std::string(part);
  };
  for (std::size_t l = plan.loci.size(); l-- > 0;) {
    const detail::ColumnLocus& locus = plan.loci[l];
    if (locus.one_column || locus.column_names[0].empty() || !holds_genotypes(table, l)) {
      continue;
    }
    table.loci[l].name = locus.column_names[0];
    table.loci.insert(table.loci.begin() + static_cast<std::ptrdiff_t>(l) + 1,
                      genotypes::Locus{locus.column_names[1], {}});
    for (genotypes::Individual& individual : table.individuals) {
      std::array<std::array<std::string, 2>, 2> split;
      for (std::size_t k = 0; k < 2; ++k) {
        if (const auto alleles = detail::split_genotype(individual.typings[l][k])) {
          split[k] = {allele((*alleles)[0]), allele((*alleles)[1])};
        }
      }
      individual.typings[l] = split[0];
      individual.typings.insert(individual.typings.begin() + static_cast<std::ptrdiff_t>(l) + 1,
                                split[1]);
    }
    if (note) {
      note(join({"warning: ", layout::printable(table.name), ": the columns ",
                 quoted(locus.column_names[0]), " and ", quoted(locus.column_names[1]),
                 " hold two alleles in every cell; read as two loci of one column each"}));
    }
  }
}

}  // namespace

genotypes::GenotypeData read_genotype_table(std::istream& in, const std::string& name,
                                            const TableOptions& options, const NoteWriter& note) {
  genotypes::GenotypeData table;
  table.name = name;
  const char delimiter = options.delimiter != 0 ? options.delimiter : delimiter_for(name);
  genotypes::LineReader reader(in, name, delimiter, note);
  if (!reader.next_record()) {
    throw common::FileError{name, 0, "the table is empty; it needs a header row"};
  }
  if (reader.line_number() != 1) {
    throw common::FileError{name, 1, "the first line is blank; it must be the header row"};
  }
  if (options.delimiter == 0 && delimiter == ',' && semicolon_header(reader.line())) {
    reader.use_delimiter(';');
    if (note) {
      note(join({"warning: ", layout::printable(name),
                 ", line 1: the header has semicolons and no comma, so the table is read with ';'"
                 " as the delimiter (give --delimiter to override)"}));
    }
  }
  const std::vector<std::string> header = reader.split();
  const detail::ColumnPlan plan = detail::plan_columns(header, options, name);
  for (const detail::ColumnLocus& locus : plan.loci) {
    table.loci.push_back(genotypes::Locus{locus.name, {}});
  }
  const RowReader rows(name, options, plan, common::count_of(header));
  std::int64_t held = 0;
  while (const std::optional<std::vector<std::string>> fields = reader.next_fields()) {
    held +=
        static_cast<std::int64_t>(reader.line().size() + ROW_BYTES + CELL_BYTES * fields->size());
    if (options.max_bytes > 0 && held > options.max_bytes) {
      throw common::FileError{name, reader.line_number(),
                              join({"the table read so far needs more memory than the budget of ",
                                    std::to_string(options.max_bytes),
                                    " bytes; raise --max-memory, or split the table"})};
    }
    table.individuals.push_back(rows.read(*fields, reader.line_number()));
  }
  check_one_column_loci(table, plan);
  split_genotype_pairs(table, plan, options, note);
  return table;
}

}  // namespace table
