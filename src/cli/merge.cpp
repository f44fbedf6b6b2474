// quarnel merge: the shard files of one run into the files of the whole run.

#include <algorithm>
#include <array>
#include <fstream>
#include <string>
#include <vector>

#include "cli/console_tables.h"
#include "cli/front_ends.h"
#include "cli/genotype_internal.h"
#include "cli/result_files.h"
#include "cli/run_notes.h"
#include "cli/shard_file.h"
#include "common/combined.h"
#include "common/corrections.h"
#include "common/count.h"
#include "common/permutation_p.h"
#include "common/stop.h"
#include "driver/driver.h"
#include "layout/layout.h"

namespace cli {
namespace {

struct ReadShard {
  std::string path;
  ShardFile shard;
};

ReadShard read_shard(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    throw common::FileError{path, 0, "cannot be opened"};
  }
  std::string bytes;
  std::array<char, 1 << 16> buffer{};
  while (in) {
    in.read(buffer.data(), buffer.size());
    bytes.append(buffer.data(), static_cast<std::size_t>(in.gcount()));
  }
  if (in.bad()) {
    throw common::FileError{path, 0, "cannot be read"};
  }
  return {path, read_shard_file(path, bytes)};
}

// A value of the run record; empty when it has no such row.
std::string record_value(const ShardFile& shard, std::string_view key) {
  for (const auto& [name, value] : shard.record) {
    if (name == key) {
      return value;
    }
  }
  return {};
}

std::string part_text(const ShardPart& part) {
  return layout::integer_text(part.k) + " of " + layout::integer_text(part.n);
}

// The items (pairs or permuted data sets) of the whole run.
std::int64_t item_count(const ShardFile& shard) {
  if (shard.pairs) {
    const auto loci = static_cast<std::int64_t>(shard.locus_pairs.loci.size());
    return loci * (loci - 1) / 2;
  }
  return shard.overall.permutations;
}

// Whether a shard holds exactly its block: every test of it, or every
// permuted data set of it for each population tested.
bool holds_its_block(const ShardFile& shard) {
  const ShardRange block = shard_range(item_count(shard), shard.part);
  const std::int64_t size = block.last - block.first;
  if (shard.pairs) {
    return common::count_of(shard.pairs_block.notes) == size;
  }
  std::int64_t estimations = 0;
  for (int p = 0; p < common::count_of(shard.overall.populations); ++p) {
    const std::int64_t expected = shard.overall.populations[p].informative ? size : 0;
    if (common::count_of(shard.overall_block.statistics[p]) != expected) {
      return false;
    }
    estimations += expected;
  }
  return shard.overall_block.estimations == estimations;
}

// The shards 1..N of one run, each once, agreeing on the observed results;
// sorted by K. Throws common::FileError naming what is wrong.
void check_shards(std::vector<ReadShard>& shards) {
  const ReadShard& first = shards.front();
  for (const ReadShard& other : shards) {
    if (other.shard.fingerprint != first.shard.fingerprint) {
      throw common::FileError{other.path, 0,
                              "is a shard of another run than " + first.path +
                                  " (the input files, the options that shape the results or the "
                                  "version differ: the fingerprints do not match)"};
    }
    if (other.shard.part.n != first.shard.part.n) {
      throw common::FileError{other.path, 0,
                              "is shard " + part_text(other.shard.part) + ", but " + first.path +
                                  " is shard " + part_text(first.shard.part)};
    }
  }
  std::stable_sort(shards.begin(), shards.end(), [](const ReadShard& x, const ReadShard& y) {
    return x.shard.part.k < y.shard.part.k;
  });
  int expected = 1;
  for (std::size_t s = 0; s < shards.size(); ++s) {
    const int k = shards[s].shard.part.k;
    if (s > 0 && k == shards[s - 1].shard.part.k) {
      throw common::FileError{shards[s].path, 0,
                              "is shard " + part_text(shards[s].shard.part) + " again (so is " +
                                  shards[s - 1].path + "): give each shard once"};
    }
    if (k != expected) {
      break;
    }
    ++expected;
  }
  const int n = first.shard.part.n;
  if (common::count_of(shards) != n || expected != n + 1) {
    throw common::FileError{"", 0,
                            "shard " + layout::integer_text(expected) + " of " +
                                layout::integer_text(n) +
                                " is missing: the merge needs every shard of the run once"};
  }
  for (const ReadShard& other : shards) {
    if (other.shard.observed_bytes != shards.front().shard.observed_bytes) {
      throw common::FileError{other.path, 0,
                              "disagrees with " + shards.front().path +
                                  " on the observed results (the same run computed differently: "
                                  "run every shard with one build of quarnel)"};
    }
    if (!holds_its_block(other.shard)) {
      throw common::FileError{other.path, 0,
                              "does not hold the block of shard " + part_text(other.shard.part)};
    }
  }
}

// The data sets each population's test counts (l under the sequential
// rule, else all), from the statistics of every block in data set order.
std::vector<int> drawn_data_sets(const common::RunResults& results, int stop_after) {
  std::vector<int> drawn;
  for (const common::PopulationResult& result : results.populations) {
    const int all = common::count_of(result.permuted_statistic);
    drawn.push_back(
        stop_after == 0 || !result.informative
            ? all
            : common::sequential_p(result.observed_statistic,
                                   common::tie_tolerance(result.null_model.log_likelihood,
                                                         result.alt_model.log_likelihood),
                                   stop_after, result.permuted_statistic)
                  .drawn);
  }
  return drawn;
}

// Tells observer of the noted fits and redrawn data sets of the data sets
// each test counts (a stopped test's later fits were never made in the
// single run), counting them in results as the driver counts them.
void replay(const std::vector<FitEvent>& events, const std::vector<int>& drawn,
            common::RunResults& results, driver::RunObserver& observer) {
  const int last = drawn.empty() ? 0 : *std::max_element(drawn.begin(), drawn.end());
  for (const FitEvent& e : events) {
    if (e.redrawn > 0) {
      if (e.dataset_number <= last) {
        results.redrawn_attempts += e.redrawn;
        observer.attempts_redrawn(e.dataset_number, e.redrawn);
      }
      continue;
    }
    if (e.dataset_number > drawn[static_cast<std::size_t>(e.population)]) {
      continue;
    }
    common::PopulationResult& result = results.populations[static_cast<std::size_t>(e.population)];
    results.decreased_iterations += e.decreased_iterations;
    if (!e.converged) {
      ++results.not_converged;
      ++result.capped_fits;
    }
    observer.em_fit({e.dataset_number, e.population, result.name,
                     e.model == 0 ? "null" : "alternative", e.last_iteration,
                     e.decreased_iterations, e.converged});
  }
}

void write_lines(const std::vector<std::string>& lines, layout::Sink& sink) {
  for (const std::string& line : lines) {
    sink.write_record(line);
  }
}

// The observed results with the permuted statistics of every block, in data set order.
common::RunResults gathered_results(const std::vector<ReadShard>& shards) {
  const OverallObserved& observed = shards.front().shard.overall;
  common::RunResults results;
  results.permutations = observed.permutations;
  results.judged_with_ties = true;
  results.stop_after = observed.stop_after;
  results.populations = observed.populations;
  for (const ReadShard& read : shards) {
    const OverallBlock& block = read.shard.overall_block;
    for (int p = 0; p < common::count_of(results.populations); ++p) {
      std::vector<double>& all = results.populations[p].permuted_statistic;
      all.insert(all.end(), block.statistics[p].begin(), block.statistics[p].end());
    }
  }
  return results;
}

void merge_overall(const std::vector<ReadShard>& shards, const std::string& prefix,
                   output::OutputSet& outputs, layout::Sink& console, layout::Sink& help) {
  const ShardFile& first = shards.front().shard;
  const OverallObserved& observed = first.overall;
  common::RunResults results = gathered_results(shards);
  const std::vector<int> drawn = drawn_data_sets(results, observed.stop_after);
  layout::LogSink log(prefix + ".log");
  const std::string report_path = prefix + ".report.txt";
  layout::ReportSink report_file(outputs.open(report_path), report_path);
  TableConsole report(report_file);
  write_lines(observed.console_lines, console);
  write_lines(observed.log_lines, log);
  write_lines(observed.report_lines, report);
  NoteCounts notes;
  TableObserver observer(log, "", notes);
  replay(observed.events, drawn, results, observer);
  std::int64_t estimations = observed.estimations;
  for (int p = 0; p < common::count_of(results.populations); ++p) {
    estimations += results.populations[p].informative ? drawn[p] : 0;
  }
  results.estimations = static_cast<int>(estimations);
  for (const ReadShard& read : shards) {
    replay(read.shard.overall_block.events, drawn, results, observer);
    write_lines(read.shard.overall_block.report_lines, report);
  }
  driver::close_run(results, observed.sparse_notes, nullptr, report);
  write_note_counts(notes, false, help);
  write_overall_table(results, console);
  write_run_notes(results, console);
  results::ResultSet set;
  set.input = &observed.input;
  set.results = &results;
  set.judged_with_ties = true;
  set.min_frequency = observed.min_frequency;
  set.record = &first.record;
  common::CombinedTests combined = common::combined_overall(results);
  if (observed.stop_after > 0) {
    common::mark_not_combined(combined);
  }
  set.combined = &combined;
  std::vector<std::string> written = {report_path};
  const results::ResultChoice choice{results::RunKind::overall, true, false};
  for (std::string& path : write_results(outputs, prefix, choice, set)) {
    written.push_back(std::move(path));
  }
  outputs.commit();
  write_written_lines(written, log, prefix + ".log", console);
}

void merge_locus_pairs(const std::vector<ReadShard>& shards, const std::string& prefix,
                       output::OutputSet& outputs, layout::Sink& console, layout::Sink& help) {
  const ShardFile& first = shards.front().shard;
  layout::LogSink log(prefix + ".log");
  std::vector<common::LocusPairResult> locus_pairs;
  NoteCounts notes;
  for (const ReadShard& read : shards) {
    const PairsBlock& block = read.shard.pairs_block;
    write_lines(block.log_lines, log);
    write_lines(block.help_lines, help);
    locus_pairs.insert(locus_pairs.end(), block.rows.begin(), block.rows.end());
    for (const NoteCounts& pair : block.notes) {
      notes.add_pair(pair);
    }
  }
  refuse_if_none_completed(locus_pairs);
  write_note_counts(notes, true, help);
  in_table_order(first.locus_pairs.population_order, locus_pairs);
  common::correct_locus_pairs(locus_pairs);
  write_locus_pair_table(first.locus_pairs.loci, locus_pairs, true, prefix + ".pairs.tsv", console);
  results::ResultSet set;
  set.loci = &first.locus_pairs.loci;
  set.locus_pairs = &locus_pairs;
  set.judged_with_ties = true;
  set.record = &first.record;
  common::CombinedTests combined = common::combined_locus_pairs(locus_pairs);
  if (first.locus_pairs.stop_after > 0) {
    common::mark_not_combined(combined);
  }
  set.combined = &combined;
  const results::ResultChoice choice{results::RunKind::locus_pairs, true,
                                     first.locus_pairs.pair_alleles};
  const std::vector<std::string> paths = write_results(outputs, prefix, choice, set);
  outputs.commit();
  write_written_lines(paths, log, prefix + ".log", console);
}

}  // namespace

void run_merge(const std::string& out, const std::vector<std::string>& shard_paths,
               layout::Sink& console, layout::Sink& help, output::Interrupts* interrupts) {
  std::vector<ReadShard> shards;
  shards.reserve(shard_paths.size());
  for (const std::string& path : shard_paths) {
    shards.push_back(read_shard(path));
  }
  check_shards(shards);
  const ShardFile& first = shards.front().shard;
  const std::string prefix = output_prefix(out, default_prefix(record_value(first, "input")));
  results::ResultChoice choice;
  choice.kind = first.pairs ? results::RunKind::locus_pairs : results::RunKind::overall;
  choice.judged_with_ties = true;
  choice.pair_alleles = first.locus_pairs.pair_alleles;
  std::vector<std::string> finals = result_paths(prefix, choice);
  if (!first.pairs) {
    finals.push_back(prefix + ".report.txt");
  }
  output::OutputSet outputs(finals, prefix, interrupts);
  layout::check_log_file(prefix + ".log");
  if (first.pairs) {
    merge_locus_pairs(shards, prefix, outputs, console, help);
  } else {
    merge_overall(shards, prefix, outputs, console, help);
  }
}

}  // namespace cli
