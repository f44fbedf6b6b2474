#include <array>
#include <charconv>
#include <cmath>
#include <system_error>

#include "common/count.h"
#include "results/results.h"
#include "results/results_internal.h"

namespace results {

void append_real(std::string& line, double value) {
  if (!std::isfinite(value)) {
    append_na(line);
    return;
  }
  // Without a precision, to_chars gives the shortest text that reads back to
  // the same double, independent of the locale.
  std::array<char, 32> buffer{};
  const std::to_chars_result written =
      std::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
  line.append(buffer.data(), written.ptr);
}

void append_na(std::string& line) { line += "NA"; }

void append_integer(std::string& line, long long value) {
  std::array<char, 24> buffer{};
  const std::to_chars_result written =
      std::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
  line.append(buffer.data(), written.ptr);
}

void append_real_field(std::string& line, double value, bool defined) {
  line += '\t';
  if (defined) {
    append_real(line, value);
  } else {
    append_na(line);
  }
}

void append_integer_field(std::string& line, long long value) {
  line += '\t';
  append_integer(line, value);
}

void append_text(std::string& line, std::string_view text) {
  for (const char c : text) {
    line += (c == '\t' || c == '\n' || c == '\r') ? ' ' : c;
  }
}

void append_text_field(std::string& line, std::string_view text) {
  line += '\t';
  append_text(line, text);
}

void write_header(std::ostream& out, const std::vector<std::string_view>& columns) {
  std::string line;
  for (const std::string_view column : columns) {
    if (!line.empty()) {
      line += '\t';
    }
    line += column;
  }
  line += '\n';
  out << line;
}

void append_test_fields(std::string& line, const common::PopulationResult& result,
                        long long permutations) {
  append_integer_field(line, result.individuals);
  append_integer_field(line, result.excluded);
  if (!result.informative) {
    // Nothing was estimated: every figure but the permutations (none) is undefined.
    for (int column = 2; column < common::count_of(TEST_COLUMNS); ++column) {
      if (TEST_COLUMNS[column] == "permutations") {
        append_integer_field(line, 0);
      } else {
        line += '\t';
        append_na(line);
      }
    }
    return;
  }
  append_real_field(line, result.null_model.log_likelihood);
  append_real_field(line, result.alt_model.log_likelihood);
  append_real_field(line, result.observed_statistic);
  line += '\t';
  if (result.df_defined) {
    append_integer(line, result.degrees_of_freedom);
  } else {
    append_na(line);
  }
  append_integer_field(line, permutations);
  append_integer_field(line, result.exceeding);
  append_integer_field(line, result.ties);
  append_real_field(line, result.p_value);
  append_real_field(line, result.p_value_conservative);
  append_real_field(line, result.permutation_mean);
  append_real_field(line, result.permutation_sd, !std::isnan(result.permutation_sd));
  append_real_field(line, result.ld_xi, result.xi_defined);
  append_real_field(line, result.ld_xi_std, result.xi_defined);
}

void append_judgement_fields(std::string& line, const common::PopulationResult& result) {
  append_real_field(line, result.p_ci_low, result.informative);
  append_real_field(line, result.p_ci_high, result.informative);
  line += '\t';
  for (int k = 0; k < common::count_of(result.notes); ++k) {
    line += k == 0 ? "" : "; ";
    append_text(line, result.notes[k]);
  }
}

void write_summary_table(std::ostream& out, const common::RunInput& /*input*/,
                         const common::RunResults& results) {
  std::vector<std::string_view> columns = {"population"};
  columns.insert(columns.end(), TEST_COLUMNS.begin(), TEST_COLUMNS.end());
  if (results.judged_with_ties) {
    for (const std::string_view column : JUDGEMENT_COLUMNS) {
      columns.push_back(column);
    }
  }
  write_header(out, columns);
  for (const common::PopulationResult& result : results.populations) {
    std::string line;
    append_text(line, result.name);
    // The data sets the test drew: fewer than asked where the sequential rule stopped it.
    append_test_fields(line, result, common::count_of(result.permuted_statistic));
    if (results.judged_with_ties) {
      append_judgement_fields(line, result);
    }
    line += '\n';
    out << line;
  }
}

void write_permutation_table(std::ostream& out, const common::RunInput& /*input*/,
                             const common::RunResults& results) {
  write_header(out, {"population", "data_set", "statistic"});
  for (const common::PopulationResult& result : results.populations) {
    // Data sets are numbered from 1; data set 0 is the observed one.
    long long data_set = 1;
    for (const double statistic : result.permuted_statistic) {
      std::string line;
      append_text(line, result.name);
      append_integer_field(line, data_set);
      append_real_field(line, statistic);
      line += '\n';
      out << line;
      ++data_set;
    }
  }
}

}  // namespace results
