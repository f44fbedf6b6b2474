#include <algorithm>
#include <charconv>
#include <cstdint>
#include <functional>
#include <iostream>
#include <limits>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "cli/console_tables.h"
#include "cli/front_ends.h"
#include "cli/genotype_internal.h"
#include "cli/progress.h"
#include "cli/result_files.h"
#include "cli/run_notes.h"
#include "cli/run_record.h"
#include "cli/shard_file.h"
#include "common/combined.h"
#include "common/corrections.h"
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

// The range of one measure over the fits of equal likelihood.
struct MeasureRange {
  double low = 0.0;
  double high = 0.0;
  void take(double value) {
    low = std::min(low, value);
    high = std::max(high, value);
  }
  [[nodiscard]] bool wide() const { return high - low > MEASURE_SPREAD; }
  [[nodiscard]] std::string text(const std::string& name) const {
    return name + " " + fixed_text(low, 3) + " to " + fixed_text(high, 3);
  }
};

// The note of the measures the data leave open: the ranges of D' and Wn (and
// of W_A/B and W_B/A when only they spread) over the frequencies of equal
// likelihood; empty when every such fit agrees.
std::string spread_note(const common::RunInput& input, const common::FittedModel& model,
                        const common::LocusPairMeasures& measures) {
  MeasureRange d{measures.d_prime, measures.d_prime};
  MeasureRange wn{measures.wn, measures.wn};
  MeasureRange w_ab{measures.w_a_given_b, measures.w_a_given_b};
  MeasureRange w_ba{measures.w_b_given_a, measures.w_b_given_a};
  for (const auto& values : model.equal_maxima) {
    const common::LocusPairMeasures other =
        common::locus_pair_measures(haplotype_table(input, values));
    if (!other.defined) {
      continue;
    }
    d.take(other.d_prime);
    wn.take(other.wn);
    w_ab.take(other.w_a_given_b);
    w_ba.take(other.w_b_given_a);
  }
  // The ranges of W are named only where they alone leave the pair open: a
  // note on D' and Wn already says the fit's measures are one of many.
  const bool w_alone = !d.wide() && !wn.wide() && (w_ab.wide() || w_ba.wide());
  if (!d.wide() && !wn.wide() && !w_alone) {
    return {};
  }
  return std::string(common::NOT_IDENTIFIED_NOTE) + "fits of equal likelihood give " +
         d.text("D'") + ", " + wn.text("Wn") +
         (w_alone ? ", " + w_ab.text("W_A/B") + ", " + w_ba.text("W_B/A") : std::string());
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
// With pair_alleles, the cells of the fitted table are kept as well.
void add_pair_rows(const common::RunInput& input, int i, int j, const common::RunResults& results,
                   bool pair_alleles, std::vector<common::LocusPairResult>& locus_pairs) {
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
    if (pair_alleles) {
      locus_pair.allele_pairs =
          common::allele_pair_cells(haplotype_table(input, result.alt_model.values));
      locus_pair.allele_names_a = input.allele_names[0];
      locus_pair.allele_names_b = input.allele_names[1];
    }
    if (measures.defined) {
      locus_pair.w_a_given_b = measures.w_a_given_b;
      locus_pair.w_b_given_a = measures.w_b_given_a;
      if (std::string note = spread_note(input, result.alt_model, measures); !note.empty()) {
        locus_pair.result.notes.push_back(std::move(note));
      }
    }
  }
}

