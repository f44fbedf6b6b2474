#include <algorithm>
#include <atomic>
#include <cstdint>
#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "common/count.h"
#include "common/stop.h"
#include "driver/driver.h"
#include "driver/workers_internal.h"
#include "layout/layout.h"

namespace driver {
namespace {

// The threads of a pair's test and its share of the memory budget: the
// pairs side by side share it, and a pair refused within its share runs
// again alone with the whole budget.
struct PairShare {
  int threads = 1;
  int side_by_side = 1;
  [[nodiscard]] std::int64_t budget(std::int64_t whole) const {
    return whole <= 0 ? whole : std::max<std::int64_t>(1, whole / side_by_side);
  }
};

// The rows of a pair whose test needs more memory than the whole budget:
// every figure NA, the note saying what it needs.
void refused_rows(const common::RunInput& input, const LocusPairTests::Pair& pair,
                  const common::MemoryRefusal& refusal,
                  std::vector<common::LocusPairResult>& rows) {
  const std::string note = "refused: data set " + layout::integer_text(refusal.dataset_number) +
                           " needs " + layout::integer_text(refusal.needed) + " bytes, budget " +
                           layout::integer_text(refusal.budget);
  for (int p = 0; p < input.populations.population_count(); ++p) {
    common::LocusPairResult& row = rows.emplace_back();
    row.locus_a = pair.locus_a;
    row.locus_b = pair.locus_b;
    common::PopulationResult& result = row.result;
    result.name = input.population_names[p];
    result.individuals = input.populations.population_record_count(p);
    result.excluded = input.excluded_count[p];
    result.informative = false;
    result.notes.push_back(note);
  }
}

// Pair k's test: its log lines to log, its help lines to help, its rows
// appended to rows. Throws common::MemoryRefusal when refused within a
// share smaller than the whole budget.
void run_locus_pair(const LocusPairTests& tests, int k, const PairShare& share, layout::Sink& log,
                    layout::Sink& help, std::vector<common::LocusPairResult>& rows) {
  const LocusPairTests::Pair& pair = tests.pairs[static_cast<std::size_t>(k)];
  const std::optional<common::RunInput> input = tests.input(pair, log);
  if (!input) {
    return;
  }
  // The engine's summary of each pair is not shown: the front-end shows one
  // table of all pairs instead.
  layout::DiscardSink discard;
  const layout::Sinks sinks{discard, log, discard, &help};
  common::RunOptions options = tests.options;
  options.threads = share.threads;
  options.progress = [&tests, k](int done, int /*all*/) {
    if (tests.progress) {
      tests.progress(k, done);
    }
  };
  const std::int64_t whole = options.max_memory;
  options.max_memory = share.budget(whole);
  const std::unique_ptr<RunObserver> observer = tests.observer(k, pair, log);
  common::RunResults results;
  try {
    results = run_analysis(*input, options, sinks, *observer);
  } catch (const common::MemoryRefusal& refusal) {
    if (options.max_memory < whole) {
      throw;  // refused within its share: it runs again alone
    }
    refused_rows(*input, pair, refusal, rows);
    help.write_record("pair " + pair.name + ": " + rows.back().result.notes[0] + ": " +
                      refusal.what);
    return;
  }
  tests.rows(pair, *input, results, rows);
}

// What one pair's test leaves when pairs run side by side: its log and
// help lines, its rows, or the stop that ended it.
struct PairOutcome {
  layout::MemorySink log;
  layout::MemorySink help;
  std::vector<common::LocusPairResult> rows;
  std::exception_ptr failure;
  bool again_alone = false;  // refused within its share of the budget
};

// The pairs refused within their share of the budget (before the first
// that failed), each run again alone with the whole budget and every thread.
void run_again_alone(const LocusPairTests& tests, int threads, int first_failure,
                     std::vector<PairOutcome>& outcomes) {
  for (int k = 0; k < std::min(common::count_of(outcomes), first_failure); ++k) {
    PairOutcome& outcome = outcomes[static_cast<std::size_t>(k)];
    if (!outcome.again_alone) {
      continue;
    }
    outcome = PairOutcome{};
    try {
      run_locus_pair(tests, k, {threads, 1}, outcome.log, outcome.help, outcome.rows);
    } catch (...) {
      outcome.failure = std::current_exception();
    }
  }
}

// The pairs side by side on the worker pool, `side_by_side` at a time; the
// pairs after the first that fails are not started.
std::vector<PairOutcome> run_side_by_side(const LocusPairTests& tests, int threads,
                                          int side_by_side, int& first_failure) {
  const int total = common::count_of(tests.pairs);
  std::vector<PairOutcome> outcomes(tests.pairs.size());
  std::atomic<int> failed_at{total};  // no pair after it needs to run
  const PairShare share{std::max(1, threads / side_by_side), side_by_side};
  Workers workers(side_by_side);
  workers.start(
      [&](estimate::EmWorkspace& /*workspace*/, int k) {
        if (k > failed_at) {
          return;
        }
        PairOutcome& outcome = outcomes[static_cast<std::size_t>(k)];
        try {
          run_locus_pair(tests, k, share, outcome.log, outcome.help, outcome.rows);
        } catch (const common::MemoryRefusal&) {
          outcome.again_alone = true;
        } catch (...) {
          outcome.failure = std::current_exception();
          int failed = failed_at;
          while (k < failed && !failed_at.compare_exchange_weak(failed, k)) {
          }
        }
      },
      total);
  workers.finish();
  first_failure = failed_at;
  run_again_alone(tests, threads, first_failure, outcomes);
  return outcomes;
}

}  // namespace

std::vector<common::LocusPairResult> run_locus_pairs(const LocusPairTests& tests, layout::Sink& log,
                                                     layout::Sink& help) {
  const int total = common::count_of(tests.pairs);
  const int threads = std::max(tests.options.threads, 1);
  const int side_by_side = std::max(1, std::min(threads, total));
  std::vector<common::LocusPairResult> rows;
  if (side_by_side == 1) {
    for (int k = 0; k < total; ++k) {
      run_locus_pair(tests, k, {threads, 1}, log, help, rows);
    }
    return rows;
  }
  int first_failure = total;
  std::vector<PairOutcome> outcomes = run_side_by_side(tests, threads, side_by_side, first_failure);
  for (int k = 0; k < std::min(total, first_failure + 1); ++k) {
    PairOutcome& outcome = outcomes[static_cast<std::size_t>(k)];
    outcome.log.write_to(log);
    outcome.help.write_to(help);
    if (outcome.failure) {
      std::rethrow_exception(outcome.failure);
    }
    rows.insert(rows.end(), std::make_move_iterator(outcome.rows.begin()),
                std::make_move_iterator(outcome.rows.end()));
  }
  return rows;
}

}  // namespace driver
