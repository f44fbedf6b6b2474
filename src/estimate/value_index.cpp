#include <cassert>

#include "common/count.h"
#include "estimate/estimate_internal.h"

namespace estimate {

namespace {

[[nodiscard]] int letter_number(char letter) { return static_cast<unsigned char>(letter); }

}  // namespace

void GroupValueIndex::build(const common::Grouping& grouping, int g) {
  const int size = grouping.group_size[g];
  const std::vector<common::Label>& values = grouping.group_values[g];
  systems_.assign(grouping.group_systems[g].begin(), grouping.group_systems[g].begin() + size);

  // Digits in order of first appearance; radix[j] counts the letters of position j.
  digit_.assign(static_cast<std::size_t>(size) * LETTERS, -1);
  std::vector<int>& radix = radix_;
  radix.assign(static_cast<std::size_t>(size), 0);
  for (const common::Label& value : values) {
    for (int j = 0; j < size; ++j) {
      int& digit = digit_[j * LETTERS + letter_number(value[j])];
      if (digit < 0) {
        digit = radix[j]++;
      }
    }
  }

  place_value_.assign(static_cast<std::size_t>(size), 1);
  for (int j = size - 2; j >= 0; --j) {
    place_value_[j] = place_value_[j + 1] * radix[j + 1];
  }
  const int code_total = size > 0 ? place_value_[0] * radix[0] : 1;
  // A complete list holds every combination once: as many values as codes.
  assert(code_total == common::count_of(values));

  position_of_code_.assign(static_cast<std::size_t>(code_total), -1);
  for (int position = 0; position < common::count_of(values); ++position) {
    int code = 0;
    for (int j = 0; j < size; ++j) {
      code += digit_[j * LETTERS + letter_number(values[position][j])] * place_value_[j];
    }
    assert(position_of_code_[code] < 0);
    position_of_code_[code] = position;
  }
}

int GroupValueIndex::position_of(const common::Label& label) const {
  int code = 0;
  for (int j = 0; j < common::count_of(systems_); ++j) {
    const int digit = digit_[j * LETTERS + letter_number(label[systems_[j]])];
    // A complete value list holds every letter that a label can carry.
    assert(digit >= 0);
    code += digit * place_value_[j];
  }
  return position_of_code_[code];
}

}  // namespace estimate
