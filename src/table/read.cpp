#include <array>
#include <optional>
#include <string>
#include <utility>

#include "common/count.h"
#include "common/stop.h"
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
  if (path.size() < extension.size()) {
    return false;
  }
  const std::string_view end = path.substr(path.size() - extension.size());
  for (std::size_t i = 0; i < end.size(); ++i) {
    const char c = end[i];
    const char lower = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    if (lower != extension[i]) {
      return false;
    }
  }
  return true;
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

// Where the columns of the header go.
struct ColumnPlan {
  int population = 0;
  std::optional<int> id;
  std::vector<Locus> loci;
};

[[nodiscard]] std::string column_text(const std::vector<std::string>& header, int c) {
  return join({"column ", std::to_string(c + 1), " (", quoted(header[c]), ")"});
}

// The 0-based column of the given name, or the error's reason.
[[nodiscard]] int named_column(const std::vector<std::string>& header, const std::string& name,
                               std::string_view option, const std::string& table_name) {
  std::optional<int> found;
  for (int c = 0; c < common::count_of(header); ++c) {
    if (header[c] == name) {
      if (found) {
        throw common::FileError{
            table_name, 1,
            join({option, " ", quoted(name), " names ", column_text(header, *found), " and ",
                  column_text(header, c), "; column names must tell it apart"})};
      }
      found = c;
    }
  }
  if (!found) {
    throw common::FileError{table_name, 1,
                            join({"the header has no column ", quoted(name), " (", option, ")"})};
  }
  return *found;
}

void check_locus_names(const std::vector<Locus>& loci, const std::string& table_name) {
  for (std::size_t i = 0; i < loci.size(); ++i) {
    for (std::size_t j = 0; j < i; ++j) {
      if (loci[i].name == loci[j].name) {
        throw common::FileError{
            table_name, 1,
            join({"the locus ", quoted(loci[i].name), " stands twice, at columns ",
                  std::to_string(loci[j].first_column + 1), "-",
                  std::to_string(loci[j].first_column + 2), " and ",
                  std::to_string(loci[i].first_column + 1), "-",
                  std::to_string(loci[i].first_column + 2), "; each locus needs its own name"})};
      }
    }
  }
}

[[nodiscard]] ColumnPlan plan_columns(const std::vector<std::string>& header,
                                      const TableOptions& options, const std::string& table_name) {
  ColumnPlan plan;
  if (!options.population_column.empty()) {
    plan.population =
        named_column(header, options.population_column, "--population-column", table_name);
  }
  if (!options.id_column.empty()) {
    plan.id = named_column(header, options.id_column, "--id-column", table_name);
    if (*plan.id == plan.population) {
      throw common::FileError{
          table_name, 1,
          join({"--id-column names the population column ", column_text(header, plan.population)})};
    }
  }
  const auto is_locus_column = [&](int c) { return c != plan.population && c != plan.id; };
  const int n = common::count_of(header);
  for (int c = 0; c < n; ++c) {
    if (!is_locus_column(c)) {
      continue;
    }
    std::optional<std::string> locus;
    if (c + 1 < n && is_locus_column(c + 1)) {
      locus = detail::locus_of_columns(header[c], header[c + 1]);
    }
    if (!locus) {
      const std::string next = c + 1 < n ? join({" with the next, ", column_text(header, c + 1)})
                                         : std::string(" with a next column");
      throw common::FileError{
          table_name, 1,
          join({column_text(header, c), " does not pair", next,
                "; a locus takes two adjacent columns of equal names or names such as DRB_1,"
                " DRB_2 or DRB.a1, DRB.a2"})};
    }
    plan.loci.push_back(Locus{std::move(*locus), c});
    ++c;
  }
  check_locus_names(plan.loci, table_name);
  return plan;
}

class RowReader {
 public:
  RowReader(const std::string& name, const TableOptions& options, const ColumnPlan& plan,
            int field_count)
      : name_(name), options_(options), plan_(plan), field_count_(field_count) {}

  [[nodiscard]] Row read(const std::vector<std::string>& fields, int line) const {
    if (common::count_of(fields) != field_count_) {
      fail(line, join({"the row has ", std::to_string(fields.size()), " fields, the header ",
                       std::to_string(field_count_)}));
    }
    Row row;
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
    for (const Locus& locus : plan_.loci) {
      row.typings.push_back({typing(fields, locus, 0, line), typing(fields, locus, 1, line)});
    }
    return row;
  }

 private:
  const std::string& name_;
  const TableOptions& options_;
  const ColumnPlan& plan_;
  int field_count_;

  [[noreturn]] void fail(int line, const std::string& what) const {
    throw common::FileError{name_, line, what};
  }

  [[nodiscard]] std::string typing(const std::vector<std::string>& fields, const Locus& locus,
                                   int k, int line) const {
    const std::string& cell = fields[locus.first_column + k];
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

}  // namespace

GenotypeTable read_genotype_table(std::istream& in, const std::string& name,
                                  const TableOptions& options) {
  const char delimiter = options.delimiter != 0 ? options.delimiter : delimiter_for(name);
  detail::FieldReader reader(in, name, delimiter);
  std::optional<std::vector<std::string>> header = reader.next_fields();
  if (!header) {
    throw common::FileError{name, 0, "the table is empty; it needs a header row"};
  }
  if (reader.line_number() != 1) {
    throw common::FileError{name, 1, "the first line is blank; it must be the header row"};
  }
  const ColumnPlan plan = plan_columns(*header, options, name);
  GenotypeTable table;
  table.name = name;
  table.loci = plan.loci;
  const RowReader rows(name, options, plan, common::count_of(*header));
  while (const std::optional<std::vector<std::string>> fields = reader.next_fields()) {
    table.rows.push_back(rows.read(*fields, reader.line_number()));
  }
  return table;
}

}  // namespace table
