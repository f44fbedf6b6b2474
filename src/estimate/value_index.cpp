#include <cassert>

#include "common/count.h"
#include "estimate/estimate_internal.h"

namespace estimate {

std::size_t GroupValueIndex::KeyHash::operator()(const Key& key) const {
  // A 64-bit mix of both words; the table is only looked up, never walked.
  std::uint64_t h = key.low * 0x9E3779B97F4A7C15ULL;
  h ^= (key.high + 0x632BE59BD9B4E019ULL) * 0xC2B2AE3D27D4EB4FULL;
  return static_cast<std::size_t>(h ^ (h >> 29));
}

void GroupValueIndex::start(std::span<const int> systems) {
  systems_.assign(systems.begin(), systems.end());
  radix_.assign(systems_.size(), 0);
  digit_.assign(systems_.size() * LETTERS, -1);
  number_of_code_.clear();
  number_of_key_.clear();
  values_.clear();
  // A group of the leading systems in order: a value is the label cut short.
  leading_systems_ = true;
  for (int j = 0; j < common::count_of(systems_); ++j) {
    leading_systems_ = leading_systems_ && systems_[j] == j;
  }
}

void GroupValueIndex::finish_notes() {
  const int size = common::count_of(systems_);
  // The code space is the product of the letters met, formed in double so
  // that it cannot overflow; only a small space gets a dense table.
  double codes = 1.0;
  for (const int r : radix_) {
    codes *= static_cast<double>(r);
  }
  dense_ = codes <= DENSE_CODES;
  if (!dense_) {
    return;
  }
  place_value_.assign(static_cast<std::size_t>(size), 1);
  for (int j = size - 2; j >= 0; --j) {
    place_value_[j] = place_value_[j + 1] * radix_[j + 1];
  }
  // Each letter's part of the code, digit times place value, so that a
  // label's code is a sum of look-ups; letters never noted stay -1.
  weighted_digit_.assign(digit_.size(), -1);
  for (std::size_t j = 0; j < systems_.size(); ++j) {
    for (std::size_t letter = 0; letter < LETTERS; ++letter) {
      const int d = digit_[j * LETTERS + letter];
      if (d >= 0) {
        weighted_digit_[j * LETTERS + letter] = d * place_value_[j];
      }
    }
  }
  number_of_code_.assign(static_cast<std::size_t>(codes), -1);
}

int GroupValueIndex::digit(const common::Label& label, int j) const {
  const auto position = static_cast<std::size_t>(j);
  const int d = digit_[position * LETTERS + letter_number(label[systems_[position]])];
  assert(d >= 0);  // every label asked was noted
  return d;
}

int GroupValueIndex::number_by_key(const common::Label& label) {
  const int size = common::count_of(systems_);
  Key key;
  for (int j = 0; j < size; ++j) {
    const auto byte = static_cast<std::uint64_t>(digit(label, j));
    if (j < 8) {
      key.low |= byte << (8 * j);
    } else {
      key.high |= byte << (8 * (j - 8));
    }
  }
  return number_new(number_of_key_.try_emplace(key, -1).first->second, label);
}

void GroupValueIndex::add_value(const common::Label& label) {
  if (leading_systems_) {
    common::Label value = label;
    for (std::size_t j = systems_.size(); j < common::Label::size(); ++j) {
      value[j] = ' ';
    }
    values_.push_back(value);
    return;
  }
  common::Label value;
  for (int j = 0; j < common::count_of(systems_); ++j) {
    value[j] = label[systems_[j]];
  }
  values_.push_back(value);
}

}  // namespace estimate
