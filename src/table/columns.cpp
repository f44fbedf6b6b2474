#include <algorithm>
#include <array>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <tuple>
#include <utility>

#include "common/count.h"
#include "common/stop.h"
#include "table/table.h"
#include "table/table_internal.h"

namespace table::detail {
namespace {

constexpr std::string_view PAIRING_RULE =
    "; a locus takes two adjacent columns of equal names or names such as DRB_1, DRB_2 or "
    "DRB.a1, DRB.a2, or one column whose cells hold both alleles, such as 136/143";

// The names people give these columns, tried in any case.
constexpr std::array<std::string_view, 2> POPULATION_NAMES = {"population", "pop"};
constexpr std::array<std::string_view, 5> ID_NAMES = {"id", "individual", "ind", "sample", "name"};

using Header = std::vector<std::string>;

[[nodiscard]] std::string column_text(const Header& header, int c) {
  return join({"column ", std::to_string(c + 1), " (", quoted(header[c]), ")"});
}

// The 0-based column of the given name, or the error's reason.
[[nodiscard]] int named_column(const Header& header, const std::string& name,
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

// The first column, in column order, that may be taken and whose name is one
// of the names in any case.
[[nodiscard]] std::optional<int> column_named_like(const Header& header,
                                                   std::span<const std::string_view> names,
                                                   const std::function<bool(int)>& may_take) {
  for (int c = 0; c < common::count_of(header); ++c) {
    for (const std::string_view name : names) {
      if (may_take(c) && equal_ignoring_case(header[c], name)) {
        return c;
      }
    }
  }
  return std::nullopt;
}

[[nodiscard]] int population_column(const Header& header, const ColumnPlan& plan,
                                    const TableOptions& options, const std::string& table_name) {
  if (!options.population_column.empty()) {
    return named_column(header, options.population_column, "--population-column", table_name);
  }
  const auto not_row_names = [&](int c) { return c != plan.row_names; };
  if (const std::optional<int> found = column_named_like(header, POPULATION_NAMES, not_row_names)) {
    return *found;
  }
  for (int c = 0; c < common::count_of(header); ++c) {
    if (not_row_names(c)) {
      return c;
    }
  }
  throw common::FileError{table_name, 1,
                          "the header holds only the row names (column 1, no name); a table needs"
                          " a population column and two columns per locus"};
}

[[nodiscard]] std::optional<int> id_column(const Header& header, const ColumnPlan& plan,
                                           const TableOptions& options,
                                           const std::string& table_name) {
  if (options.id_column.empty()) {
    return column_named_like(header, ID_NAMES, [&](int c) { return c != plan.population; });
  }
  const int id = named_column(header, options.id_column, "--id-column", table_name);
  if (id == plan.population) {
    throw common::FileError{
        table_name, 1,
        join({"--id-column names the population column, ", column_text(header, plan.population),
              options.population_column.empty()
                  ? "; name the population column with --population-column"
                  : ", as --population-column does; the two need columns of their own"})};
  }
  return id;
}

// "; population column: ..., id column: ...; name others with ...": what was
// taken for what, so that a header that does not pair says how to fix it.
[[nodiscard]] std::string columns_taken(const Header& header, const ColumnPlan& plan) {
  const auto named = [&](int c) {
    return join({quoted(header[c]), " (column ", std::to_string(c + 1), ")"});
  };
  return join({"; population column: ", named(plan.population),
               ", id column: ", plan.id ? named(*plan.id) : "none",
               plan.row_names ? ", column 1 (no name) left out as row names" : "",
               "; name others with --population-column or --id-column"});
}

[[nodiscard]] bool is_locus_column(const ColumnPlan& plan, int c) {
  return c != plan.population && c != plan.id && c != plan.row_names;
}

// What column c is when it is not a locus column, as the message about the
// column before it says: ", the population column (--population-column)".
[[nodiscard]] std::string role_of(const ColumnPlan& plan, const TableOptions& options, int c) {
  if (c == plan.population) {
    return options.population_column.empty() ? ", the population column"
                                             : ", the population column (--population-column)";
  }
  if (c == plan.id) {
    return options.id_column.empty() ? ", the id column" : ", the id column (--id-column)";
  }
  return "";
}

// A column an option names that pairs with a locus column beside it: the
// option took a column of that locus, and the pairing then fails at a column
// that is not at fault. Nothing when no option did so.
void check_option_columns(const Header& header, const ColumnPlan& plan, const TableOptions& options,
                          const std::string& table_name) {
  const std::array<std::tuple<std::string_view, const std::string&, std::optional<int>>, 2> named =
      {{{"--population-column", options.population_column, plan.population},
        {"--id-column", options.id_column, plan.id}}};
  for (const auto& [option, name, column] : named) {
    if (name.empty() || !column) {
      continue;
    }
    for (const int beside : {*column - 1, *column + 1}) {
      if (beside < 0 || beside >= common::count_of(header) || !is_locus_column(plan, beside)) {
        continue;
      }
      const int first = std::min(*column, beside);
      if (const std::optional<std::string> locus =
              locus_of_columns(header[first], header[first + 1])) {
        throw common::FileError{
            table_name, 1,
            join({option, " ", quoted(name), " names column ", std::to_string(*column + 1),
                  ", which pairs with ", column_text(header, beside), " as the locus ",
                  quoted(*locus), "; name a column that holds no typings"})};
      }
    }
  }
}

[[nodiscard]] std::vector<ColumnLocus> pair_loci(const Header& header, const ColumnPlan& plan,
                                                 const TableOptions& options,
                                                 const std::string& table_name) {
  std::vector<ColumnLocus> loci;
  const int n = common::count_of(header);
  for (int c = 0; c < n; ++c) {
    if (!is_locus_column(plan, c)) {
      continue;
    }
    std::optional<std::string> locus;
    if (c + 1 < n && is_locus_column(plan, c + 1)) {
      locus = locus_of_columns(header[c], header[c + 1]);
    }
    if (!locus) {
      check_option_columns(header, plan, options, table_name);
      const std::string next = c + 1 < n ? join({" with the next, ", column_text(header, c + 1),
                                                 role_of(plan, options, c + 1)})
                                         : std::string(" with a next column");
      std::string unpaired = join({column_text(header, c), " does not pair", next, PAIRING_RULE,
                                   columns_taken(header, plan)});
      if (header[c].empty()) {
        throw common::FileError{table_name, 1, unpaired};
      }
      loci.push_back(ColumnLocus{header[c], c, true, std::move(unpaired), {}});
      continue;
    }
    std::array<std::string, 2> names;
    if (header[c] != header[c + 1]) {
      names = {header[c], header[c + 1]};
    }
    loci.push_back(ColumnLocus{std::move(*locus), c, false, {}, std::move(names)});
    ++c;
  }
  return loci;
}

void check_locus_names(const std::vector<ColumnLocus>& loci, const std::string& table_name) {
  for (std::size_t i = 0; i < loci.size(); ++i) {
    for (std::size_t j = 0; j < i; ++j) {
      if (loci[i].name != loci[j].name) {
        continue;
      }
      // A lone column named as another locus is more likely a column that
      // should pair than a locus of one column.
      for (const ColumnLocus* lone : {&loci[j], &loci[i]}) {
        if (lone->one_column) {
          throw common::FileError{table_name, 1, lone->unpaired};
        }
      }
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

}  // namespace

std::optional<std::array<std::string_view, 2>> split_genotype(std::string_view cell) {
  const std::size_t at = cell.find_first_of("/|");
  if (at == std::string_view::npos || cell.find_first_of("/|", at + 1) != std::string_view::npos) {
    return std::nullopt;
  }
  const std::string_view first = trim_blanks(cell.substr(0, at));
  const std::string_view second = trim_blanks(cell.substr(at + 1));
  if (first.empty() || second.empty()) {
    return std::nullopt;
  }
  return std::array<std::string_view, 2>{first, second};
}

ColumnPlan plan_columns(const Header& header, const TableOptions& options,
                        const std::string& table_name) {
  ColumnPlan plan;
  // R's write.csv heads its column of row names with an empty name; the row
  // names are neither a population nor a locus.
  if (!header.empty() && header[0].empty()) {
    plan.row_names = 0;
  }
  // The population column first, so that a column named both ways (an "id"
  // named by --population-column) is never the id column too.
  plan.population = population_column(header, plan, options, table_name);
  plan.id = id_column(header, plan, options, table_name);
  plan.loci = pair_loci(header, plan, options, table_name);
  check_locus_names(plan.loci, table_name);
  return plan;
}

}  // namespace table::detail

namespace table {

bool population_column_name(std::string_view name) {
  return std::any_of(detail::POPULATION_NAMES.begin(), detail::POPULATION_NAMES.end(),
                     [&](std::string_view p) { return detail::equal_ignoring_case(name, p); });
}

bool id_column_name(std::string_view name) {
  return std::any_of(detail::ID_NAMES.begin(), detail::ID_NAMES.end(),
                     [&](std::string_view i) { return detail::equal_ignoring_case(name, i); });
}

}  // namespace table
