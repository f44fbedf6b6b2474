#include "driver/driver.h"

#include <array>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/count.h"
#include "common/permutation_p.h"
#include "common/stop.h"
#include "driver/batch_internal.h"
#include "driver/build_internal.h"
#include "driver/memory_internal.h"
#include "driver/summary_internal.h"
#include "estimate/estimate.h"
#include "expand/expand.h"

namespace driver {
namespace {

double likelihood_ratio_statistic(double null_log_likelihood, double alt_log_likelihood) {
  return -2.0 * (null_log_likelihood - alt_log_likelihood);
}

// The 0-based allele of each code letter of a system, or -1.
using AlleleOfLetter = std::array<int, 256>;

std::vector<AlleleOfLetter> alleles_of_letters(const common::SystemTables& systems) {
  std::vector<AlleleOfLetter> tables(static_cast<std::size_t>(systems.system_count()));
  for (int s = 0; s < systems.system_count(); ++s) {
    tables[s].fill(-1);
    for (int a = 0; a < common::count_of(systems.allele_code[s]); ++a) {
      tables[s][static_cast<unsigned char>(systems.allele_code[s][a])] = a;
    }
  }
  return tables;
}

// A fitted model as the result tables show it: the values of positive
// frequency, each as its alleles.
std::vector<std::vector<common::FittedValue>> fitted_values(
    const std::vector<std::vector<estimate::GroupValueFrequency>>& value_frequency,
    const common::Grouping& grouping, const std::vector<AlleleOfLetter>& allele_of) {
  std::vector<std::vector<common::FittedValue>> values(
      static_cast<std::size_t>(grouping.group_total()));
  for (int g = 0; g < common::count_of(value_frequency); ++g) {
    for (const estimate::GroupValueFrequency& value : value_frequency[g]) {
      if (!(value.frequency > 0.0)) {
        continue;
      }
      common::FittedValue& fitted = values[g].emplace_back();
      fitted.frequency = value.frequency;
      for (int j = 0; j < grouping.group_size(g); ++j) {
        const int s = grouping.group_systems[g][j];
        fitted.alleles.push_back(allele_of[s][static_cast<unsigned char>(value.value[j])]);
      }
    }
  }
  return values;
}

common::FittedModel fitted_model(const estimate::EmResult& result, const common::Grouping& grouping,
                                 const std::vector<AlleleOfLetter>& allele_of) {
  common::FittedModel model;
  model.log_likelihood = result.log_likelihood;
  model.values = fitted_values(result.value_frequency, grouping, allele_of);
  for (const auto& other : result.equal_maxima) {
    model.equal_maxima.push_back(fitted_values(other, grouping, allele_of));
  }
  return model;
}

// Counts the fits and redrawn attempts of a run in its results and tells
// the observer of each.
class RunEvents {
 public:
  RunEvents(RunObserver& observer, common::RunResults& results)
      : observer_(observer), results_(results) {}

  void fit(const estimate::EmResult& result, int dataset_number, int p, std::string_view model) {
    ++results_.estimations;
    results_.decreased_iterations += result.not_increased_count;
    if (!result.converged) {
      ++results_.not_converged;
      ++results_.populations[p].capped_fits;
    }
    observer_.em_fit({dataset_number, p, results_.populations[p].name, model, result.last_iteration,
                      result.not_increased_count, result.converged});
  }

  void redrawn(int dataset_number, int redrawn) {
    results_.redrawn_attempts += redrawn;
    if (redrawn > 0) {
      observer_.attempts_redrawn(dataset_number, redrawn);
    }
  }

