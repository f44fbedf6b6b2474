#include <iostream>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "cli/console_tables.h"
#include "cli/front_ends.h"
#include "cli/genotype_internal.h"
#include "cli/memory.h"
#include "cli/progress.h"
#include "cli/result_files.h"
#include "cli/run_notes.h"
#include "cli/run_record.h"
#include "cli/shard_file.h"
#include "common/combined.h"
#include "common/stop.h"
#include "driver/driver.h"
#include "formats/formats.h"
#include "genotypes/lines.h"
#include "layout/layout.h"
#include "table/table.h"

namespace cli {
namespace {}  // namespace

// The individuals left out and the populations dropped, one line each.
void log_exclusions(const genotypes::TestInput& made, layout::Sink& log) {
  for (const genotypes::ExcludedIndividual& left : made.excluded) {
    std::string line = "line " + layout::integer_text(left.line) + ", population " +
                       left.population + ": left out (missing typings at two or more loci)";
    if (!left.id.empty()) {
      line += ", id " + left.id;
    }
    layout::write_line(log, line);
  }
  for (const std::string& name : made.dropped_populations) {
    layout::write_line(log, "population " + name + ": nobody left to analyse; no result for it");
  }
}

namespace {

// Records the fits a shard's log would note, split into those of the
// observed data set and those of its block, and where the lines written
// before the first fit end.
class ShardRecorder final : public driver::RunObserver {
 public:
  ShardRecorder(const layout::MemorySink& report, OverallObserved& observed, OverallBlock& block)
      : report_(report), observed_(observed), block_(block) {}
  void build_messages(int /*dataset_number*/, const layout::MemorySink& /*console*/,
                      const layout::MemorySink& /*log*/) override {}
  void data_set_built(int dataset_number) override {
    if (dataset_number == 0) {
      report_before_ = report_.records().size();
    }
  }
  void attempts_redrawn(int dataset_number, int redrawn) override {
    block_.events.push_back({dataset_number, 0, 0, 0, 0, true, redrawn});
  }
  void em_fit(const driver::EmFit& fit) override {
    const bool observed = fit.dataset_number == 0;
    ++(observed ? observed_.estimations : block_.estimations);
    if (!fit.converged || fit.decreased_iterations > 0) {
      (observed ? observed_.events : block_.events)
          .push_back({fit.dataset_number, fit.population, fit.model == "null" ? 0 : 1,
                      fit.last_iteration, fit.decreased_iterations, fit.converged, 0});
    }
  }
  [[nodiscard]] std::size_t report_before() const { return report_before_; }