// What the driver needs of a pair run: each pair's input and rows, its
// observer naming the pair in the log, and the notes it counts.
// With a shard part, only the pairs of its block are tested.
driver::LocusPairTests locus_pair_tests(const Options& options,
                                        const genotypes::GenotypeData& genotypes,
                                        const std::vector<int>& loci,
                                        std::vector<NoteCounts>& pair_notes,
                                        const std::optional<ShardPart>& part) {
  driver::LocusPairTests tests;
  for (int i = 0; i < common::count_of(loci); ++i) {
    for (int j = i + 1; j < common::count_of(loci); ++j) {
      tests.pairs.push_back(
          {i, j, genotypes.loci[loci[i]].name + " ~ " + genotypes.loci[loci[j]].name});
    }
  }
  if (part) {
    const ShardRange block = shard_range(common::count_of(tests.pairs), *part);
    tests.pairs.erase(tests.pairs.begin() + block.last, tests.pairs.end());
    tests.pairs.erase(tests.pairs.begin(), tests.pairs.begin() + block.first);
  }
  pair_notes.assign(tests.pairs.size(), NoteCounts{});
  tests.options = run_options(options);
  tests.options.rules = table_rules(options);
  tests.options.probe_starts = tests.options.rules.estimation.maximum ? PAIR_PROBE_STARTS : 0;
  tests.options.threads = std::max(options.threads, 1);
  const bool per_population = tests.options.rules.alleles_per_population;
  tests.input = [&genotypes, &loci, per_population](
                    const driver::LocusPairTests::Pair& pair,
                    layout::Sink& log) -> std::optional<common::RunInput> {
    const genotypes::TestSpec test =
        genotypes::locus_pair_test(loci[pair.locus_a], loci[pair.locus_b]);
    if (std::none_of(genotypes.individuals.begin(), genotypes.individuals.end(),
                     [&](const genotypes::Individual& row) {
                       return genotypes::individual_kept(row, test.loci);
                     })) {
      layout::write_line(log, "pair " + pair.name + ": nobody typed at either locus; no result");
      return std::nullopt;
    }
    genotypes::TestInput made = genotypes::make_run_input(genotypes, test, per_population);
    log_left_out(made, pair.name, log);
    return std::move(made.input);
  };
  tests.observer = [&pair_notes](int k, const driver::LocusPairTests::Pair& pair,
                                 layout::Sink& log) -> std::unique_ptr<driver::RunObserver> {
    NoteCounts& notes = pair_notes[static_cast<std::size_t>(k)];
    notes = NoteCounts{};  // a pair run again alone counts afresh
    return std::make_unique<TableObserver>(log, "pair " + pair.name + ", ", notes);
  };
  tests.rows = [pair_alleles = options.pair_alleles](
                   const driver::LocusPairTests::Pair& pair, const common::RunInput& input,
                   const common::RunResults& results, std::vector<common::LocusPairResult>& rows) {
    add_pair_rows(input, pair.locus_a, pair.locus_b, results, pair_alleles, rows);
  };
  return tests;
}

}  // namespace

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

void in_table_order(const std::vector<std::string>& populations,
                    std::vector<common::LocusPairResult>& locus_pairs) {
  std::map<std::string_view, int> rank;
  for (int p = 0; p < common::count_of(populations); ++p) {
    rank.emplace(populations[p], p);
  }
  std::stable_sort(locus_pairs.begin(), locus_pairs.end(),
                   [&rank](const common::LocusPairResult& x, const common::LocusPairResult& y) {
                     return rank.at(x.result.name) < rank.at(y.result.name);
                   });
}

namespace {

// The loci paired, by name.
std::vector<std::string> locus_names_of(const genotypes::GenotypeData& genotypes,
                                        const std::vector<int>& loci) {
  std::vector<std::string> names;
  names.reserve(loci.size());
  for (const int locus : loci) {
    names.push_back(genotypes.loci[locus].name);
  }
  return names;
}

// The record's rows of a pair run after its head.
void add_pair_run_rows(const Options& options, const genotypes::GenotypeData& genotypes,
                       const std::vector<std::string>& locus_names, results::RunRecord& record) {
  add_locus_pair_rows(genotypes, locus_names, record);
  record.emplace_back("probe_starts_per_pair", layout::integer_text(PAIR_PROBE_STARTS));
  record.emplace_back("pair_alleles", options.pair_alleles ? "yes" : "no");
}

}  // namespace