 private:
  RunObserver& observer_;
  common::RunResults& results_;
};

// Data set 0: the null model and the degrees of freedom of every population,
// then the alternative model and the observed statistic.
void analyse_observed(const common::RunInput& input, const common::RunOptions& options,
                      const StartKeys& keys, const BuiltDataSet& built, RunEvents& events,
                      common::RunResults& results) {
  const std::vector<AlleleOfLetter> allele_of = alleles_of_letters(input.systems);
  estimate::EmWorkspace workspace;
  for (int p = 0; p < input.populations.population_count(); ++p) {
    common::PopulationResult& result = results.populations[p];
    const int population_size = built.population_size[p];
    result.individuals = population_size;
    if (!result.informative) {
      continue;
    }
    const estimate::EmResult null_model = estimate::estimate_null_model(
        {input.null_grouping, built.pair_labels, built.phenotype_count[p], population_size,
         common::EM_MAX_ITERATIONS, true, options.rules.estimation, keys.of(p, 0, Model::null)},
        workspace);
    events.fit(null_model, 0, p, "null");
    const std::int64_t df = degrees_of_freedom(input.null_grouping, input.alt_grouping,
                                               null_model.value_frequency, population_size);
    result.df_defined = df != DEGREES_OF_FREEDOM_OVERFLOW;
    result.degrees_of_freedom = result.df_defined ? df : 0;
    const estimate::EmResult alt_model = estimate::estimate_alt_model(
        {input.alt_grouping, built.pair_labels, built.phenotype_count[p], population_size,
         common::EM_MAX_ITERATIONS, true, options.rules.estimation,
         keys.of(p, 0, Model::alternative), options.probe_starts},
        workspace);
    events.fit(alt_model, 0, p, "alternative");
    result.null_model = fitted_model(null_model, input.null_grouping, allele_of);
    result.alt_model = fitted_model(alt_model, input.alt_grouping, allele_of);
    result.observed_statistic =
        likelihood_ratio_statistic(null_model.log_likelihood, alt_model.log_likelihood);
  }
}

// The sequential rule as the permuted data sets come in, in data set order:
// a population's test stops at the data set that brings its count of
// statistics at or above the observed one to H (the count common::sequential_p
// makes), and is estimated no more. Its later data sets are still built, with
// every draw, because the other populations' data sets are drawn with them;
// the run wants no more data sets once every informative test has stopped
// (a run without one draws them all, as without the rule).
class SequentialStops {
 public:
  SequentialStops(int stop_after, const common::RunResults& results) : stop_after_(stop_after) {
    for (const common::PopulationResult& result : results.populations) {
      tolerance_.push_back(result.informative
                               ? common::tie_tolerance(result.null_model.log_likelihood,
                                                       result.alt_model.log_likelihood)
                               : 0.0);
      at_least_.push_back(0);
      going_on_ += result.informative ? 1 : 0;
    }
  }

  // Population p's statistic x of the next data set: whether its test stops there.
  [[nodiscard]] bool stops(int p, double x, double observed) {
    if (stop_after_ == 0 ||
        common::standing_of(x, observed, tolerance_[p]) == common::Standing::below) {
      return false;
    }
    if (++at_least_[p] < stop_after_) {
      return false;
    }
    --going_on_;
    stopped_any_ = true;
    return true;
  }

  [[nodiscard]] bool wants_more() const { return !stopped_any_ || going_on_ > 0; }