 private:
  const layout::MemorySink& report_;
  OverallObserved& observed_;
  OverallBlock& block_;
  std::size_t report_before_ = 0;
};

// What the writers read of the input.
common::RunInput input_names(const common::RunInput& input) {
  common::RunInput names;
  names.locus_names = input.locus_names;
  names.allele_names = input.allele_names;
  names.population_names = input.population_names;
  names.excluded_count = input.excluded_count;
  names.untyped_systems = input.untyped_systems;
  names.null_grouping = input.null_grouping;
  names.alt_grouping = input.alt_grouping;
  return names;
}

}  // namespace

// The console lines after the summary: what the run survived, when anything.
void write_run_notes(const common::RunResults& results, layout::Sink& console) {
  if (results.redrawn_attempts > 0) {
    layout::write_line(console, "permuted data sets drawn again: " +
                                    layout::integer_text(results.redrawn_attempts));
  }
  if (results.not_converged > 0) {
    layout::write_line(console, not_converged_text(results.not_converged, results.estimations));
  }
  if (results.decreased_iterations > 0) {
    layout::write_line(console, decreased_text(results.decreased_iterations));
  }
}

namespace {

void run_overall_test(const Options& options, const genotypes::GenotypeData& genotypes,
                      results::RunRecord record, const std::string& prefix,
                      output::OutputSet& outputs, layout::Sink& console, layout::Sink& help) {
  const genotypes::TestSpec test =
      genotypes::parse_test(genotypes, options.null_spec, options.alt_spec);
  const genotypes::TestInput made =
      genotypes::make_run_input(genotypes, test, table_rules(options).alleles_per_population);
  layout::LogSink log(prefix + ".log");
  log_exclusions(made, log);
  const std::string report_path = prefix + ".report.txt";
  layout::ReportSink report_file(outputs.open(report_path), report_path);
  // Names from the table reach the report with their control bytes escaped.
  TableConsole report(report_file);
  const layout::Sinks sinks{console, log, report, &help};

  ProgressLine progress(std::cerr, !options.quiet && error_stream_is_terminal());
  common::RunOptions run = run_options(options);
  run.rules = table_rules(options);
  run.console_summary = !run.rules.judged_with_ties;
  run.progress = progress.callback();
  NoteCounts notes;
  TableObserver observer(log, "", notes);
  const common::RunResults results = driver::run_analysis(made.input, run, sinks, observer);
  progress.clear();
  write_note_counts(notes, false, help);
  if (!run.console_summary) {
    write_overall_table(results, console);
  }
  write_run_notes(results, console);
  results::ResultSet set;
  set.input = &made.input;
  set.results = &results;
  set.judged_with_ties = run.rules.judged_with_ties;
  set.min_frequency = table_min_frequency(options);
  if (set.judged_with_ties) {
    add_overall_rows(made, record);
    set.record = &record;
  }
  common::CombinedTests combined = common::combined_overall(results);
  if (options.stop_after > 0) {
    common::mark_not_combined(combined);
  }
  set.combined = &combined;
  std::vector<std::string> written = {report_path};
  for (std::string& path : write_results(outputs, prefix, result_choice(options), set)) {
    written.push_back(std::move(path));
  }
  outputs.commit();
  write_written_lines(written, log, prefix + ".log", console);
}

}  // namespace

void run_overall_shard(const Options& options, const genotypes::GenotypeData& genotypes,
                       results::RunRecord record, const ShardPart& part, const std::string& path,
                       output::OutputSet& outputs, layout::Sink& console, layout::Sink& help) {
  const genotypes::TestSpec test =
      genotypes::parse_test(genotypes, options.null_spec, options.alt_spec);
  const genotypes::TestInput made =
      genotypes::make_run_input(genotypes, test, table_rules(options).alleles_per_population);
  ShardFile shard;
  shard.part = part;
  OverallObserved& observed = shard.overall;
  layout::MemorySink console_lines;
  layout::MemorySink log_lines;
  layout::MemorySink report_lines;
  log_exclusions(made, log_lines);
  common::RunOptions run = run_options(options);
  run.rules = table_rules(options);
  run.console_summary = false;
  const ShardRange block = shard_range(options.permutations, part);
  run.block =
      common::RunOptions::Block{static_cast<int>(block.first) + 1, static_cast<int>(block.last)};
  ShardRecorder recorder(report_lines, observed, shard.overall_block);
  common::RunResults results = driver::run_analysis(
      made.input, run, {console_lines, log_lines, report_lines, &help}, recorder);
  observed.input = input_names(made.input);
  observed.permutations = options.permutations;
  observed.stop_after = options.stop_after;
  observed.min_frequency = table_min_frequency(options);
  observed.console_lines = console_lines.records();
  observed.log_lines = log_lines.records();
  const std::vector<std::string>& report = report_lines.records();
  const auto before = static_cast<std::ptrdiff_t>(recorder.report_before());
  observed.report_lines.assign(report.begin(), report.begin() + before);
  shard.overall_block.report_lines.assign(report.begin() + before, report.end());
  observed.sparse_notes = driver::sparse_notes(made.input, results);
  for (common::PopulationResult& result : results.populations) {
    shard.overall_block.statistics.push_back(std::move(result.permuted_statistic));
    result.permuted_statistic.clear();
    result.capped_fits = 0;  // the merge counts them over every block
  }
  observed.populations = std::move(results.populations);
  add_overall_rows(made, record);
  shard.record = std::move(record);
  write_shard_file(outputs, path, shard, console);
}

void write_shard_file(output::OutputSet& outputs, const std::string& path, const ShardFile& shard,
                      layout::Sink& console) {
  outputs.write(path, [&shard](std::ostream& out) { out << shard_file_bytes(shard); });
  outputs.commit();
  layout::write_line(console, "written: " + path);
}

void write_written_lines(const std::vector<std::string>& paths, const layout::LogSink& log,
                         const std::string& log_path, layout::Sink& console) {
  for (const std::string& path : paths) {
    layout::write_line(console, "written: " + path);
  }
  if (log.written()) {
    layout::write_line(console, "written: " + log_path);
  }
}

std::string default_prefix(const std::string& table_path) {
  const std::size_t slash = table_path.find_last_of('/');
  std::string name = slash == std::string::npos ? table_path : table_path.substr(slash + 1);
  const std::size_t dot = name.find_last_of('.');
  if (dot != std::string::npos && dot > 0) {
    name.erase(dot);
  }
  return name.empty() ? "quarnel" : name;
}

table::TableOptions table_options(const Options& options) {
  table::TableOptions result;
  // Without --delimiter it is left to the reader: a .csv header may call
  // for ';', and a name without a known extension is read with what its
  // header shows.
  if (!options.delimiter.empty()) {
    result.delimiter = table::parse_delimiter(options.delimiter);
  }
  result.max_bytes = memory_budget(options.max_memory);
  result.population_column = options.population_column;
  result.id_column = options.id_column;
  if (options.missing) {
    result.missing_tokens = table::parse_missing_tokens(*options.missing);
  }
  return result;
}

// The permuted statistics are kept for the result files, 8 bytes per test
// and data set: a run whose statistics alone exceed the budget is refused
// before any work.
void check_statistics_budget(const Options& options, const genotypes::GenotypeData& genotypes,
                             std::int64_t budget) {
  const auto populations =
      static_cast<std::int64_t>(genotypes::population_order(genotypes).values.size());
  std::int64_t pairs = 1;
  std::int64_t permuted = run_options(options).permutations;
  if (options.locus_pairs) {
    const auto loci =
        static_cast<std::int64_t>(genotypes::parse_loci(genotypes, options.loci).size());
    pairs = loci * (loci - 1) / 2;
  }
  // A shard holds only its block: its pair tests, or its permuted data sets.
  if (const std::optional<ShardPart> part = parse_shard_part(options.shard);
      !options.shard.empty() && part) {
    std::int64_t& shared = options.locus_pairs ? pairs : permuted;
    const ShardRange range = shard_range(shared, *part);
    shared = range.last - range.first;
  }
  const std::int64_t tests = populations * pairs;
  const std::int64_t needed = tests * (permuted + std::int64_t{1}) * std::int64_t{8};
  if (budget > 0 && needed > budget) {
    throw common::FileError{
        "--permutations", 0,
        "the permuted statistics of " + layout::integer_text(tests) + " tests need " +
            layout::integer_text(needed) + " bytes, more than the memory budget of " +
            layout::integer_text(budget) + "; run fewer permutations or raise --max-memory"};
  }
}

namespace {

// A .csv or .tsv read as a table is what the name says: no line for it.
[[nodiscard]] bool plain_table_name(const formats::Format& format, const std::string& path) {
  return format.name == "table" &&
         (genotypes::has_extension(path, ".csv") || genotypes::has_extension(path, ".tsv"));
}

}  // namespace

results::ResultChoice result_choice(const Options& options) {
  results::ResultChoice choice;
  choice.kind = options.locus_pairs ? results::RunKind::locus_pairs : results::RunKind::overall;
  choice.judged_with_ties = table_rules(options).judged_with_ties;
  choice.pair_alleles = options.pair_alleles;
  return choice;
}

formats::ReadOptions read_options_of(const Options& options) {
  formats::ReadOptions result;
  result.table = table_options(options);
  result.population_names = options.population_names == "last" ? formats::PopulationNames::last
                                                               : formats::PopulationNames::numbers;
  result.structure_rows = options.structure_rows;
  result.structure_columns = options.structure_columns;
  result.populations = options.populations;
  result.region = options.region;
  std::string_view list = options.loci;
  while (!list.empty()) {
    const std::size_t comma = std::min(list.find(','), list.size());
    const std::string_view name = genotypes::trim_blanks(list.substr(0, comma));
    if (!name.empty()) {
      result.loci.emplace_back(name);
    }
    list.remove_prefix(std::min(comma + 1, list.size()));
  }
  return result;
}

void run_genotype_table(const Options& options, layout::Sink& console, layout::Sink& help,
                        output::Interrupts* interrupts) {
  const formats::ReadOptions read_options = read_options_of(options);
  const std::string prefix = output_prefix(options.out, default_prefix(options.genotypes));
  // A shard writes its shard file alone, locked by its own name, so that the
  // shards of a run may run side by side.
  const std::optional<ShardPart> part =
      options.shard.empty() ? std::nullopt : parse_shard_part(options.shard);
  // Every output file is reserved before the table is read: its folder
  // checked, the set locked against a second run, none of them existing.
  // The log is appended to, but only as a regular file.
  std::vector<std::string> finals = result_paths(prefix, result_choice(options));
  if (!options.locus_pairs) {
    finals.push_back(prefix + ".report.txt");
  }
  const std::string shard_file = part ? shard_path(prefix, *part) : std::string();
  if (part) {
    finals = {shard_file};
  }
  output::OutputSet outputs(finals, part ? shard_file : prefix, interrupts);
  if (!part) {
    layout::check_log_file(prefix + ".log");
  }

  const formats::ReadGenotypes read =
      formats::read_genotypes(options.genotypes, options.format, read_options,
                              [&help](const std::string& line) { help.write_record(line); });
  if (read.detected && !plain_table_name(*read.format, options.genotypes)) {
    help.write_record("format: " + std::string(read.format->name) +
                      " (told from the first lines; " + "--format names it)");
  }
  const genotypes::GenotypeData& genotypes = read.data;
  for (const std::string& line : genotypes::missing_code_notes(genotypes)) {
    help.write_record(line);
  }
  check_statistics_budget(options, genotypes, read_options.table.max_bytes);
  // Only the default rules record the run; a classic table run writes what it always has.
  results::RunRecord record;
  if (table_rules(options).judged_with_ties) {
    record = run_record_head(options, read);
  }
  if (part && options.locus_pairs) {
    run_locus_pair_shard(options, genotypes, std::move(record), *part, shard_file, outputs, console,
                         help);
  } else if (part) {
    run_overall_shard(options, genotypes, std::move(record), *part, shard_file, outputs, console,
                      help);
  } else if (options.locus_pairs) {
    run_locus_pair_tests(options, genotypes, std::move(record), prefix, outputs, console, help);
  } else {
    run_overall_test(options, genotypes, std::move(record), prefix, outputs, console, help);
  }
}

}  // namespace cli
