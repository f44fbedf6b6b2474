#pragma once

#include <cassert>
#include <cstddef>
#include <limits>

namespace common {

// A container size as the int that indexes and counts use throughout; every
// count of the run is bounded far below INT_MAX.
template <typename Container>
[[nodiscard]] int count_of(const Container& container) {
  const std::size_t n = container.size();
  assert(n <= static_cast<std::size_t>(std::numeric_limits<int>::max()));
  return static_cast<int>(n);
}

}  // namespace common
