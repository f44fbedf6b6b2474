#include "cli/shard_codec.h"

#include <array>
#include <bit>
#include <charconv>
#include <limits>

#include "common/count.h"
#include "common/stop.h"
#include "layout/layout.h"

namespace cli {
namespace {

constexpr int REAL_DIGITS = 16;
constexpr int MAX_ALLELE = std::numeric_limits<int>::max();
constexpr std::int64_t INT_LOW = std::numeric_limits<int>::min();
constexpr std::int64_t INT_HIGH = std::numeric_limits<int>::max();

void put_values(ShardWriter& out, const std::vector<common::FittedValue>& values) {
  out.integer(common::count_of(values));
  for (const common::FittedValue& value : values) {
    out.integers(value.alleles);
    out.real(value.frequency);
  }
}

std::vector<common::FittedValue> get_values(ShardReader& in) {
  std::vector<common::FittedValue> values(static_cast<std::size_t>(in.count()));
  for (common::FittedValue& value : values) {
    value.alleles = in.integers(0, MAX_ALLELE);
    value.frequency = in.real();
  }
  return values;
}

void put_groups(ShardWriter& out, const std::vector<std::vector<common::FittedValue>>& groups) {
  out.integer(common::count_of(groups));
  for (const auto& values : groups) {
    put_values(out, values);
  }
}

std::vector<std::vector<common::FittedValue>> get_groups(ShardReader& in) {
  std::vector<std::vector<common::FittedValue>> groups(static_cast<std::size_t>(in.count()));
  for (auto& values : groups) {
    values = get_values(in);
  }
  return groups;
}

void put_model(ShardWriter& out, const common::FittedModel& model) {
  out.real(model.log_likelihood);
  put_groups(out, model.values);
  out.integer(common::count_of(model.equal_maxima));
  for (const auto& other : model.equal_maxima) {
    put_groups(out, other);
  }
}

common::FittedModel get_model(ShardReader& in) {
  common::FittedModel model;
  model.log_likelihood = in.real();
  model.values = get_groups(in);
  model.equal_maxima.resize(static_cast<std::size_t>(in.count()));
  for (auto& other : model.equal_maxima) {
    other = get_groups(in);
  }
  return model;
}

// The figures of the permutation summary, in one order for both directions.
template <typename Result, typename Visit>
void summary_fields(Result& r, Visit&& visit) {
  visit(r.tie_tolerance);
  visit(r.p_value);
  visit(r.p_value_conservative);
  visit(r.p_ci_low);
  visit(r.p_ci_high);
  visit(r.permutation_mean);
  visit(r.permutation_variance);
  visit(r.permutation_sd);
  visit(r.ld_xi);
  visit(r.ld_xi_std);
}

}  // namespace

void ShardWriter::integer(std::int64_t value) {
  bytes_ += layout::integer_text(value);
  bytes_ += ' ';
}

void ShardWriter::real(double value) {
  std::array<char, REAL_DIGITS> digits{};
  const auto bits = std::bit_cast<std::uint64_t>(value);
  for (int k = 0; k < REAL_DIGITS; ++k) {
    digits[static_cast<std::size_t>(k)] = "0123456789abcdef"[(bits >> (4 * (15 - k))) & 15U];
  }
  bytes_.append(digits.data(), digits.size());
  bytes_ += ' ';
}

void ShardWriter::text(std::string_view value) {
  bytes_ += layout::integer_text(static_cast<std::int64_t>(value.size()));
  bytes_ += ':';
  bytes_ += value;
  bytes_ += ' ';
}

void ShardWriter::reals(const std::vector<double>& values) {
  integer(common::count_of(values));
  for (const double value : values) {
    real(value);
  }
}

void ShardWriter::texts(const std::vector<std::string>& values) {
  integer(common::count_of(values));
  for (const std::string& value : values) {
    text(value);
  }
}

void ShardWriter::integers(const std::vector<int>& values) {
  integer(common::count_of(values));
  for (const int value : values) {
    integer(value);
  }
}

void ShardReader::fail(const std::string& what) const {
  throw common::FileError{path_, 0, "not a whole shard file (corrupt or truncated): " + what};
}

std::string_view ShardReader::token() {
  const std::size_t blank = rest_.find(' ');
  if (blank == std::string_view::npos) {
    fail("it ends inside a value");
  }
  const std::string_view found = rest_.substr(0, blank);
  rest_.remove_prefix(blank + 1);
  return found;
}

std::int64_t ShardReader::integer(std::int64_t low, std::int64_t high) {
  const std::string_view digits = token();
  std::int64_t value = 0;
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (error != std::errc{} || end != digits.data() + digits.size() || digits.empty()) {
    fail("'" + layout::printable(digits.substr(0, 20)) + "' is no integer");
  }
  if (value < low || value > high) {
    fail(layout::integer_text(value) + " is out of range");
  }
  return value;
}

int ShardReader::count() {
  // Every item takes at least two bytes: a count above that cannot be met.
  return static_cast<int>(
      integer(0, std::min<std::int64_t>(INT_HIGH, static_cast<std::int64_t>(rest_.size() / 2))));
}

double ShardReader::real() {
  const std::string_view digits = token();
  std::uint64_t bits = 0;
  const auto [end, error] =
      std::from_chars(digits.data(), digits.data() + digits.size(), bits, REAL_DIGITS);
  if (digits.size() != REAL_DIGITS || error != std::errc{} ||
      end != digits.data() + digits.size()) {
    fail("'" + layout::printable(digits.substr(0, 20)) + "' is no real");
  }
  return std::bit_cast<double>(bits);
}

std::string ShardReader::text() {
  const std::size_t colon = rest_.find(':');
  std::size_t length = 0;
  const auto [end, error] =
      std::from_chars(rest_.data(), rest_.data() + std::min(colon, rest_.size()), length);
  if (colon == std::string_view::npos || error != std::errc{} || end != rest_.data() + colon ||
      colon == 0 || length >= rest_.size() - colon - 1 || rest_[colon + 1 + length] != ' ') {
    fail("a text is cut or malformed");
  }
  std::string value(rest_.substr(colon + 1, length));
  rest_.remove_prefix(colon + length + 2);
  return value;
}

std::vector<double> ShardReader::reals() {
  std::vector<double> values(static_cast<std::size_t>(count()));
  for (double& value : values) {
    value = real();
  }
  return values;
}

std::vector<std::string> ShardReader::texts() {
  std::vector<std::string> values(static_cast<std::size_t>(count()));
  for (std::string& value : values) {
    value = text();
  }
  return values;
}

std::vector<int> ShardReader::integers(int low, int high) {
  std::vector<int> values(static_cast<std::size_t>(count()));
  for (int& value : values) {
    value = static_cast<int>(integer(low, high));
  }
  return values;
}

void put_record(ShardWriter& out, const results::RunRecord& record) {
  out.integer(common::count_of(record));
  for (const auto& [key, value] : record) {
    out.text(key);
    out.text(value);
  }
}

results::RunRecord get_record(ShardReader& in) {
  results::RunRecord record(static_cast<std::size_t>(in.count()));
  for (auto& [key, value] : record) {
    key = in.text();
    value = in.text();
  }
  return record;
}

void put_population(ShardWriter& out, const common::PopulationResult& r) {
  out.text(r.name);
  out.integer(r.individuals);
  out.integer(r.excluded);
  put_model(out, r.null_model);
  put_model(out, r.alt_model);
  out.real(r.observed_statistic);
  out.reals(r.permuted_statistic);
  out.integer(r.degrees_of_freedom);
  out.flag(r.df_defined);
  out.integer(r.exceeding);
  out.integer(r.ties);
  out.flag(r.informative);
  out.texts(r.notes);
  out.integer(r.capped_fits);
  out.flag(r.xi_defined);
  summary_fields(r, [&out](double value) { out.real(value); });
}

common::PopulationResult get_population(ShardReader& in) {
  common::PopulationResult r;
  r.name = in.text();
  r.individuals = static_cast<int>(in.integer(0, INT_HIGH));
  r.excluded = static_cast<int>(in.integer(0, INT_HIGH));
  r.null_model = get_model(in);
  r.alt_model = get_model(in);
  r.observed_statistic = in.real();
  r.permuted_statistic = in.reals();
  r.degrees_of_freedom = in.integer(std::numeric_limits<std::int64_t>::min(),
                                    std::numeric_limits<std::int64_t>::max());
  r.df_defined = in.flag();
  r.exceeding = static_cast<int>(in.integer(0, INT_HIGH));
  r.ties = static_cast<int>(in.integer(0, INT_HIGH));
  r.informative = in.flag();
  r.notes = in.texts();
  r.capped_fits = static_cast<int>(in.integer(0, INT_HIGH));
  r.xi_defined = in.flag();
  summary_fields(r, [&in](double& value) { value = in.real(); });
  return r;
}

void put_locus_pair(ShardWriter& out, const common::LocusPairResult& row) {
  out.integer(row.locus_a);
  out.integer(row.locus_b);
  put_population(out, row.result);
  out.flag(row.measures_defined);
  for (const double value : {row.d_prime, row.wn, row.w_a_given_b, row.w_b_given_a, row.p_holm,
                             row.p_bh, row.p_bh_all}) {
    out.real(value);
  }
  out.integer(common::count_of(row.allele_pairs));
  for (const common::AllelePairCell& cell : row.allele_pairs) {
    out.integer(cell.allele_a);
    out.integer(cell.allele_b);
    for (const double value : {cell.frequency, cell.product, cell.d, cell.d_max, cell.d_prime}) {
      out.real(value);
    }
  }
  out.texts(row.allele_names_a);
  out.texts(row.allele_names_b);
}

common::LocusPairResult get_locus_pair(ShardReader& in) {
  common::LocusPairResult row;
  row.locus_a = static_cast<int>(in.integer(0, INT_HIGH));
  row.locus_b = static_cast<int>(in.integer(0, INT_HIGH));
  row.result = get_population(in);
  row.measures_defined = in.flag();
  for (double* value : {&row.d_prime, &row.wn, &row.w_a_given_b, &row.w_b_given_a, &row.p_holm,
                        &row.p_bh, &row.p_bh_all}) {
    *value = in.real();
  }
  row.allele_pairs.resize(static_cast<std::size_t>(in.count()));
  for (common::AllelePairCell& cell : row.allele_pairs) {
    cell.allele_a = static_cast<int>(in.integer(0, INT_HIGH));
    cell.allele_b = static_cast<int>(in.integer(0, INT_HIGH));
    for (double* value : {&cell.frequency, &cell.product, &cell.d, &cell.d_max, &cell.d_prime}) {
      *value = in.real();
    }
  }
  row.allele_names_a = in.texts();
  row.allele_names_b = in.texts();
  return row;
}

void put_grouping(ShardWriter& out, const common::Grouping& grouping) {
  out.integer(grouping.group_total());
  for (const std::vector<int>& systems : grouping.group_systems) {
    out.integers(systems);
  }
  out.reals(grouping.group_value_total);
}

common::Grouping get_grouping(ShardReader& in) {
  common::Grouping grouping;
  grouping.group_systems.resize(static_cast<std::size_t>(in.count()));
  for (std::vector<int>& systems : grouping.group_systems) {
    systems = in.integers(0, common::MAX_SYSTEMS - 1);
  }
  grouping.group_value_total = in.reals();
  return grouping;
}

}  // namespace cli
