#pragma once

#include <string>

#include "common/run.h"

// The classic files that say what a run input says: the data file (header
// with the allele lists, the record layout, one record per individual) and
// the control file group.dat with both groupings. Systems, alleles, code
// letters, populations, records and groups keep their order; each typing is
// written as the full name (RunInput::allele_names) of its allele, so every
// allele name must fit the classic 5 columns.

namespace test_support {

// The data file of the run input. Throws std::invalid_argument when the input
// cannot be said in the classic format: an allele name longer than 5 bytes or
// blank, more alleles than the format takes, more than 20 populations, or two
// populations in a row whose names agree in their first 20 bytes (the classic
// reader would join them).
[[nodiscard]] std::string classic_data_file(const common::RunInput& input);

// The control file naming the data and report files, with both groupings
// (system numbers 1-based). Throws std::invalid_argument for a name longer
// than 40 bytes.
[[nodiscard]] std::string classic_control_file(const common::RunInput& input,
                                               const std::string& data_name,
                                               const std::string& report_name);

}  // namespace test_support
