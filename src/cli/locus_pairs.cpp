#include <algorithm>
#include <atomic>
#include <charconv>
#include <cstdint>
#include <exception>
#include <functional>
#include <iostream>
#include <limits>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "cli/console_tables.h"
#include "cli/front_ends.h"
#include "cli/genotype_internal.h"
#include "cli/progress.h"
#include "cli/result_files.h"
#include "cli/run_record.h"
#include "common/count.h"
#include "common/first_appearance.h"
#include "common/locus_pair_measures.h"
#include "driver/driver.h"
#include "layout/layout.h"
#include "results/results.h"

namespace cli {
namespace {

// The two-locus haplotype frequencies of the alternative model, [allele a][allele b].
std::vector<std::vector<double>> haplotype_table(
    const common::RunInput& input, const std::vector<std::vector<common::FittedValue>>& values) {
  std::vector<std::vector<double>> table(
      static_cast<std::size_t>(input.systems.allele_count[0]),
      std::vector<double>(static_cast<std::size_t>(input.systems.allele_count[1]), 0.0));
  for (const common::FittedValue& value : values.at(0)) {
    table[value.alleles[0]][value.alleles[1]] = value.frequency;
  }
  return table;
}

// Probe starts of the observed fit: enough to meet a ridge of equal
// likelihood from two sides in nearly every pair of the references, at a
// cost of a fraction of one permuted data set's fits.
constexpr int PAIR_PROBE_STARTS = 8;
// D' or Wn spread wider than this over fits of equal likelihood is noted:
// the data leave the measure open (alleles seen only beside missing typings,
// or only in one double heterozygote). Narrower spreads are the finite
// convergence of a well-determined maximum.
constexpr double MEASURE_SPREAD = 0.005;

// The note of D' and Wn that the data leave open: their ranges over the
// frequencies of equal likelihood; empty when every such fit agrees.
std::string spread_note(const common::RunInput& input, const common::FittedModel& model,
                        const common::LocusPairMeasures& measures) {
  double d_low = measures.d_prime;
  double d_high = measures.d_prime;
  double w_low = measures.wn;
  double w_high = measures.wn;
  for (const auto& values : model.equal_maxima) {
    const common::LocusPairMeasures other =
        common::locus_pair_measures(haplotype_table(input, values));
    if (!other.defined) {
      continue;
    }
    d_low = std::min(d_low, other.d_prime);
    d_high = std::max(d_high, other.d_prime);
    w_low = std::min(w_low, other.wn);
    w_high = std::max(w_high, other.wn);
  }
  if (d_high - d_low <= MEASURE_SPREAD && w_high - w_low <= MEASURE_SPREAD) {
    return {};
  }
  return std::string(common::NOT_IDENTIFIED_NOTE) + "fits of equal likelihood give D' " +
         fixed_text(d_low, 3) + " to " + fixed_text(d_high, 3) + ", Wn " + fixed_text(w_low, 3) +
         " to " + fixed_text(w_high, 3);
}

struct LocusPairRun {
  const Options& options;
  const genotypes::GenotypeData& genotypes;
  const std::vector<int>& loci;  // the table's loci to pair, 0-based, in table order
  // Told of every data set finished: (locus pair index, data sets of that locus pair done).
  std::function<void(int, int)> progress;
};

// The threads of a pair's test and its share of the memory budget: the
// pairs side by side share it, and a pair refused within its share runs
// again alone with the whole budget, so that a refusal depends only on the
// pair's own test.
struct PairShare {
  int threads = 1;
  int side_by_side = 1;
  [[nodiscard]] std::int64_t budget(std::int64_t whole) const {
    return whole <= 0 ? whole : std::max<std::int64_t>(1, whole / side_by_side);
  }
};

// The rows of a pair whose test needs more memory than the whole budget:
// every figure NA, the note saying what it needs.
void refused_rows(const common::RunInput& input, int i, int j, const common::MemoryRefusal& refusal,
                  std::vector<common::LocusPairResult>& locus_pairs) {
  const std::string note = "refused: data set " + layout::integer_text(refusal.dataset_number) +
                           " needs " + layout::integer_text(refusal.needed) + " bytes, budget " +
                           layout::integer_text(refusal.budget);
  for (int p = 0; p < input.populations.population_count(); ++p) {
    common::LocusPairResult& locus_pair = locus_pairs.emplace_back();
    locus_pair.locus_a = i;
    locus_pair.locus_b = j;
    common::PopulationResult& result = locus_pair.result;
    result.name = input.population_names[p];
    result.individuals = input.populations.population_record_count(p);
    result.excluded = input.excluded_count[p];
    result.informative = false;
    result.notes.push_back(note);
  }
}

// The log lines of the individuals and populations left out of a pair.
void log_left_out(const genotypes::TestInput& made, const std::string& locus_pair_name,
                  layout::Sink& log) {
  for (const genotypes::ExcludedIndividual& left : made.excluded) {
    layout::write_line(log, "pair " + locus_pair_name + ", line " +
                                layout::integer_text(left.line) + ", population " +
                                left.population + ": left out" +
                                (left.id.empty() ? std::string() : ", id " + left.id));
  }
  for (const std::string& population : made.dropped_populations) {
    std::string line = "pair " + locus_pair_name;
    line += ", population " + population + ": nobody left; no row for this pair";
    layout::write_line(log, line);
  }
}

// A pair's rows, one per population, with D' and Wn where something was fitted.
void add_pair_rows(const common::RunInput& input, int i, int j, const common::RunResults& results,
                   std::vector<common::LocusPairResult>& locus_pairs) {
  for (const common::PopulationResult& result : results.populations) {
    common::LocusPairResult& locus_pair = locus_pairs.emplace_back();
    locus_pair.locus_a = i;
    locus_pair.locus_b = j;
    locus_pair.result = result;
    if (!result.informative) {
      continue;  // nothing was fitted: no measures
    }
    const common::LocusPairMeasures measures =
        common::locus_pair_measures(haplotype_table(input, result.alt_model.values));
    locus_pair.measures_defined = measures.defined;
    locus_pair.d_prime = measures.d_prime;
    locus_pair.wn = measures.wn;
    if (measures.defined) {
      if (std::string note = spread_note(input, result.alt_model, measures); !note.empty()) {
        locus_pair.result.notes.push_back(std::move(note));
      }
    }
  }
}

// The test of the locus pair run.loci[i], run.loci[j] (i < j) on the given
// number of threads, its log lines written to log and its help lines to help;
// its results, one per population, are appended to locus_pairs.
void run_locus_pair(const LocusPairRun& run, layout::Sink& log, layout::Sink& help,
                    const PairShare& share, int i, int j, int index,
                    std::vector<common::LocusPairResult>& locus_pairs) {
  const int a = run.loci[i];
  const int b = run.loci[j];
  const std::string locus_pair_name =
      run.genotypes.loci[a].name + " ~ " + run.genotypes.loci[b].name;
  const genotypes::TestSpec test = genotypes::locus_pair_test(a, b);
  if (std::none_of(run.genotypes.individuals.begin(), run.genotypes.individuals.end(),
                   [&](const genotypes::Individual& row) {
                     return genotypes::individual_kept(row, test.loci);
                   })) {
    layout::write_line(log,
                       "pair " + locus_pair_name + ": nobody typed at either locus; no result");
    return;
  }
  const genotypes::TestInput made = genotypes::make_run_input(
      run.genotypes, test, table_rules(run.options).alleles_per_population);
  log_left_out(made, locus_pair_name, log);
  // The engine's summary of each locus pair is not shown: the pairs mode shows
  // one table of all locus pairs instead.
  layout::DiscardSink discard;
  const layout::Sinks sinks{discard, log, discard, &help};
  common::RunOptions options = run_options(run.options);
  options.messages = common::MessageStyle::counted;
  options.rules = table_rules(run.options);
  options.probe_starts = options.rules.estimation.maximum ? PAIR_PROBE_STARTS : 0;
  options.threads = share.threads;
  options.progress = [&run, index](int done, int /*all*/) { run.progress(index, done); };
  const std::int64_t budget = options.max_memory;
  options.max_memory = share.budget(budget);
  common::RunResults results;
  try {
    results = driver::run_analysis(made.input, options, sinks);
  } catch (const common::MemoryRefusal& refusal) {
    if (options.max_memory < budget) {
      throw;  // refused within its share: it runs again alone
    }
    refused_rows(made.input, i, j, refusal, locus_pairs);
    help.write_record("pair " + locus_pair_name + ": " + locus_pairs.back().result.notes[0] + ": " +
                      refusal.what);
    return;
  }
  add_pair_rows(made.input, i, j, results, locus_pairs);
}

// What one locus pair's test leaves when locus pairs run side by side: its
// log and help lines, its results, or the stop that ended it.
struct LocusPairOutcome {
  layout::MemorySink log;
  layout::MemorySink help;
  std::vector<common::LocusPairResult> results;
  std::exception_ptr failure;
  bool again_alone = false;  // refused within its share of the budget
};

// The pairs refused within their share of the budget (before the first
// that failed), each run again alone with the whole budget and every thread.
void run_again_alone(const LocusPairRun& run, const std::vector<std::pair<int, int>>& tasks,
                     int threads, int first_failure, std::vector<LocusPairOutcome>& outcomes) {
  for (int k = 0; k < std::min(common::count_of(outcomes), first_failure); ++k) {
    LocusPairOutcome& outcome = outcomes[static_cast<std::size_t>(k)];
    if (!outcome.again_alone) {
      continue;
    }
    outcome = LocusPairOutcome{};
    try {
      run_locus_pair(run, outcome.log, outcome.help, {threads, 1}, tasks[k].first, tasks[k].second,
                     k, outcome.results);
    } catch (...) {
      outcome.failure = std::current_exception();
    }
  }
}

// The locus pairs' tests on `threads` threads: one locus pair after another,
// each on all threads, or, with more than one locus pair, several at a time,
// each on its share of the threads. Log lines and results come in the order
// of the locus pairs either way, and a stop is raised after the lines of the
// locus pairs before it, as if they ran one by one.
void run_locus_pairs(const LocusPairRun& run, const std::vector<std::pair<int, int>>& tasks,
                     int threads, layout::Sink& log, layout::Sink& help,
                     std::vector<common::LocusPairResult>& locus_pairs) {
  const int total = static_cast<int>(tasks.size());
  const int side_by_side = std::max(1, std::min(threads, total));
  const int threads_per_locus_pair = std::max(1, threads / side_by_side);
  if (side_by_side == 1) {
    for (int k = 0; k < total; ++k) {
      run_locus_pair(run, log, help, {threads_per_locus_pair, 1}, tasks[k].first, tasks[k].second,
                     k, locus_pairs);
    }
    return;
  }
  std::vector<LocusPairOutcome> outcomes(tasks.size());
  std::atomic<int> next{0};
  std::atomic<int> first_failure{total};  // no locus pair after it needs to run
  const auto work = [&] {
    for (int k = next++; k < total && k < first_failure; k = next++) {
      LocusPairOutcome& outcome = outcomes[static_cast<std::size_t>(k)];
      try {
        run_locus_pair(run, outcome.log, outcome.help, {threads_per_locus_pair, side_by_side},
                       tasks[k].first, tasks[k].second, k, outcome.results);
      } catch (const common::MemoryRefusal&) {
        outcome.again_alone = true;
      } catch (...) {
        outcome.failure = std::current_exception();
        int failed = first_failure;
        while (k < failed && !first_failure.compare_exchange_weak(failed, k)) {
        }
      }
    }
  };
  {
    std::vector<std::jthread> helpers;
    for (int t = 1; t < side_by_side; ++t) {
      helpers.emplace_back(work);
    }
    work();
  }  // joined
  run_again_alone(run, tasks, threads, first_failure.load(), outcomes);
  for (LocusPairOutcome& outcome : outcomes) {
    outcome.log.write_to(log);
    outcome.help.write_to(help);
    if (outcome.failure) {
      std::rethrow_exception(outcome.failure);
    }
    locus_pairs.insert(locus_pairs.end(), outcome.results.begin(), outcome.results.end());
  }
}

// A run none of whose pair tests completed writes no result file and ends
// with an error.
void refuse_if_none_completed(const std::vector<common::LocusPairResult>& locus_pairs) {
  if (!locus_pairs.empty() &&
      std::all_of(locus_pairs.begin(), locus_pairs.end(), [](const common::LocusPairResult& pair) {
        return pair.result.notes.size() == 1 && pair.result.notes[0].starts_with("refused: ");
      })) {
    throw common::FileError{"", 0,
                            "every pair test needs more memory than the budget (standard error "
                            "names each); raise --max-memory"};
  }
}

}  // namespace

void run_locus_pair_tests(const Options& options, const genotypes::GenotypeData& genotypes,
                          results::RunRecord record, const std::string& prefix,
                          output::OutputSet& outputs, layout::Sink& console, layout::Sink& help) {
  const std::vector<int> loci = genotypes::parse_loci(genotypes, options.loci);
  layout::LogSink log(prefix + ".log");
  ProgressLine progress(std::cerr, !options.quiet && error_stream_is_terminal());
  std::vector<std::pair<int, int>> tasks;  // positions in loci
  for (int i = 0; i < common::count_of(loci); ++i) {
    for (int j = i + 1; j < common::count_of(loci); ++j) {
      tasks.emplace_back(i, j);
    }
  }
  // Every locus pair runs the same number of data sets; the line shows them
  // all, counted in units that an int holds (many locus pairs of many
  // permutations).
  const std::int64_t all =
      static_cast<std::int64_t>(tasks.size()) * (run_options(options).permutations + 1);
  const std::int64_t unit = all / std::numeric_limits<int>::max() + 1;
  std::vector<int> done(tasks.size(), 0);
  std::int64_t done_total = 0;
  std::mutex progress_mutex;
  const LocusPairRun run{
      options, genotypes, loci, [&](int index, int locus_pair_done) {
        const std::lock_guard lock(progress_mutex);
        done_total += locus_pair_done - std::exchange(done[index], locus_pair_done);
        progress.update(static_cast<int>(done_total / unit), static_cast<int>(all / unit));
      }};
  std::vector<common::LocusPairResult> locus_pairs;
  run_locus_pairs(run, tasks, std::max(options.threads, 1), log, help, locus_pairs);
  progress.clear();
  refuse_if_none_completed(locus_pairs);
  // Rows by population in the table's order, then in the order of the locus
  // pairs; the sort is stable.
  std::map<std::string_view, int> rank;
  const common::FirstAppearance order = genotypes::population_order(genotypes);
  for (int p = 0; p < common::count_of(order.values); ++p) {
    rank.emplace(order.values[p], p);
  }
  std::stable_sort(locus_pairs.begin(), locus_pairs.end(),
                   [&rank](const common::LocusPairResult& x, const common::LocusPairResult& y) {
                     return rank.at(x.result.name) < rank.at(y.result.name);
                   });
  std::vector<std::string> locus_names;
  locus_names.reserve(loci.size());
  for (const int locus : loci) {
    locus_names.push_back(genotypes.loci[locus].name);
  }
  const bool judged_with_ties = table_rules(options).judged_with_ties;
  write_locus_pair_table(locus_names, locus_pairs, judged_with_ties, console);
  results::ResultSet set;
  set.loci = &locus_names;
  set.locus_pairs = &locus_pairs;
  set.judged_with_ties = judged_with_ties;
  if (judged_with_ties) {
    add_locus_pair_rows(genotypes, locus_names, record);
    set.record = &record;
  }
  const std::vector<std::string> paths =
      write_results(outputs, prefix, result_choice(options), set);
  outputs.commit();
  write_written_lines(paths, log, prefix + ".log", console);
}

}  // namespace cli
