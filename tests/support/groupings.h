#pragma once

#include <vector>

#include "common/tables.h"

// Groupings for the tests of every module, built from their groups.

namespace test_support {

// A grouping of the given groups of 0-based systems, in order. A group's
// value total is the product of its systems' allele counts, allele_count[s];
// without allele counts the grouping has no value totals (only the
// estimation reads them).
[[nodiscard]] common::Grouping grouping_of(const std::vector<std::vector<int>>& groups,
                                           const std::vector<int>& allele_count = {});

}  // namespace test_support
