#include <algorithm>
#include <charconv>
#include <iostream>
#include <map>
#include <string>
#include <vector>

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
void write_pair_table(const std::vector<results::PairResult>& pairs, layout::Sink& console) {
  std::size_t name_width = 10;
  std::size_t pair_width = 4;
  for (const results::PairResult& pair : pairs) {
    name_width = std::max(name_width, pair.result.name.size());
    pair_width = std::max(pair_width, pair.locus_a.size() + pair.locus_b.size() + 3);
  }
  log_line(console, padded("population", name_width) + "  " + padded("pair", pair_width) +
                        "  p-value     D'     Wn");
  for (const results::PairResult& pair : pairs) {
    const auto measure = [&pair](double value) {
      return pair.measures_defined ? fixed_text(value, 3) : std::string("   NA");
    };
    log_line(console, padded(pair.result.name, name_width) + "  " +
                          padded(pair.locus_a + " ~ " + pair.locus_b, pair_width) + "    " +
                          fixed_text(pair.result.p_value, 3) + "  " + measure(pair.d_prime) + "  " +
                          measure(pair.wn));
  }
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
  layout::Sink& log;
  layout::Sink& help;
  ProgressLine& progress;
};

// One pair's test; its results, one per population, are appended to pairs.
void run_pair(const PairRun& run, int a, int b, int index, int total,
              std::vector<results::PairResult>& pairs) {
  const std::string& name_a = run.genotypes.loci[a].name;
  const std::string& name_b = run.genotypes.loci[b].name;
  const std::string pair_name = name_a + " ~ " + name_b;
  if (std::none_of(run.genotypes.rows.begin(), run.genotypes.rows.end(),
                   [&](const table::Row& row) { return kept_for_pair(row, a, b); })) {
    log_line(run.log, "pair " + pair_name + ": nobody typed at either locus; no result");
    return;
  }
  const table::TableInput made = table::make_run_input(run.genotypes, table::pair_test(a, b));
  for (const table::ExcludedIndividual& left : made.excluded) {
    log_line(run.log, "pair " + pair_name + ", line " + layout::integer_text(left.line) +
                          ", population " + left.population + ": left out" +
                          (left.id.empty() ? std::string() : ", id " + left.id));
  }
  for (const std::string& population : made.dropped_populations) {
    std::string line = "pair " + pair_name;
    line += ", population " + population + ": nobody left; no row for this pair";
    log_line(run.log, line);
  }
  DiscardSink discard;
  const layout::Sinks sinks{discard, run.log, discard, &run.help};
  common::RunOptions options = run_options(run.options);
  options.messages = common::MessageStyle::counted;
  const int data_sets = options.permutations + 1;
  options.progress = [&run, index, total, data_sets](int done, int /*all*/) {
    run.progress.update(index * data_sets + done, total * data_sets);
  };
  const common::RunResults results = driver::run_analysis(made.input, options, sinks);
  for (const common::PopulationResult& result : results.populations) {
    results::PairResult& pair = pairs.emplace_back();
    pair.locus_a = name_a;
    pair.locus_b = name_b;
    pair.result = result;
    const common::PairMeasures measures =
        common::pair_measures(haplotype_table(made.input, result));
    pair.measures_defined = measures.defined;
    pair.d_prime = measures.d_prime;
    pair.wn = measures.wn;
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
  const PairRun run{options, genotypes, log, help, progress};
  const int n = static_cast<int>(loci.size());
  const int total = n * (n - 1) / 2;
  std::vector<results::PairResult> pairs;
  int index = 0;
  for (int i = 0; i < n; ++i) {
    for (int j = i + 1; j < n; ++j) {
      run_pair(run, loci[i], loci[j], index++, total, pairs);
    }
  }
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
  write_pair_table(pairs, console);
  const std::vector<std::string> paths = pair_result_paths(prefix);
  write_result_file(paths[0], [&](std::ostream& out) { results::write_pairs_table(out, pairs); });
  write_result_file(paths[1],
                    [&](std::ostream& out) { results::write_pairs_svg(out, locus_names, pairs); });
  for (const std::string& path : paths) {
    log_line(console, "written: " + path);
  }
  if (log.written()) {
    log_line(console, "written: " + prefix + ".log");
  }
}

}  // namespace cli
