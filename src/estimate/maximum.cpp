#include <algorithm>
#include <cassert>
#include <cmath>
#include <cstdint>
#include <limits>
#include <numeric>
#include <vector>

#include "common/count.h"
#include "common/rules.h"
#include "estimate/estimate_internal.h"

// The maximum-likelihood fit. Each start runs EM steps accelerated by
// squared extrapolation (SQUAREM, Varadhan and Roland 2008, scheme S3): from
// x, with r = F(x) - x and v = F(F(x)) - 2F(x) + x, the step length
// alpha = -|r| / |v|, at most -1, gives x' = x - 2 alpha r + alpha^2 v, and
// one EM step from x' the next point; where ln L at x' is below ln L at x,
// the next point is F(F(x)) instead, so that ln L never falls. There is no
// floor: ln L is the log of the exact phenotype probabilities, and no value
// a phenotype's pairs carry ever reaches 0.

namespace estimate {

namespace {

// A start's climb ends when ln L rises by less than this, relative to its
// size, over one accelerated step (three EM steps). Every start climbs
// loosely; the best is then polished tightly, far inside the resolution at
// which the permutation test compares statistics (1e-6 of the likelihoods).
constexpr double LOOSE_RISE = 1e-6;
constexpr double TIGHT_RISE = 1e-9;
constexpr double ABSOLUTE_RISE = 1e-11;
// Starts whose loose climb ends more than this below the best are not polished.
constexpr double DROP_MARGIN = 1.0;
constexpr int SCOUT_STEPS = 20;
// A scout that after this many EM steps trails the best scout so far by more
// than SCOUT_DROP stops there: it is climbing a lower hill (the rise left to
// it is far smaller than that gap), and it will not be polished.
constexpr int SCOUT_CHECK_STEPS = 7;
constexpr double SCOUT_DROP = 5.0;
constexpr int POLISHED_STARTS = 3;
// A value the extrapolation would take to 0 or below is set to this share
// of its value two EM steps on, so that a long step still moves the others.
constexpr double PROJECTION_SHARE = 0.1;
// The start 0 is uniform but for a perturbation of this relative size, so
// that no symmetric saddle of the likelihood (met by the uniform start in
// data of double heterozygotes) can hold it.
constexpr double START_PERTURBATION = 0.25;
// A later start wins only when its maximum is higher by more than this,
// relative to the likelihood: fits equal to this resolution are the same
// maximum, and the earliest start, the perturbed uniform one first, keeps it.
constexpr double SAME_MAXIMUM = 1e-9;
// Another start's end is at the same maximum when its ln L is within this,
// relative to the likelihood, of the winner's: far inside the gap between
// distinct local maxima, and wide enough for a ridge climbed to its end.
constexpr double EQUAL_MAXIMUM = 1e-7;
// Random starts are Dirichlet(1) draws lifted by this much before they are
// normalised, so that no value starts too close to 0 to come back.
constexpr double RANDOM_START_LIFT = 0.1;

// What an EM step tells of ln L at its point: the exact value; nothing; or
// only whether it reaches a level, for which a value on the same side of the
// level as the exact one serves (the fast logarithm's sum where its error
// bound decides, the exact sum otherwise).
struct Told {
  enum class What { exact, nothing, side_of } what = What::exact;
  double level = 0.0;
};

// ln L from the single group's phenotype probabilities, as told.
double single_log_likelihood(Told told, const EmTables& tables) {
  if (told.what == Told::What::nothing) {
    return 0.0;
  }
  if (told.what == Told::What::side_of) {
    const BoundedLogLikelihood fast =
        approximate_log_likelihood(tables.single.likelihood, 0.0, tables);
    if (fast.value - fast.bound >= told.level || fast.value + fast.bound < told.level) {
      return fast.value;
    }
  }
  return exact_log_likelihood(tables.single.likelihood, 0.0, tables);
}

// One EM step from x: leaves F(x) in next and returns ln L at x as told.
double em_step(const EmInput& input, const std::vector<double>& x, std::vector<double>& next,
               bool single, EmTables& tables, Told told = {}) {
  const double gene_total = static_cast<double>(2 * input.population_size);
  const int group_total = input.grouping.group_total();
  double log_likelihood = 0.0;
  if (single) {
    single_group_pass(x, tables);
    log_likelihood = single_log_likelihood(told, tables);
  } else {
    tables.current_frequency = x;
    const int active_total = common::count_of(tables.active_phenotype);
    for (int i = 0; i < active_total; ++i) {
      log_likelihood += tables.weight[i] * std::log(phenotype_likelihood(i, group_total, tables));
    }
    std::fill(tables.expected_count.begin(), tables.expected_count.end(), 0.0);
    for (int g = 0; g < group_total; ++g) {
      for (int i = 0; i < active_total; ++i) {
        (void)expect_phenotype(g, i, x, tables);
      }
    }
  }
  m_step(tables.expected_count, gene_total, next);
  return log_likelihood;
}

// The frequencies of start s: group by group, weights from the start key
// and the value's flat index, normalised.
void start_point(const EmInput& input, int s, const EmTables& tables, std::vector<double>& x) {
  const std::uint64_t key = common::derive_key(input.start_key, static_cast<std::uint64_t>(s));
  for (int g = 0; g < input.grouping.group_total(); ++g) {
    double sum = 0.0;
    for (int k = tables.value_begin[g]; k < tables.value_begin[g + 1]; ++k) {
      const double u = common::derived_unit(key, static_cast<std::uint64_t>(k));
      x[k] = s == 0 ? 1.0 + START_PERTURBATION * (u - 0.5) : RANDOM_START_LIFT - std::log(u);
      sum += x[k];
    }
    for (int k = tables.value_begin[g]; k < tables.value_begin[g + 1]; ++k) {
      x[k] /= sum;
    }
  }
}

[[nodiscard]] double squared_norm(const std::vector<double>& a) {
  double sum = 0.0;
  for (const double value : a) {
    sum += value * value;
  }
  return sum;
}

// x' for the step length alpha, projected back into the simplex.
void extrapolate(double alpha, EmTables& tables) {
  const std::vector<double>& x = tables.point;
  const std::vector<double>& once = tables.step_once;
  const std::vector<double>& twice = tables.step_twice;
  for (std::size_t k = 0; k < x.size(); ++k) {
    const double r = once[k] - x[k];
    const double v = twice[k] - 2.0 * once[k] + x[k];
    const double value = x[k] - 2.0 * alpha * r + alpha * alpha * v;
    const double least = PROJECTION_SHARE * twice[k];
    tables.extrapolated[k] = value > least ? value : least;
  }
  // Each group's frequencies sum to 1 again.
  for (int g = 0; g + 1 < common::count_of(tables.value_begin); ++g) {
    double sum = 0.0;
    for (int k = tables.value_begin[g]; k < tables.value_begin[g + 1]; ++k) {
      sum += tables.extrapolated[k];
    }
    for (int k = tables.value_begin[g]; k < tables.value_begin[g + 1]; ++k) {
      tables.extrapolated[k] /= sum;
    }
  }
}

// The step length of the extrapolation: -|r| / |v|, at most -1; 0 when
// F(F(x)) - 2F(x) + x vanishes (x is a fixed point).
[[nodiscard]] double step_length(EmTables& tables) {
  std::vector<double>& r = tables.extrapolated;  // scratch until extrapolate
  std::vector<double>& v = tables.extrapolated_step;
  for (std::size_t k = 0; k < r.size(); ++k) {
    r[k] = tables.step_once[k] - tables.point[k];
    v[k] = tables.step_twice[k] - 2.0 * tables.step_once[k] + tables.point[k];
  }
  const double v_norm = squared_norm(v);
  if (v_norm == 0.0) {
    return 0.0;
  }
  return std::min(-std::sqrt(squared_norm(r) / v_norm), -1.0);
}

struct StartOutcome {
  double log_likelihood = 0.0;
  int steps = 0;
  bool converged = false;
};

// Where a climb gives up: at check_steps EM steps, if ln L is below least.
struct GiveUp {
  int check_steps = std::numeric_limits<int>::max();
  double least = 0.0;
};

// One climb from tables.point until ln L rises by less than relative_rise;
// leaves the fit in tables.point.
StartOutcome climb(const EmInput& input, bool single, double relative_rise, int step_limit,
                   EmTables& tables, GiveUp give_up = {}) {
  StartOutcome outcome;
  double now = em_step(input, tables.point, tables.step_once, single, tables);
  outcome.steps = 1;
  while (outcome.steps < step_limit) {
    (void)em_step(input, tables.step_once, tables.step_twice, single, tables,
                  {Told::What::nothing});
    const double alpha = step_length(tables);
    // alpha = -1 is F(F(x)) itself.
    const bool accelerated = alpha < -1.0;
    double extrapolated = -std::numeric_limits<double>::infinity();
    if (accelerated) {
      extrapolate(alpha, tables);
      extrapolated = em_step(input, tables.extrapolated, tables.extrapolated_step, single, tables,
                             {Told::What::side_of, now});
      ++outcome.steps;
    }
    const bool rose = accelerated && std::isfinite(extrapolated) && extrapolated >= now;
    tables.point.swap(rose ? tables.extrapolated_step : tables.step_twice);
    const double next = em_step(input, tables.point, tables.step_once, single, tables);
    outcome.steps += 2;
    const double rise = next - now;
    now = next;
    if (outcome.steps >= give_up.check_steps && now < give_up.least) {
      break;
    }
    if (rise <= ABSOLUTE_RISE + relative_rise * std::abs(now)) {
      outcome.converged = true;
      break;
    }
  }
  outcome.log_likelihood = now;
  return outcome;
}

// A group of one locus has a concave log-likelihood (each phenotype's
// probability is p_i^2, 2 p_i p_j or, with one allele untyped, p_i (2 - p_i)):
// one start finds its maximum, so a grouping of such groups takes only start 0.
[[nodiscard]] int start_count(const EmInput& input) {
  for (int g = 0; g < input.grouping.group_total(); ++g) {
    if (input.grouping.group_size(g) > 1) {
      return input.rules.starts;
    }
  }
  return 1;
}

// Scouts every start for SCOUT_STEPS steps at most (fewer where it falls
// behind, see SCOUT_DROP), keeping where each ends; returns which to polish: the POLISHED_STARTS
// highest scouts (the earlier of equals) within DROP_MARGIN of the best.
std::vector<char> scout_starts(const EmInput& input, bool single, int starts, EmTables& tables) {
  const std::size_t flat_total = tables.current_frequency.size();
  std::vector<double>& loose = tables.start_log_likelihood;
  loose.assign(static_cast<std::size_t>(starts), 0.0);
  tables.start_points.resize(static_cast<std::size_t>(starts) * flat_total);
  double best_loose = -std::numeric_limits<double>::infinity();
  for (int s = 0; s < starts; ++s) {
    start_point(input, s, tables, tables.point);
    loose[s] = climb(input, single, LOOSE_RISE, SCOUT_STEPS, tables,
                     {SCOUT_CHECK_STEPS, best_loose - SCOUT_DROP})
                   .log_likelihood;
    std::copy(tables.point.begin(), tables.point.end(),
              tables.start_points.begin() + static_cast<std::ptrdiff_t>(s * flat_total));
    best_loose = std::max(best_loose, loose[s]);
  }
  std::vector<int> order(static_cast<std::size_t>(starts));
  std::iota(order.begin(), order.end(), 0);
  std::stable_sort(order.begin(), order.end(),
                   [&loose](int a, int b) { return loose[a] > loose[b]; });
  std::vector<char> polish(order.size(), 0);
  for (int r = 0; r < std::min(POLISHED_STARTS, starts); ++r) {
    polish[order[r]] = loose[order[r]] >= best_loose - DROP_MARGIN ? 1 : 0;
  }
  return polish;
}

// Climbs the probe starts (numbered after the rules' starts), then keeps in
// tables.other_ends every end, of a start or a probe, at the winner's maximum.
void keep_equal_ends(const EmInput& input, bool single, int starts, double best,
                     std::vector<std::vector<double>>& ends, EmTables& tables) {
  std::vector<double>& end_log_likelihood = tables.other_end_log_likelihood;
  for (int s = starts; s < starts + input.probe_starts; ++s) {
    start_point(input, s, tables, tables.point);
    (void)climb(input, single, LOOSE_RISE, input.rules.max_iterations, tables);
    ends.push_back(tables.point);
    end_log_likelihood.push_back(
        climb(input, single, TIGHT_RISE, input.rules.max_iterations, tables).log_likelihood);
  }
  for (std::size_t e = 0; e < ends.size(); ++e) {
    if (end_log_likelihood[e] >= best - EQUAL_MAXIMUM * (1.0 + std::abs(best))) {
      tables.other_ends.push_back(std::move(ends[e]));
    }
  }
}

}  // namespace

void maximise(const EmInput& input, EmTables& tables, EmResult& result) {
  const std::size_t flat_total = tables.current_frequency.size();
  for (std::vector<double>* v : {&tables.point, &tables.step_once, &tables.step_twice,
                                 &tables.extrapolated, &tables.extrapolated_step, &tables.best}) {
    v->resize(flat_total);
  }
  // No floor: a phenotype adds to the counts whenever its mass is positive.
  std::fill(tables.estep_floor.begin(), tables.estep_floor.end(),
            std::numeric_limits<double>::denorm_min());
  const bool single = likelihood_from_estep(input.grouping.group_total(), tables);
  if (single) {
    prepare_single_group(tables);
  }
  // Every start is scouted; the POLISHED_STARTS highest within DROP_MARGIN
  // of the best are polished, and the highest polished (the first of
  // equals) wins.
  const int starts = start_count(input);
  const std::vector<char> polish = scout_starts(input, single, starts, tables);
  bool first = true;
  std::vector<double>& end_log_likelihood = tables.other_end_log_likelihood;
  end_log_likelihood.clear();
  std::vector<std::vector<double>> ends;
  const bool probing = input.publish_frequencies && input.probe_starts > 0;
  for (int s = 0; s < starts; ++s) {
    if (polish[s] == 0) {
      continue;
    }
    const auto from = tables.start_points.begin() + static_cast<std::ptrdiff_t>(s * flat_total);
    std::copy(from, from + static_cast<std::ptrdiff_t>(flat_total), tables.point.begin());
    const StartOutcome polished =
        climb(input, single, TIGHT_RISE, input.rules.max_iterations, tables);
    result.last_iteration = std::max(first ? 0 : result.last_iteration, polished.steps);
    result.converged = (first || result.converged) && polished.converged;
    if (first || polished.log_likelihood >
                     result.log_likelihood + SAME_MAXIMUM * std::abs(result.log_likelihood)) {
      if (!first && probing) {
        ends.push_back(tables.best);
        end_log_likelihood.push_back(result.log_likelihood);
      }
      result.log_likelihood = polished.log_likelihood;
      result.best_start = s;
      tables.best.swap(tables.point);
    } else if (probing) {
      ends.push_back(tables.point);
      end_log_likelihood.push_back(polished.log_likelihood);
    }
    first = false;
  }
  if (probing) {
    keep_equal_ends(input, single, starts, result.log_likelihood, ends, tables);
  }
  tables.point.swap(tables.best);
  tables.current_frequency = tables.point;
}

}  // namespace estimate
