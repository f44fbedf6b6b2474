#pragma once

#include "layout/layout.h"

// The run driver: reads the run from group.dat in the working directory,
// analyses the observed data set and the permuted data sets, and writes the
// summary to the report file and the console.

namespace driver {

struct RunOptions {
  int threads = 1;  // worker threads for the estimation; no output byte depends on it
  layout::Sink* help = nullptr;  // standard error, for warnings the run survives; may be null
};

// Runs the whole analysis. Returns at the normal end of the run (the caller
// writes the closing line). Throws common::Stop for a stop code (its messages
// already written) and common::FileError for an error of the file layer.
// Progress lines, warnings and the summary go to console.
void run(const RunOptions& options, layout::Sink& console);

}  // namespace driver
