#pragma once

#include <array>

#include "estimate/estimate_internal.h"

// The packed arithmetic of the single-group pass (packed.cpp), private to the estimation.

namespace estimate {

// Whether this build has packed blocks and this processor runs them (AVX-512F).
[[nodiscard]] bool packed_blocks_available();
// Every block of the single-group pass, eight lanes at once; the bits of the lane-by-lane pass.
void run_blocks_packed(const double* frequency, double floor, SingleGroupTables& single);
// The natural logarithms of x[0..7] into out, within FAST_LOG_ERROR.
void fast_log8_packed(const double* x, double* out);
// The sums of the log-likelihood's terms, their magnitudes and the weights
// from the fast logarithm; false where a likelihood is out of its range.
[[nodiscard]] bool sum_terms_packed(const SingleGroupTables& single, double log_floor,
                                    std::array<double, 3>& sums);

}  // namespace estimate
