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
#include <thread>
#include <utility>
#include <vector>

#include "cli/console_tables.h"
#include "cli/front_ends.h"
#include "cli/genotype_internal.h"
#include "cli/progress.h"
#include "cli/result_files.h"
#include "common/pair_measures.h"
#include "driver/driver.h"
#include "layout/layout.h"
#include "results/results.h"

namespace cli {
namespace {

// Takes the engine's own summary of each pair: the pairs mode shows one table
// of all pairs instead.
class DiscardSink final : public layout::Sink {
 public:
  void write_record(std::string_view /*record*/) override {}
};

void log_line(layout::Sink& log, const std::string& text) {
  layout::write(log, "(A)", {std::string_view(text)});
}

// Whether a row takes part in the test of two loci: it is left out when both
// loci miss a typing (the exclusion rule of the overall test on two loci).
bool kept_for_pair(const table::Row& row, int a, int b) {
  const auto missing = [&row](int locus) {
    return row.typings[locus][0].empty() || row.typings[locus][1].empty();
  };
  return !(missing(a) && missing(b));
}

// The two-locus haplotype frequencies of the alternative model, [allele a][allele b].
std::vector<std::vector<double>> haplotype_table(const common::RunInput& input,
                                                 const common::PopulationResult& result) {
  std::vector<std::vector<double>> table(
      static_cast<std::size_t>(input.systems.allele_count[0]),
      std::vector<double>(static_cast<std::size_t>(input.systems.allele_count[1]), 0.0));
  for (const common::FittedValue& value : result.alt_model.values.at(0)) {
    table[value.alleles[0]][value.alleles[1]] = value.frequency;
  }
  return table;
}

// Population ranks by first appearance in the table (every row counts).
std::map<std::string, int> population_order(const table::GenotypeTable& genotypes) {
  std::map<std::string, int> order;
  for (const table::Row& row : genotypes.rows) {
    order.try_emplace(row.population, static_cast<int>(order.size()));
  }
  return order;
}

struct PairRun {
  const Options& options;
  const table::GenotypeTable& genotypes;
  // Told of every data set finished: (pair index, data sets of that pair done).
  std::function<void(int, int)> progress;
};

// One pair's test on the given number of threads, its log lines written to
// log and its help lines to help; its results, one per population, are
// appended to pairs.
void run_pair(const PairRun& run, layout::Sink& log, layout::Sink& help, int threads, int a, int b,
              int index, std::vector<results::PairResult>& pairs) {
  const std::string& name_a = run.genotypes.loci[a].name;
  const std::string& name_b = run.genotypes.loci[b].name;
  const std::string pair_name = name_a + " ~ " + name_b;
  if (std::none_of(run.genotypes.rows.begin(), run.genotypes.rows.end(),
                   [&](const table::Row& row) { return kept_for_pair(row, a, b); })) {
    log_line(log, "pair " + pair_name + ": nobody typed at either locus; no result");
    return;
  }
  const table::TableInput made = table::make_run_input(run.genotypes, table::pair_test(a, b));
  for (const table::ExcludedIndividual& left : made.excluded) {
    log_line(log, "pair " + pair_name + ", line " + layout::integer_text(left.line) +
                      ", population " + left.population + ": left out" +
                      (left.id.empty() ? std::string() : ", id " + left.id));
  }
  for (const std::string& population : made.dropped_populations) {
    std::string line = "pair " + pair_name;
    line += ", population " + population + ": nobody left; no row for this pair";
    log_line(log, line);
  }
  DiscardSink discard;
  const layout::Sinks sinks{discard, log, discard, &help};
  common::RunOptions options = run_options(run.options);
  options.messages = common::MessageStyle::counted;
  options.rules = table_rules(run.options);
  options.threads = threads;
  options.progress = [&run, index](int done, int /*all*/) { run.progress(index, done); };
  const common::RunResults results = driver::run_analysis(made.input, options, sinks);
  for (const common::PopulationResult& result : results.populations) {
    results::PairResult& pair = pairs.emplace_back();
    pair.locus_a = name_a;
    pair.locus_b = name_b;
    pair.result = result;
    if (!result.informative) {
      continue;  // nothing was fitted, so there is nothing to measure
    }
    const common::PairMeasures measures =
        common::pair_measures(haplotype_table(made.input, result));
    pair.measures_defined = measures.defined;
    pair.d_prime = measures.d_prime;
    pair.wn = measures.wn;
  }
}

// What one pair's test leaves when pairs run side by side: its log and help
// lines, its results, or the stop that ended it.
struct PairOutcome {
  layout::MemorySink log;
  layout::MemorySink help;
  std::vector<results::PairResult> results;
  std::exception_ptr failure;
};

// The pairs' tests on `threads` threads: one pair after another, each on all
// threads, or, with more than one pair, several pairs at a time, each on its
// share of the threads. Log lines and results come in pair order either way,
// and a stop is raised after the lines of the pairs before it, as if the
// pairs ran one by one.
void run_pairs(const PairRun& run, const std::vector<std::pair<int, int>>& tasks, int threads,
               layout::Sink& log, layout::Sink& help, std::vector<results::PairResult>& pairs) {
  const int total = static_cast<int>(tasks.size());
  const int side_by_side = std::max(1, std::min(threads, total));
  const int threads_per_pair = std::max(1, threads / side_by_side);
  if (side_by_side == 1) {
    for (int k = 0; k < total; ++k) {
      run_pair(run, log, help, threads_per_pair, tasks[k].first, tasks[k].second, k, pairs);
    }
    return;
  }
  std::vector<PairOutcome> outcomes(tasks.size());
  std::atomic<int> next{0};
  std::atomic<int> first_failure{total};  // no pair after it needs to run
  const auto work = [&] {
    for (int k = next++; k < total && k < first_failure; k = next++) {
      PairOutcome& outcome = outcomes[static_cast<std::size_t>(k)];
      try {
        run_pair(run, outcome.log, outcome.help, threads_per_pair, tasks[k].first, tasks[k].second,
                 k, outcome.results);
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
  for (PairOutcome& outcome : outcomes) {
    for (const std::string& record : outcome.log.records()) {
      log.write_record(record);
    }
    for (const std::string& record : outcome.help.records()) {
      help.write_record(record);
    }
    if (outcome.failure) {
      std::rethrow_exception(outcome.failure);
    }
    pairs.insert(pairs.end(), outcome.results.begin(), outcome.results.end());
  }
}

}  // namespace

std::vector<std::string> pair_result_paths(const std::string& prefix) {
  return {prefix + ".pairs.tsv", prefix + ".pairs.svg"};
}

void run_pair_tests(const Options& options, const table::GenotypeTable& genotypes,
                    const std::string& prefix, layout::Sink& console, layout::Sink& help) {
  const std::vector<int> loci = table::parse_loci(genotypes, options.loci);
  layout::LogSink log(prefix + ".log");
  ProgressLine progress(std::cerr, !options.quiet && error_stream_is_terminal());
  std::vector<std::pair<int, int>> tasks;
  for (std::size_t i = 0; i < loci.size(); ++i) {
    for (std::size_t j = i + 1; j < loci.size(); ++j) {
      tasks.emplace_back(loci[i], loci[j]);
    }
  }
  // Every pair runs the same number of data sets; the line shows them all,
  // counted in units that an int holds (many pairs of many permutations).
  const std::int64_t all =
      static_cast<std::int64_t>(tasks.size()) * (run_options(options).permutations + 1);
  const std::int64_t unit = all / std::numeric_limits<int>::max() + 1;
  std::vector<int> done(tasks.size(), 0);
  std::int64_t done_total = 0;
  std::mutex progress_mutex;
  const PairRun run{options, genotypes, [&](int index, int pair_done) {
                      const std::lock_guard lock(progress_mutex);
                      done_total += pair_done - std::exchange(done[index], pair_done);
                      progress.update(static_cast<int>(done_total / unit),
                                      static_cast<int>(all / unit));
                    }};
  std::vector<results::PairResult> pairs;
  run_pairs(run, tasks, std::max(options.threads, 1), log, help, pairs);
  progress.clear();
  // Rows by population, then pair order; the sort is stable.
  const std::map<std::string, int> order = population_order(genotypes);
  std::stable_sort(pairs.begin(), pairs.end(),
                   [&order](const results::PairResult& x, const results::PairResult& y) {
                     return order.at(x.result.name) < order.at(y.result.name);
                   });
  std::vector<std::string> locus_names;
  locus_names.reserve(loci.size());
  for (const int locus : loci) {
    locus_names.push_back(genotypes.loci[locus].name);
  }
  const bool judged_with_ties = table_rules(options).judged_with_ties;
  write_pair_table(pairs, judged_with_ties, console);
  const std::vector<std::string> paths = pair_result_paths(prefix);
  write_result_file(paths[0], [&](std::ostream& out) {
    results::write_pairs_table(out, pairs, judged_with_ties);
  });
  write_result_file(paths[1], [&](std::ostream& out) {
    results::write_pairs_svg(out, locus_names, pairs, judged_with_ties);
  });
  for (const std::string& path : paths) {
    log_line(console, "written: " + path);
  }
  if (log.written()) {
    log_line(console, "written: " + prefix + ".log");
  }
}

}  // namespace cli
