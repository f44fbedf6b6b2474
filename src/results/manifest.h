#pragma once

#include <functional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "common/combined.h"
#include "common/locus_pair_result.h"
#include "common/run.h"

// The result files of a run in one list: each file's suffix after the
// prefix and its writer. A front-end reserves, writes and lists exactly the
// files of this list, so that a new result file is one entry here.

namespace results {

// The rows of PREFIX.run.tsv: key and value.
using RunRecord = std::vector<std::pair<std::string, std::string>>;

// What the writers of a run's result files read; nullptr where the run has
// none.
struct ResultSet {
  const common::RunInput* input = nullptr;         // the overall test's input
  const common::RunResults* results = nullptr;     // the overall test's results
  const std::vector<std::string>* loci = nullptr;  // pair runs: the names of the loci paired
  // Pair runs: the rows by population, then in the order of the pairs.
  const std::vector<common::LocusPairResult>* locus_pairs = nullptr;
  const RunRecord* record = nullptr;  // the run record
  // The test across populations (default rules only).
  const common::CombinedTests* combined = nullptr;
  // The rules judged ties within a tolerance (the default rules of a table run).
  bool judged_with_ties = false;
  // The frequency table lists values of frequency at least this.
  double min_frequency = 0.0;
};

struct ResultFile {
  std::string suffix;  // after the prefix: ".summary.tsv", ".pairs.svg", ...
  std::function<void(std::ostream&, const ResultSet&)> write;
  // A picture of many populations is drawn on pages, known once the results
  // are: their count (empty: one page) and the writer of a 0-based page
  // after the first, whose file is picture_page_path(PREFIX + suffix, page).
  std::function<int(const ResultSet&)> pages = {};
  std::function<void(std::ostream&, const ResultSet&, int)> write_page = {};
};

enum class RunKind { overall, locus_pairs };

// What decides which files a run writes; known before any input is read.
struct ResultChoice {
  RunKind kind = RunKind::overall;
  bool judged_with_ties = false;
  bool pair_alleles = false;  // --pair-alleles
};

// The result files of a run, in the order they are written and listed.
[[nodiscard]] std::vector<ResultFile> result_files(const ResultChoice& choice);

}  // namespace results
