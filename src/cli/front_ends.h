#pragma once

#include <string>
#include <vector>

#include "cli/options.h"
#include "layout/layout.h"
#include "output/output.h"

// The two front-ends: each opens its files, turns them into the run input,
// runs the analysis and writes the result files. Both throw common::Stop for a
// stop code and common::FileError for an error of the file layer; the caller
// turns them into the exit status. Warnings the run survives go to help
// (standard error).

namespace cli {

// The classic run: group.dat in the working directory and the files it names.
// With --out the result tables are written too, at the normal end only; they
// are checked before group.dat is opened.
void run_classic(const Options& options, layout::Sink& console, layout::Sink& help,
                 output::Interrupts* interrupts);

// The run from a genotype table (--genotypes).
void run_genotype_table(const Options& options, layout::Sink& console, layout::Sink& help,
                        output::Interrupts* interrupts);

// The merge of shard files (quarnel merge --out PREFIX SHARD...): checks
// that they are the shards 1..N of one run, each once and agreeing on the
// observed results, and writes the files the single run with --out PREFIX
// writes, with its console lines. Throws common::FileError, writing
// nothing, when they are not.
void run_merge(const std::string& out, const std::vector<std::string>& shard_paths,
               layout::Sink& console, layout::Sink& help, output::Interrupts* interrupts);

// The options of both modes as the engine reads them.
[[nodiscard]] common::RunOptions run_options(const Options& options);

}  // namespace cli
