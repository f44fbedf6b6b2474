#include <bit>

#include "common/count.h"
#include "estimate/estimate_internal.h"

namespace estimate {

void GroupValueIndex::start(std::span<const int> systems) {
  systems_.assign(systems.begin(), systems.end());
  keys_.clear();
  // A group of the leading systems in order: a value is the label cut short.
  leading_systems_ = true;
  for (int j = 0; j < common::count_of(systems_); ++j) {
    leading_systems_ = leading_systems_ && systems_[j] == j;
  }
  const std::size_t size = systems_.size();
  low_mask_ = size >= sizeof low_mask_ ? ~std::uint64_t{0} : (std::uint64_t{1} << (8 * size)) - 1;
  high_mask_ = size <= sizeof low_mask_
                   ? std::uint16_t{0}
                   : static_cast<std::uint16_t>((1U << (8 * (size - sizeof low_mask_))) - 1);
  if (slots_.empty()) {
    slots_.resize(FIRST_SLOTS);
    shift_ = 64 - std::countr_zero(FIRST_SLOTS);
  }
  // A new stamp empties every slot; when the stamps run out they start again
  // on a cleared table.
  if (++stamp_ == 0) {
    slots_.assign(slots_.size(), Slot{});
    stamp_ = 1;
  }
}

int GroupValueIndex::number_new(Slot& slot, const Key& key) {
  const int number = value_count();
  slot = {key.low, key.high, stamp_, number};
  keys_.push_back(key);
  if (2 * keys_.size() > slots_.size()) {
    grow();
  }
  return number;
}

// Twice the slots, every value numbered so far placed again: the numbers stay.
void GroupValueIndex::grow() {
  slots_.assign(2 * slots_.size(), Slot{});
  --shift_;
  stamp_ = 1;
  for (std::size_t number = 0; number < keys_.size(); ++number) {
    std::size_t at = slot_of(keys_[number]);
    while (slots_[at].stamp == stamp_) {
      at = (at + 1) & (slots_.size() - 1);
    }
    slots_[at] = {keys_[number].low, keys_[number].high, stamp_, static_cast<std::int32_t>(number)};
  }
}

std::vector<common::Label> GroupValueIndex::values() const {
  std::vector<common::Label> values(keys_.size());
  for (std::size_t number = 0; number < keys_.size(); ++number) {
    for (std::size_t j = 0; j < systems_.size(); ++j) {
      const std::uint64_t word = j < sizeof(std::uint64_t) ? keys_[number].low : keys_[number].high;
      const std::size_t byte = j < sizeof(std::uint64_t) ? j : j - sizeof(std::uint64_t);
      values[number][j] = static_cast<char>((word >> (8 * byte)) & 0xFF);
    }
  }
  return values;
}

}  // namespace estimate
