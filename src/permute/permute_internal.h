#pragma once

#include <cstdint>

// Pieces of the permutation stage that the tests reach directly: the
// 1-based position formulas of the generator and the shuffle, converted to
// 0-based indexes in exactly one place each.

namespace permute::internal {

// Step 2 of the generator's initialisation: the first generator's state
// derived from the seed.
[[nodiscard]] std::int32_t seeded_first_state(std::int32_t seed);

// The 0-based shuffle-table slot picked by a selector state: the 1-based
// slot 1 + (97 x selector) div 243000, less one.
[[nodiscard]] int slot_for_selector(std::int32_t selector_state);

// The 0-based choice of the shuffle among j + 1 candidates (the records of a
// class up to the one drawing, which is the last) for the deviate u: the
// 1-based k = 1 + int(u x j1) with j1 = j + 1, less one. Lies in 0..j because
// 0 <= u < 1.
[[nodiscard]] int exchange_partner(double u, int j);

}  // namespace permute::internal
