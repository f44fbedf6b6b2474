#pragma once

#include "common/run.h"
#include "layout/layout.h"

// The run driver: analyses the observed data set and the permuted data sets
// of a run input, whichever front-end filled it, and writes the summary to
// the report and the console.

namespace driver {

// Runs the whole analysis of input: data set 0, then options.permutations
// permuted data sets, then the summary (report first, then console), and
// returns every figure of the run. With MessageStyle::classic the console
// gets the progress lines and the EM messages as the records say; with
// MessageStyle::counted the console gets only the summary and each warning
// is one line in the log. Throws common::Stop for a stop code (its messages
// already written) and common::FileError for an error of the file layer.
[[nodiscard]] common::RunResults run_analysis(const common::RunInput& input,
                                              const common::RunOptions& options,
                                              const layout::Sinks& sinks);

}  // namespace driver
