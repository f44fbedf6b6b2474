#pragma once

#include <string>
#include <vector>

#include "cli/options.h"
#include "cli/shard_file.h"
#include "formats/formats.h"
#include "layout/layout.h"
#include "output/output.h"
#include "results/manifest.h"
#include "table/table.h"

// The genotype-table mode's pieces shared by the overall test and the locus
// pairs.

namespace cli {

// The table's file name without its folder and its last extension.
[[nodiscard]] std::string default_prefix(const std::string& table_path);

// The reading options of the table from the command line; without
// --delimiter the delimiter is left to the reader (0). Throws
// common::FileError for a bad --delimiter, or a table name without one of
// the extensions delimiter_for knows when --delimiter is not given.
[[nodiscard]] table::TableOptions table_options(const Options& options);

// Every reader's options from the command line (table_options among them).
[[nodiscard]] formats::ReadOptions read_options_of(const Options& options);

// The console's closing lines: "written: PATH" for each file written, in
// order, then for the log at log_path when something was written to it.
void write_written_lines(const std::vector<std::string>& paths, const layout::LogSink& log,
                         const std::string& log_path, layout::Sink& console);

// Which result files the run writes (table runs).
[[nodiscard]] results::ResultChoice result_choice(const Options& options);

// Every pair of loci of --loci (or of the table), each tested as the overall
// test of the two loci alone; writes the pairs table and picture and the log.
// The files go into outputs, committed at the end; under the default rules
// record (run_record_head) gains the pairs' rows and is written with them.
void run_locus_pair_tests(const Options& options, const genotypes::GenotypeData& genotypes,
                          results::RunRecord record, const std::string& prefix,
                          output::OutputSet& outputs, layout::Sink& console, layout::Sink& help);

// A pair run none of whose tests completed writes no result file: throws
// common::FileError.
void refuse_if_none_completed(const std::vector<common::LocusPairResult>& locus_pairs);

// Rows by population in the order of populations (the table's), then in the
// order of the locus pairs; the sort is stable.
void in_table_order(const std::vector<std::string>& populations,
                    std::vector<common::LocusPairResult>& locus_pairs);

// The console lines after the overall table: what the run survived, when anything.
void write_run_notes(const common::RunResults& results, layout::Sink& console);

// Shard part of a run (--shard): the tests or permuted data sets of its
// block, and the shard file, written into outputs (which hold it alone),
// committed, and named on the console. record is run_record_head's.
void run_overall_shard(const Options& options, const genotypes::GenotypeData& genotypes,
                       results::RunRecord record, const ShardPart& part, const std::string& path,
                       output::OutputSet& outputs, layout::Sink& console, layout::Sink& help);
void run_locus_pair_shard(const Options& options, const genotypes::GenotypeData& genotypes,
                          results::RunRecord record, const ShardPart& part, const std::string& path,
                          output::OutputSet& outputs, layout::Sink& console, layout::Sink& help);
void write_shard_file(output::OutputSet& outputs, const std::string& path, const ShardFile& shard,
                      layout::Sink& console);

}  // namespace cli