 private:
  int stop_after_;
  std::vector<double> tolerance_;  // [population]: tau
  std::vector<int> at_least_;      // [population]
  int going_on_ = 0;               // informative tests not stopped
  bool stopped_any_ = false;
};

void start_results(const common::RunInput& input, const common::RunOptions& options,
                   common::RunResults& results) {
  results.permutations = options.permutations;
  results.populations.resize(static_cast<std::size_t>(input.populations.population_count()));
  for (int p = 0; p < input.populations.population_count(); ++p) {
    common::PopulationResult& result = results.populations[p];
    result.name = p < common::count_of(input.population_names)
                      ? input.population_names[p]
                      : std::string(input.populations.population_names[p].trimmed());
    result.excluded = p < common::count_of(input.excluded_count) ? input.excluded_count[p] : 0;
    result.permuted_statistic.reserve(static_cast<std::size_t>(options.permutations));
    if (options.rules.judged_with_ties) {
      InformationNotes told = information_notes(input, p);
      result.notes = std::move(told.notes);
      result.informative = told.informative;
    }
  }
  results.judged_with_ties = options.rules.judged_with_ties;
  results.stop_after = options.stop_after;
}

// The run's settings of the permutation state.
void configure_state(const common::RunInput& input, const common::RunOptions& options,
                     PermutationState& state) {
  state.memory_budget = options.max_memory;
  state.threads = std::max(options.threads, 1);
  state.keep_missing_patterns = options.rules.keep_missing_patterns;
  if (options.rules.alleles_per_population) {
    state.population_alleles = expand::typed_alleles(input.systems, input.populations);
  }
}

}  // namespace

void close_run(common::RunResults& results, const std::vector<std::string>& sparse,
               layout::Sink* console, layout::Sink& report) {
  for (common::PopulationResult& result : results.populations) {
    summarise_population(result, results.judged_with_ties, results.stop_after);
  }
  if (results.judged_with_ties) {
    add_fit_notes(sparse, results);
    for (common::PopulationResult& result : results.populations) {
      if (result.stopped_early) {
        result.notes.push_back(common::sequential_note(
            results.stop_after, common::count_of(result.permuted_statistic)));
      }
    }
  }
  write_summary(results.populations, report, console);
}

common::RunResults run_analysis(const common::RunInput& input, const common::RunOptions& options,
                                const layout::Sinks& sinks, RunObserver& observer) {
  common::RunResults results;
  start_results(input, options, results);
  RunEvents events(observer, results);
  const int data_set_total = options.permutations + 1;

  PermutationState state(options.permutations, options.seed);
  configure_state(input, options, state);
  BuiltDataSet observed;
  build_observed_data_set(input, state, sinks, observed);
  observer.data_set_built(0);
  StartKeys keys(input, options.seed);
  for (int p = 0; p < common::count_of(results.populations); ++p) {
    keys.estimated[p] = results.populations[p].informative ? 1 : 0;
  }
  analyse_observed(input, options, keys, observed, events, results);
  if (options.progress) {
    options.progress(1, data_set_total);
  }

  skip_data_sets(state, options.block ? options.block->first - 1 : 0);
  // A shard's block is computed whole: the merge applies the sequential rule.
  SequentialStops stops(options.block ? 0 : options.stop_after, results);
  int analysed = 1;
  run_permuted_data_sets(
      input, options, keys, state, {sinks, observer}, [&](const PermutedAnalysis& analysis) {
        events.redrawn(analysis.dataset_number, analysis.attempts - 1);
        for (int p = 0; p < common::count_of(analysis.alt_model); ++p) {
          // A stopped test's fits after its last data set were not asked for,
          // or belong to a batch estimated before it stopped: let go.
          if (keys.estimated[p] == 0) {
            continue;
          }
          common::PopulationResult& result = results.populations[p];
          const estimate::EmResult& alt = analysis.alt_model[p];
          events.fit(alt, analysis.dataset_number, p, "alternative");
          const double statistic =
              likelihood_ratio_statistic(result.null_model.log_likelihood, alt.log_likelihood);
          result.permuted_statistic.push_back(statistic);
          if (stops.stops(p, statistic, result.observed_statistic)) {
            keys.estimated[p] = 0;
          }
        }
        analysed = analysis.dataset_number + 1;
        if (options.progress) {
          options.progress(analysed, data_set_total);
        }
        return stops.wants_more();
      });
  if (options.progress && analysed < data_set_total) {
    options.progress(data_set_total, data_set_total);
  }

  if (!options.block) {  // a shard's block: the merge closes the run
    close_run(results,
              results.judged_with_ties ? sparse_notes(input, results) : std::vector<std::string>{},
              options.console_summary ? &sinks.console : nullptr, sinks.report);
  }
  return results;
}

}  // namespace driver
