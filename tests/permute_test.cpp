#include "permute/permute.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <numeric>
#include <string>
#include <vector>

#include "layout/layout.h"
#include "permute/permute_internal.h"
#include "support/groupings.h"

namespace {

using permute::AttemptStatus;
using permute::UniformRandom;

// Populations whose typings are all distinct: typing k of record r of
// population p reads "P<p>R<r><letter k>", e.g. "P1R2A" (p, r below 10).
common::Populations make_populations(const std::vector<int>& record_counts) {
  common::Populations populations;
  for (std::size_t p = 0; p < record_counts.size(); ++p) {
    std::vector<common::RecordTypings>& records = populations.phenotype_table.emplace_back();
    for (int r = 0; r < record_counts[p]; ++r) {
      common::RecordTypings& typings = records.emplace_back();
      for (std::size_t k = 0; k < typings.size(); ++k) {
        typings[k].assign("P" + std::to_string(p) + "R" + std::to_string(r) +
                          static_cast<char>('A' + k));
      }
    }
  }
  return populations;
}

TEST(UniformRandom, DeviatesOfTheRunAndTheirSlots) {
  EXPECT_EQ(permute::internal::seeded_first_state(1), 54772);
  // The first six are the check values of a run started with seed 1; the next
  // four pin the table arithmetic further (the eighth is a refilled slot).
  const double values[] = {0.86528170220859724, 0.39648832945395562,   0.44900738117324324,
                           0.77040869813858925, 0.43139012160109269,   0.11342822345510899,
                           0.12060770011190639, 0.0038748812181391029, 0.2191334442262107,
                           0.66058404410899851};
  const int slots[] = {31, 7, 68, 47, 26, 74, 91, 26, 17, 25};  // 1-based
  UniformRandom random;
  std::int32_t seed = 1;
  for (int i = 0; i < 10; ++i) {
    EXPECT_EQ(random.uniform_random(seed), values[i]);
    EXPECT_EQ(random.last_slot() + 1, slots[i]);
    EXPECT_EQ(seed, 1);
  }
}

TEST(UniformRandom, DeviatesStayInUnitIntervalAndUseEverySlot) {
  UniformRandom random;
  std::int32_t seed = 1;
  std::vector<int> slot_uses(UniformRandom::SHUFFLE_SLOTS, 0);
  for (int i = 0; i < 100000; ++i) {
    const double u = random.uniform_random(seed);
    ASSERT_TRUE(u >= 0.0 && u < 1.0) << u;
    ++slot_uses.at(static_cast<std::size_t>(random.last_slot()));
  }
  EXPECT_EQ(std::count(slot_uses.begin(), slot_uses.end(), 0), 0);
}

TEST(UniformRandom, OnlyTheFirstCallOrANegativeSeedStartsTheGenerator) {
  UniformRandom reference;
  std::int32_t reference_seed = 7;
  UniformRandom random;
  std::int32_t seed = 7;
  EXPECT_EQ(random.uniform_random(seed), reference.uniform_random(reference_seed));
  EXPECT_EQ(seed, 1);
  // A positive seed neither restarts a started generator nor is changed.
  seed = 9;
  EXPECT_EQ(random.uniform_random(seed), reference.uniform_random(reference_seed));
  EXPECT_EQ(seed, 9);
  // A negative seed restarts it as if it were new.
  UniformRandom fresh;
  std::int32_t fresh_seed = -5;
  seed = -5;
  EXPECT_EQ(random.uniform_random(seed), fresh.uniform_random(fresh_seed));
  EXPECT_EQ(seed, 1);
  EXPECT_EQ(random.uniform_random(seed), fresh.uniform_random(fresh_seed));
}

TEST(ShuffleDonors, PopulationByPopulationAndGroupByGroup) {
  const common::Populations populations = make_populations({3, 3});
  common::DonorIndex donors = permute::identity_donor_index(populations, 2);
  UniformRandom random;
  permute::shuffle_donors(populations, 2, random, donors);
  // Group 1 of the first population takes the first three draws: 1-based
  // donors 2, 1, 3 (j = 3 draws k = 3, j = 2 draws k = 1, j = 1 draws k = 1).
  EXPECT_EQ(donors, (common::DonorIndex{{{1, 1}, {0, 0}, {2, 2}}, {{1, 2}, {2, 0}, {0, 1}}}));
}

TEST(ShuffleDonors, DrawsRecordsTimesGroupsPerAttempt) {
  // A population of one record still draws, and keeps its donor.
  const std::pair<std::vector<int>, int> cases[] = {{{1}, 2}, {{3, 1, 4}, 3}, {{5, 2}, 1}};
  for (const auto& [record_counts, group_total] : cases) {
    const common::Populations populations = make_populations(record_counts);
    common::DonorIndex donors = permute::identity_donor_index(populations, group_total);
    UniformRandom random;
    permute::shuffle_donors(populations, group_total, random, donors);
    permute::shuffle_donors(populations, group_total, random, donors);  // a second attempt
    const int draws =
        2 * group_total * std::accumulate(record_counts.begin(), record_counts.end(), 0);
    UniformRandom reference;
    std::int32_t seed = 1;
    for (int i = 0; i < draws; ++i) {
      (void)reference.uniform_random(seed);
    }
    EXPECT_EQ(random.uniform_random(seed), reference.uniform_random(seed)) << draws << " draws";
    for (const std::vector<std::vector<int>>& population : donors) {
      if (population.size() == 1) {
        EXPECT_EQ(population[0], std::vector<int>(static_cast<std::size_t>(group_total), 0));
      }
    }
  }
}

TEST(AssembleRecord, TakesEachNullGroupFromItsDonor) {
  const common::Populations populations = make_populations({2, 3});
  const common::Grouping null_grouping = test_support::grouping_of({{0, 1}, {2}});
  common::DonorIndex donors = permute::identity_donor_index(populations, 2);
  donors[1][0] = {2, 1};
  common::RecordTypings record;
  record.fill(common::Typing("OLD"));
  permute::assemble_record(populations, null_grouping, donors, 1, 0, record);
  // The typings beyond the systems of the data are left as they are.
  const char* const expected[] = {"P1R2A", "P1R2B", "P1R2C", "P1R2D", "P1R1E", "P1R1F", "OLD"};
  for (int k = 0; k < 7; ++k) {
    EXPECT_EQ(record[k].trimmed(), expected[k]) << "typing " << k;
  }
}

TEST(WriteAbortListing, ListsOnlyDataSetsWithSeveralAttempts) {
  // Data set 2 takes two attempts and data set 11 reaches the limit; the
  // others succeed at their first attempt.
  permute::TryCounts counts;
  for (int n = 1; n <= 11; ++n) {
    const int tries = n == 2 ? 2 : n == 11 ? common::MAX_TRIES : 1;
    for (int t = 1; t <= tries; ++t) {
      EXPECT_EQ(counts.begin_attempt(n) == AttemptStatus::too_many, t == common::MAX_TRIES);
    }
  }
  layout::MemorySink log;
  permute::write_abort_listing(11, counts, log);
  const std::vector<std::string> expected = {
      "",
      "",
      "FATAL PROBLEM",
      " The Quarnel job is aborting due to an excessive amount of missing data.",
      "",
      "Cycle number of permuted dataset at abort:     11",
      "Solution: eliminate records with missing data: ",
      "fill in missing typings or delete partial records",
      "",
      " MAXTRIES =    10 for each permuted data set.",
      "",
      " Listing below only those datasets with multiple attempts to permute.",
      "",
      " Dataset    2 Tries =   2",
      " Dataset   11 Tries =  10"};
  EXPECT_EQ(log.records(), expected);
}

}  // namespace
