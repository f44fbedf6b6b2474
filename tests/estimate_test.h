#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "common/tables.h"
#include "estimate/estimate.h"

// Small groupings and populations written inline for the estimation tests.
namespace estimate_test {

// A grouping whose groups hold the given 0-based systems; letters[s] holds the
// code letters of system s. Value lists are complete, last system fastest.
inline common::Grouping make_grouping(const std::vector<std::string>& letters,
                                      const std::vector<std::vector<int>>& groups) {
  common::Grouping grouping;
  grouping.group_total = static_cast<int>(groups.size());
  for (const std::vector<int>& systems : groups) {
    grouping.group_size.push_back(static_cast<int>(systems.size()));
    grouping.group_systems.push_back(systems);
    std::vector<std::string> values{""};
    for (const int s : systems) {
      std::vector<std::string> longer;
      for (const std::string& value : values) {
        for (const char letter : letters[s]) {
          longer.push_back(value + letter);
        }
      }
      values = longer;
    }
    grouping.group_value_total.push_back(static_cast<int>(values.size()));
    grouping.group_values.emplace_back();
    for (const std::string& value : values) {
      grouping.group_values.back().emplace_back(value);
    }
  }
  return grouping;
}

// The pair list of one distinct phenotype, pairs given as (first, second) labels.
inline std::shared_ptr<const common::PairList> make_pairs(
    const std::vector<std::pair<std::string, std::string>>& pairs) {
  auto list = std::make_shared<common::PairList>();
  for (const auto& [first, second] : pairs) {
    list->first.emplace_back(first);
    list->second.emplace_back(second);
  }
  return list;
}

// The distinct phenotypes of a data set with one population's counts.
struct Population {
  common::PairLists pair_labels;
  std::vector<int> phenotype_count;

  void add(const std::vector<std::pair<std::string, std::string>>& pairs, int count) {
    pair_labels.push_back(make_pairs(pairs));
    phenotype_count.push_back(count);
  }
  [[nodiscard]] int size() const {
    int total = 0;
    for (const int count : phenotype_count) {
      total += count;
    }
    return total;
  }
  [[nodiscard]] estimate::EmInput input(const common::Grouping& grouping,
                                        int max_iterations = common::EM_MAX_ITERATIONS) const {
    return {grouping, pair_labels, phenotype_count, size(), max_iterations};
  }
};

}  // namespace estimate_test
