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

#include "cli/front_ends.h"
#include "cli/genotype_internal.h"
#include "cli/progress.h"
#include "cli/result_files.h"
#include "common/count.h"
#include "common/first_appearance.h"
#include "common/pair_measures.h"
#include "driver/driver.h"
#include "layout/layout.h"
#include "results/results.h"

namespace cli {
namespace {

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

std::string fixed_text(double value, int decimals) {
  char buffer[64];
  const auto end =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
  return {buffer, end.ptr};
}

std::string padded(std::string text, std::size_t width) {
  if (text.size() < width) {
    text.append(width - text.size(), ' ');
  }
  return text;
}

// The console's table of every pair: population, pair, p-value, D', Wn.
void write_pair_table(const std::vector<std::string>& loci,
                      const std::vector<results::PairResult>& pairs, layout::Sink& console) {
  std::size_t name_width = 10;
  std::size_t pair_width = 4;
  for (const results::PairResult& pair : pairs) {
    name_width = std::max(name_width, pair.result.name.size());
    pair_width = std::max(pair_width, loci[pair.locus_a].size() + loci[pair.locus_b].size() + 3);
  }
  layout::write_line(console, padded("population", name_width) + "  " + padded("pair", pair_width) +
                                  "  p-value     D'     Wn");
  for (const results::PairResult& pair : pairs) {
    const auto measure = [&pair](double value) {
      return pair.measures_defined ? fixed_text(value, 3) : std::string("   NA");
    };
    layout::write_line(
        console, padded(pair.result.name, name_width) + "  " +
                     padded(loci[pair.locus_a] + " ~ " + loci[pair.locus_b], pair_width) + "    " +
                     fixed_text(pair.result.p_value, 3) + "  " + measure(pair.d_prime) + "  " +
                     measure(pair.wn));
  }
}

struct PairRun {
  const Options& options;
  const table::GenotypeTable& genotypes;
  const std::vector<int>& loci;  // the table's loci to pair, 0-based, in table order
  // Told of every data set finished: (pair index, data sets of that pair done).
  std::function<void(int, int)> progress;
};

// The test of the pair of run.loci[i] and run.loci[j] (i < j) on the given
// number of threads, its log lines written to log and its help lines to help;
// its results, one per population, are appended to pairs.
void run_pair(const PairRun& run, layout::Sink& log, layout::Sink& help, int threads, int i, int j,
              int index, std::vector<results::PairResult>& pairs) {
  const int a = run.loci[i];
  const int b = run.loci[j];
  const std::string pair_name = run.genotypes.loci[a].name + " ~ " + run.genotypes.loci[b].name;
  const table::TestSpec test = table::pair_test(a, b);
  if (std::none_of(run.genotypes.rows.begin(), run.genotypes.rows.end(),
                   [&](const table::Row& row) { return table::row_kept(row, test.loci); })) {
    layout::write_line(log, "pair " + pair_name + ": nobody typed at either locus; no result");
    return;
  }
  const table::TableInput made = table::make_run_input(run.genotypes, test);
  for (const table::ExcludedIndividual& left : made.excluded) {
    layout::write_line(log, "pair " + pair_name + ", line " + layout::integer_text(left.line) +
                                ", population " + left.population + ": left out" +
                                (left.id.empty() ? std::string() : ", id " + left.id));
  }
  for (const std::string& population : made.dropped_populations) {
    std::string line = "pair " + pair_name;
    line += ", population " + population + ": nobody left; no row for this pair";
    layout::write_line(log, line);
  }
  // The engine's summary of each pair is not shown: the pairs mode shows one
  // table of all pairs instead.
  layout::DiscardSink discard;
  const layout::Sinks sinks{discard, log, discard, &help};
  common::RunOptions options = run_options(run.options);
  options.messages = common::MessageStyle::counted;
  options.threads = threads;
  options.progress = [&run, index](int done, int /*all*/) { run.progress(index, done); };
  const common::RunResults results = driver::run_analysis(made.input, options, sinks);
  for (const common::PopulationResult& result : results.populations) {
    results::PairResult& pair = pairs.emplace_back();
    pair.locus_a = i;
    pair.locus_b = j;
    pair.result = result;
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
    outcome.log.write_to(log);
    outcome.help.write_to(help);
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
  std::vector<std::pair<int, int>> tasks;  // positions in loci
  for (int i = 0; i < common::count_of(loci); ++i) {
    for (int j = i + 1; j < common::count_of(loci); ++j) {
      tasks.emplace_back(i, j);
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
  const PairRun run{options, genotypes, loci, [&](int index, int pair_done) {
                      const std::lock_guard lock(progress_mutex);
                      done_total += pair_done - std::exchange(done[index], pair_done);
                      progress.update(static_cast<int>(done_total / unit),
                                      static_cast<int>(all / unit));
                    }};
  std::vector<results::PairResult> pairs;
  run_pairs(run, tasks, std::max(options.threads, 1), log, help, pairs);
  progress.clear();
  // Rows by population in the table's order, then pair order; the sort is stable.
  std::map<std::string_view, int> rank;
  const common::FirstAppearance order = table::population_order(genotypes);
  for (int p = 0; p < common::count_of(order.values); ++p) {
    rank.emplace(order.values[p], p);
  }
  std::stable_sort(pairs.begin(), pairs.end(),
                   [&rank](const results::PairResult& x, const results::PairResult& y) {
                     return rank.at(x.result.name) < rank.at(y.result.name);
                   });
  std::vector<std::string> locus_names;
  locus_names.reserve(loci.size());
  for (const int locus : loci) {
    locus_names.push_back(genotypes.loci[locus].name);
  }
  write_pair_table(locus_names, pairs, console);
  const std::vector<std::string> paths = pair_result_paths(prefix);
  write_result_file(
      paths[0], [&](std::ostream& out) { results::write_pairs_table(out, locus_names, pairs); });
  write_result_file(paths[1],
                    [&](std::ostream& out) { results::write_pairs_svg(out, locus_names, pairs); });
  for (const std::string& path : paths) {
    layout::write_line(console, "written: " + path);
  }
  if (log.written()) {
    layout::write_line(console, "written: " + prefix + ".log");
  }
}

}  // namespace cli
