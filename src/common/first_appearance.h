#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace common {

// Values numbered in order of first appearance, as the populations of a
// genotype table and the rows of the result tables are ordered.
struct FirstAppearance {
  std::vector<std::string> values;  // [k]: the k-th distinct value met
  std::vector<int> number_of;       // [i]: the 0-based number of item i's value
};

// Numbers the items' values in order of first appearance; equal texts are
// one value.
[[nodiscard]] FirstAppearance first_appearance(std::span<const std::string_view> items);

}  // namespace common
