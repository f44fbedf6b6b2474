#include <algorithm>
#include <cassert>
#include <cmath>
#include <cstdint>
#include <limits>
#include <utility>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "common/count.h"
#include "estimate/estimate.h"
#include "estimate/estimate_internal.h"

namespace estimate {

namespace {

// The decimal constants below are single-precision values widened to double,
// written as their exact double values; the results depend on these bits.
// Added to each phenotype likelihood before the logarithm, so that a
// phenotype of likelihood 0 stays finite: 1.0E-6 and 1.0E-8 as single-precision numbers.
constexpr double LOG_FLOOR_ALT = 9.999999974752427E-7;
constexpr double LOG_FLOOR_NULL = 9.99999993922529E-9;

[[nodiscard]] double magnitude(double x) { return x < 0.0 ? -x : x; }

// The E-step of group g: expected value counts from the frequencies of the
// iteration before.
void expect_group(int g, EmTables& tables) {
  for (int i = 0; i < common::count_of(tables.active_phenotype); ++i) {
    (void)expect_phenotype(g, i, tables.previous_frequency, tables);
  }
}

}  // namespace

// The M-step; each value's frequency depends on its own count only. The
// divisions are independent and correctly rounded in every lane, so the
// packed divisions of a wider processor give the same bits: GCC compiles it
// for AVX-512 and AVX as well as for every x86-64 processor, the version
// chosen when the program loads.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
[[gnu::target_clones("avx512f", "avx", "default")]]
#endif
void m_step(const std::vector<double>& count, double gene_total, std::vector<double>& frequency) {
  for (std::size_t k = 0; k < count.size(); ++k) {
    frequency[k] = count[k] / gene_total;
  }
}

namespace {

// The log-likelihood at the current frequencies, phenotype by phenotype.
[[nodiscard]] double log_likelihood(int group_total, double log_floor, const EmTables& tables) {
  double sum = 0.0;
  for (int i = 0; i < common::count_of(tables.active_phenotype); ++i) {
    sum += tables.weight[i] * std::log(phenotype_likelihood(i, group_total, tables) + log_floor);
  }
  return sum;
}

// Whether the likelihood at iteration t can come from the E-step of
// iteration t + 1. With a single group, a pair's value pair is its pair of
// whole labels, so the likelihood's product of a pair, 1 x f(a) times 1 x
// f(b) doubled when the labels differ, is bit for bit the E-step's mass
// f(a) x f(b) doubled when a and b differ, and a phenotype's likelihood is
// its total mass, summed in the same slot order, wherever no ordered pair
// repeats (a phenotype with a repeated pair sums its likelihood apart).
}  // namespace

bool likelihood_from_estep(int group_total, const EmTables& tables) {
  if (group_total != 1) {
    return false;
  }
  for (int p = 0; p < common::count_of(tables.labels_differ); ++p) {
    const bool values_differ = tables.likelihood_first[p] != tables.likelihood_second[p];
    if ((tables.labels_differ[p] != 0) != values_differ) {
      return false;
    }
  }
  return true;
}

namespace {

// Iterations 2 to max_iterations; current_frequency starts with the uniform
// frequencies and ends with those of the last iteration run. Each iteration
// runs the E-step from the frequencies before it, the M-step, and the
// log-likelihood at its frequencies; with a single group the last of these
// and the next iteration's E-step are one pass.
// The iterations of a single group, each one pass; the log-likelihood of an
// iteration is computed exactly where its decision needs it and for the
// result, else known within a bound (the same decisions, the same bits).
void iterate_single_group(const EmInput& input, double log_floor, EmTables& tables,
                          EmResult& result) {
  const double gene_total = static_cast<double>(2 * input.population_size);
  prepare_single_group(tables);
  // The E-step of iteration 2, from the uniform start; the likelihoods there
  // are not used.
  single_group_pass(tables.current_frequency, tables);
  const SingleGroupTables& single = tables.single;
  BoundedLogLikelihood before;  // 0, exactly, before iteration 2
  for (int t = 2; t <= input.max_iterations; ++t) {
    result.last_iteration = t;
    m_step(tables.expected_count, gene_total, tables.current_frequency);
    // The pass also leaves the expected counts of iteration t + 1.
    single_group_pass(tables.current_frequency, tables);
    BoundedLogLikelihood now =
        t == input.max_iterations
            ? BoundedLogLikelihood{exact_log_likelihood(single.likelihood, log_floor, tables), 0.0}
            : approximate_log_likelihood(single.likelihood, log_floor, tables);
    IterationDecision decision = decide_iteration(t, now, before);
    if (!decision.certain) {
      now = {exact_log_likelihood(single.likelihood, log_floor, tables), 0.0};
      if (before.bound != 0.0) {
        before = {exact_log_likelihood(single.previous_likelihood, log_floor, tables), 0.0};
      }
      decision = decide_iteration(t, now, before);
    }
    if (decision.decreased) {
      ++result.not_increased_count;
    }
    if (decision.converged && now.bound != 0.0) {
      now = {exact_log_likelihood(single.likelihood, log_floor, tables), 0.0};
    }
    result.log_likelihood = now.value;
    if (decision.converged) {
      result.converged = true;
      return;
    }
    before = now;
  }
}

// Iterations 2 to max_iterations; current_frequency starts with the uniform
// frequencies and ends with those of the last iteration run. Each iteration
// runs the E-step from the frequencies before it, the M-step, and the
// log-likelihood at its frequencies.
void iterate(const EmInput& input, double log_floor, EmTables& tables, EmResult& result) {
  const double gene_total = static_cast<double>(2 * input.population_size);
  const int group_total = input.grouping.group_total();
  if (likelihood_from_estep(group_total, tables)) {
    iterate_single_group(input, log_floor, tables, result);
    return;
  }
  double previous_log_likelihood = 0.0;
  for (int t = 2; t <= input.max_iterations; ++t) {
    result.last_iteration = t;
    std::swap(tables.previous_frequency, tables.current_frequency);
    std::fill(tables.expected_count.begin(), tables.expected_count.end(), 0.0);
    for (int g = 0; g < group_total; ++g) {
      expect_group(g, tables);
    }
    m_step(tables.expected_count, gene_total, tables.current_frequency);
    result.log_likelihood = log_likelihood(group_total, log_floor, tables);
    const IterationDecision decision =
        decide_iteration(t, {result.log_likelihood, 0.0}, {previous_log_likelihood, 0.0});
    if (decision.decreased) {
      ++result.not_increased_count;
    }
    if (decision.converged) {
      result.converged = true;
      return;
    }
    previous_log_likelihood = result.log_likelihood;
  }
}

// The frequencies of the values the pairs carry, by group in order of first
// use; every other value of a group has frequency 0.
}  // namespace

namespace {

std::vector<std::vector<GroupValueFrequency>> frequencies_at(const common::Grouping& grouping,
                                                             const EmTables& tables,
                                                             const std::vector<double>& point) {
  std::vector<std::vector<GroupValueFrequency>> listed(
      static_cast<std::size_t>(grouping.group_total()));
  for (int g = 0; g < grouping.group_total(); ++g) {
    const std::vector<common::Label> values = tables.value_index[g].values();
    for (int k = 0; k < common::count_of(values); ++k) {
      listed[g].push_back({values[k], point[tables.value_begin[g] + k]});
    }
  }
  return listed;
}

}  // namespace

void publish_frequencies(const common::Grouping& grouping, const EmTables& tables,
                         EmResult& result) {
  result.value_frequency.assign(static_cast<std::size_t>(grouping.group_total()), {});
  if (result.last_iteration < 2) {
    return;
  }
  result.value_frequency = frequencies_at(grouping, tables, tables.current_frequency);
  for (const std::vector<double>& point : tables.other_ends) {
    result.equal_maxima.push_back(frequencies_at(grouping, tables, point));
  }
}

// The E-step of active phenotype i at group g, from the given frequencies:
// its masses go to the expected counts of the values its pairs touch (every
// other value would receive +0 / total, which leaves its count unchanged).
// Returns the phenotype's total mass at the group.
double expect_phenotype(int g, int i, const std::vector<double>& frequency, EmTables& tables) {
  const int ranges = g * (common::count_of(tables.active_phenotype) + 1);
  std::vector<double>& mass = tables.phenotype_mass;
  const double w = tables.weight[i];
  double total_mass = 0.0;
  for (int e = tables.estep_begin[ranges + i]; e < tables.estep_begin[ranges + i + 1]; ++e) {
    const int a = tables.estep_first[e];
    const int b = tables.estep_second[e];
    const double m = pair_mass(frequency[a], frequency[b], pair_factor(a != b));
    // Two additions, in this order: a pair of equal values adds w x m twice.
    mass[a] += w * m;
    mass[b] += w * m;
    total_mass += m;
  }
  const bool counted = magnitude(total_mass) >= tables.estep_floor[g];
  int u = tables.touched_begin[ranges + i];
  const int end = tables.touched_begin[ranges + i + 1];
#if defined(__SSE2__)
  if (counted) {
    // Two divisions at once (SSE2, on every x86-64 processor): IEEE division
    // is correctly rounded in each lane, so the quotients are those of
    // dividing one by one; the additions stay scalar and in order.
    const __m128d divisor = _mm_set1_pd(total_mass);
    double* count = tables.expected_count.data();
    for (; u + 2 <= end; u += 2) {
      const int k0 = tables.touched[u];
      const int k1 = tables.touched[u + 1];
      const __m128d q = _mm_div_pd(_mm_set_pd(mass[k1], mass[k0]), divisor);
      count[k0] += _mm_cvtsd_f64(q);
      count[k1] += _mm_cvtsd_f64(_mm_unpackhi_pd(q, q));
      mass[k0] = 0.0;
      mass[k1] = 0.0;
    }
  }
#endif
  for (; u < end; ++u) {
    const int k = tables.touched[u];
    if (counted) {
      tables.expected_count[k] += mass[k] / total_mass;
    }
    mass[k] = 0.0;
  }
  return total_mass;
}

double phenotype_likelihood(int i, int group_total, const EmTables& tables) {
  const std::vector<double>& frequency = tables.current_frequency;
  double likelihood = 0.0;
  for (int p = tables.likelihood_begin[i]; p < tables.likelihood_begin[i + 1]; ++p) {
    const int pair_start = p * group_total;
    double first_product = 1.0;
    double second_product = 1.0;
    for (int g = 0; g < group_total; ++g) {
      first_product *= frequency[tables.likelihood_first[pair_start + g]];
      second_product *= frequency[tables.likelihood_second[pair_start + g]];
    }
    likelihood +=
        pair_mass(first_product, second_product, pair_factor(tables.labels_differ[p] != 0));
  }
  return likelihood;
}

EmResult run_em(const EmInput& input, double log_floor, EmTables& tables) {
  assert(input.max_iterations >= 2);
  assert(input.phenotype_count.size() == input.pair_labels.size());
  EmResult result;
  result.last_iteration = 1;
  tables.other_ends.clear();
  // A population without individuals has nothing to estimate (the gene total
  // would be 0): its log-likelihood is that of no observation, 0.
  if (input.population_size > 0) {
    select_active_phenotypes(input, tables);
    prepare(input, tables);
    if (input.rules.maximum) {
      maximise(input, tables, result);
    } else {
      iterate(input, log_floor, tables, result);
    }
  } else {
    result.converged = true;
  }
  if (input.publish_frequencies) {
    publish_frequencies(input.grouping, tables, result);
  }
  return result;
}

EmResult estimate_alt_model(const EmInput& input, EmWorkspace& workspace) {
  return run_em(input, LOG_FLOOR_ALT, *workspace.tables_);
}

EmResult estimate_null_model(const EmInput& input, EmWorkspace& workspace) {
  return run_em(input, LOG_FLOOR_NULL, *workspace.tables_);
}

EmWorkspace::EmWorkspace() : tables_(std::make_unique<EmTables>()) {}
EmWorkspace::EmWorkspace(bool packed) : EmWorkspace() { tables_->packed = packed; }
EmWorkspace::~EmWorkspace() = default;
EmWorkspace::EmWorkspace(EmWorkspace&&) noexcept = default;
EmWorkspace& EmWorkspace::operator=(EmWorkspace&&) noexcept = default;

}  // namespace estimate
