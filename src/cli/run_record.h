#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cli/options.h"
#include "common/run.h"
#include "formats/formats.h"
#include "genotypes/genotypes.h"
#include "results/manifest.h"

// The record of a table run (PREFIX.run.tsv, the report page): what was
// read and every choice that shapes the result, in words and numbers that
// do not depend on the machine, the clock, a folder or the prefix, so that
// the same analysis records the same bytes however it was started.

namespace cli {

// The rows every table run records: version, each input file (base name,
// size, SHA-256), the format read, the options of that format and of the
// rules (as given or as their documented default), permutations and seed.
// Throws common::FileError when an input file can no longer be read.
[[nodiscard]] results::RunRecord run_record_head(const Options& options,
                                                 const formats::ReadGenotypes& read);

// The overall test's rows: its loci, groupings and the populations with
// their individuals analysed and left out, and the populations dropped.
void add_overall_rows(const genotypes::TestInput& made, results::RunRecord& record);

// The pair tests' rows: the loci paired and the populations with their
// individuals in the file (each pair's counts are in the pairs table).
void add_locus_pair_rows(const genotypes::GenotypeData& genotypes,
                         const std::vector<std::string>& loci, results::RunRecord& record);

// The SHA-256 of the file at path in lower-case hex and its size in bytes,
// or nullopt when it is not a regular file (a pipe is read once). Throws
// common::FileError when it cannot be opened or read.
struct FileDigest {
  std::string sha256;
  std::int64_t bytes = 0;
};
[[nodiscard]] std::optional<FileDigest> file_digest(const std::string& path);

// The SHA-256 of bytes in lower-case hex.
[[nodiscard]] std::string text_sha256(std::string_view bytes);

}  // namespace cli