void run_locus_pair_tests(const Options& options, const genotypes::GenotypeData& genotypes,
                          results::RunRecord record, const std::string& prefix,
                          output::OutputSet& outputs, layout::Sink& console, layout::Sink& help) {
  const std::vector<int> loci = genotypes::parse_loci(genotypes, options.loci);
  layout::LogSink log(prefix + ".log");
  ProgressLine progress(std::cerr, !options.quiet && error_stream_is_terminal());
  std::vector<NoteCounts> pair_notes;
  driver::LocusPairTests tests =
      locus_pair_tests(options, genotypes, loci, pair_notes, std::nullopt);
  // Every locus pair runs the same number of data sets; the line shows them
  // all, counted in units that an int holds (many locus pairs of many
  // permutations).
  const std::int64_t all =
      static_cast<std::int64_t>(tests.pairs.size()) * (tests.options.permutations + 1);
  const std::int64_t unit = all / std::numeric_limits<int>::max() + 1;
  std::vector<int> done(tests.pairs.size(), 0);
  std::int64_t done_total = 0;
  std::mutex progress_mutex;
  tests.progress = [&](int index, int locus_pair_done) {
    const std::lock_guard lock(progress_mutex);
    done_total += locus_pair_done - std::exchange(done[index], locus_pair_done);
    progress.update(static_cast<int>(done_total / unit), static_cast<int>(all / unit));
  };
  std::vector<common::LocusPairResult> locus_pairs = driver::run_locus_pairs(tests, log, help);
  progress.clear();
  refuse_if_none_completed(locus_pairs);
  NoteCounts notes;
  for (const NoteCounts& pair : pair_notes) {
    notes.add_pair(pair);
  }
  write_note_counts(notes, true, help);
  in_table_order(genotypes::population_order(genotypes).values, locus_pairs);
  common::correct_locus_pairs(locus_pairs);
  const std::vector<std::string> locus_names = locus_names_of(genotypes, loci);
  const bool judged_with_ties = table_rules(options).judged_with_ties;
  write_locus_pair_table(locus_names, locus_pairs, judged_with_ties, prefix + ".pairs.tsv",
                         console);
  results::ResultSet set;
  set.loci = &locus_names;
  set.locus_pairs = &locus_pairs;
  set.judged_with_ties = judged_with_ties;
  if (judged_with_ties) {
    add_pair_run_rows(options, genotypes, locus_names, record);
    set.record = &record;
  }
  common::CombinedTests combined = common::combined_locus_pairs(locus_pairs);
  if (options.stop_after > 0) {
    common::mark_not_combined(combined);
  }
  set.combined = &combined;
  const std::vector<std::string> paths =
      write_results(outputs, prefix, result_choice(options), set);
  outputs.commit();
  write_written_lines(paths, log, prefix + ".log", console);
}

void run_locus_pair_shard(const Options& options, const genotypes::GenotypeData& genotypes,
                          results::RunRecord record, const ShardPart& part, const std::string& path,
                          output::OutputSet& outputs, layout::Sink& console, layout::Sink& help) {
  const std::vector<int> loci = genotypes::parse_loci(genotypes, options.loci);
  ShardFile shard;
  shard.part = part;
  shard.pairs = true;
  shard.locus_pairs.loci = locus_names_of(genotypes, loci);
  shard.locus_pairs.population_order = genotypes::population_order(genotypes).values;
  shard.locus_pairs.pair_alleles = options.pair_alleles;
  shard.locus_pairs.stop_after = options.stop_after;
  add_pair_run_rows(options, genotypes, shard.locus_pairs.loci, record);
  shard.record = std::move(record);
  PairsBlock& block = shard.pairs_block;
  const driver::LocusPairTests tests =
      locus_pair_tests(options, genotypes, loci, block.notes, part);
  layout::MemorySink log;
  layout::MemorySink help_lines;
  block.rows = driver::run_locus_pairs(tests, log, help_lines);
  help_lines.write_to(help);
  block.log_lines = log.records();
  block.help_lines = help_lines.records();
  write_shard_file(outputs, path, shard, console);
}

}  // namespace cli
