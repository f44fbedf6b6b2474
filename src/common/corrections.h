#pragma once

#include <span>
#include <vector>

#include "common/locus_pair_result.h"

// p-values corrected for the number of tests they belong to. A NaN p-value
// (no test) is left out of the count and stays NaN.

namespace common {

// Holm's step-down correction: with the m p-values that are not NaN sorted
// ascending (equal values in input order), the i-th (1-based) becomes the
// largest over j <= i of min(1, (m - j + 1) p(j)). Returned in input order.
[[nodiscard]] std::vector<double> holm(std::span<const double> p_values);

// Benjamini and Hochberg's step-up correction (the false discovery rate):
// with the same order, the i-th becomes the smallest over j >= i of
// min(1, m p(j) / j). Returned in input order.
[[nodiscard]] std::vector<double> benjamini_hochberg(std::span<const double> p_values);

// Fills p_holm and p_bh of every row over the rows of its population
// (result.name), and p_bh_all over every row of the run. A row's p-value is
// result.p_value when its test has information, NaN (no test) otherwise.
void correct_locus_pairs(std::vector<LocusPairResult>& locus_pairs);

}  // namespace common
