#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cli/run_notes.h"
#include "common/locus_pair_result.h"
#include "common/run.h"
#include "results/manifest.h"

// The file of one shard of a table run, PREFIX.shard-K-of-N: every datum the
// merge needs to write the single run's files, and the fingerprint that
// tells shards of the same run. docs/design.md describes the format.

namespace cli {

inline constexpr int SHARD_FORMAT_VERSION = 1;
// More shards than this are refused: no run has more tests or data sets to share out.
inline constexpr int MAX_SHARDS = 1000000;

// Shard k of n (1 <= k <= n).
struct ShardPart {
  int k = 1;
  int n = 1;
};

// "K/N", or nullopt when the text is not such a part.
[[nodiscard]] std::optional<ShardPart> parse_shard_part(std::string_view text);

// The 0-based half-open range [first, last) of count items that shard part
// holds: the items are dealt out in contiguous blocks, their sizes differing
// by at most one.
struct ShardRange {
  std::int64_t first = 0;
  std::int64_t last = 0;
};
[[nodiscard]] ShardRange shard_range(std::int64_t count, const ShardPart& part);

// PREFIX.shard-K-of-N.
[[nodiscard]] std::string shard_path(const std::string& prefix, const ShardPart& part);

// A fit the log notes (not converged, or iterations that lowered the
// log-likelihood), or, with redrawn > 0, a data set drawn again.
struct FitEvent {
  int dataset_number = 0;
  int population = 0;
  int model = 0;  // 0 null, 1 alternative
  int last_iteration = 0;
  int decreased_iterations = 0;
  bool converged = true;
  int redrawn = 0;
};

// The overall test: what every shard computes alike (the observed part) and
// what its block of permuted data sets adds.
struct OverallObserved {
  // The input as the writers read it: names, groupings, untyped systems.
  common::RunInput input;
  int permutations = 0;
  int stop_after = 0;          // --stop-after; 0: off
  double min_frequency = 0.0;  // of the frequency table
  // The console, log and report lines before the first fit (exclusions,
  // lines of the observed data set's build).
  std::vector<std::string> console_lines;
  std::vector<std::string> log_lines;
  std::vector<std::string> report_lines;
  std::vector<FitEvent> events;  // of data set 0
  std::int64_t estimations = 0;  // of data set 0
  // [population]: the observed results (no permuted statistics, no fit notes).
  std::vector<common::PopulationResult> populations;
  std::vector<std::string> sparse_notes;  // [population]
};

struct OverallBlock {
  std::vector<std::vector<double>> statistics;  // [population][data set of the block]
  std::vector<FitEvent> events;
  std::int64_t estimations = 0;           // of the block: a check of its statistics
  std::vector<std::string> report_lines;  // written by the block's builds
};

// The locus pairs: the loci and the populations in the table's order alike;
// the block's whole tests.
struct PairsObserved {
  std::vector<std::string> loci;
  std::vector<std::string> population_order;
  bool pair_alleles = false;  // --pair-alleles
  int stop_after = 0;         // --stop-after; 0: off
};

struct PairsBlock {
  std::vector<common::LocusPairResult> rows;  // by pair, then population, unsorted
  std::vector<NoteCounts> notes;              // [pair of the block]
  std::vector<std::string> log_lines;
  std::vector<std::string> help_lines;
};

struct ShardFile {
  ShardPart part;
  bool pairs = false;
  results::RunRecord record;
  std::string fingerprint;  // SHA-256 of the record's rows (version, inputs, options)
  // The observed part as written: shards of one run agree on its bytes.
  std::string observed_bytes;
  OverallObserved overall;
  OverallBlock overall_block;
  PairsObserved locus_pairs;
  PairsBlock pairs_block;
};

// The fingerprint of a run record.
[[nodiscard]] std::string record_fingerprint(const results::RunRecord& record);

// The file's bytes; observed_bytes and fingerprint are computed, not read.
[[nodiscard]] std::string shard_file_bytes(const ShardFile& shard);

// Reads the bytes of a shard file; path names it in errors. Throws
// common::FileError for a file of another version, a corrupt or truncated
// one, or one whose indexes do not fit its names.
[[nodiscard]] ShardFile read_shard_file(const std::string& path, std::string_view bytes);

}  // namespace cli
