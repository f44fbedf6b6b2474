#include "permute/permute.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <numeric>
#include <string>
#include <vector>

#include "permute/permute_internal.h"
#include "support/groupings.h"

namespace {

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

// The run's deviates: the first six are the check values of a run started
// with seed 1, the next four pin the table arithmetic further (the eighth is
// a refilled slot); then every deviate lies in [0, 1) and every slot serves.
TEST(UniformRandom, DeviatesOfTheRunAndTheirSlots) {
  EXPECT_EQ(permute::internal::seeded_first_state(1), 54772);
  const double values[] = {0.86528170220859724, 0.39648832945395562,   0.44900738117324324,
                           0.77040869813858925, 0.43139012160109269,   0.11342822345510899,
                           0.12060770011190639, 0.0038748812181391029, 0.2191334442262107,
                           0.66058404410899851};
  const int slots[] = {31, 7, 68, 47, 26, 74, 91, 26, 17, 25};  // 1-based
  UniformRandom random;
  std::int32_t seed = 1;
  std::vector<int> slot_uses(UniformRandom::SHUFFLE_SLOTS, 0);
  for (int i = 0; i < 100000; ++i) {
    const double u = random.uniform_random(seed);
    if (i < 10) {
      EXPECT_EQ(u, values[i]);
      EXPECT_EQ(random.last_slot() + 1, slots[i]);
    }
    ASSERT_TRUE(u >= 0.0 && u < 1.0) << u;
    ++slot_uses.at(static_cast<std::size_t>(random.last_slot()));
  }
  EXPECT_EQ(seed, 1);
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

// Systems whose allele names are as wide as make_populations' typings.
common::SystemTables five_wide_systems(int system_count) {
  common::SystemTables systems;
  systems.allele_count.assign(static_cast<std::size_t>(system_count), 2);
  systems.allele_name_width.assign(static_cast<std::size_t>(system_count), 5);
  return systems;
}

// Blanks `missing` (1 or 2) typings of system s of record r of population p.
void blank(common::Populations& populations, int p, int r, int s, int missing) {
  common::RecordTypings& typings = populations.phenotype_table[p][r];
  for (int k = 0; k < missing; ++k) {
    typings[static_cast<std::size_t>(2 * s + 1 - k)] = common::Typing();
  }
}

TEST(ShuffleDonors, PopulationByPopulationAndGroupByGroup) {
  const common::Populations populations = make_populations({3, 3});
  const common::Grouping null_grouping = test_support::grouping_of({{0, 1}, {2}});
  // With no missing typing the missing patterns make the classic classes,
  // data set after data set.
  const permute::DonorClasses classic = permute::whole_population_classes(populations, 2);
  const permute::DonorClasses by_pattern =
      permute::missing_pattern_classes(five_wide_systems(3), populations, null_grouping);
  common::DonorIndex donors = permute::identity_donor_index(populations, 2);
  common::DonorIndex pattern_donors = donors;
  UniformRandom random;
  UniformRandom pattern_random;
  for (int n = 1; n <= 6; ++n) {
    permute::shuffle_donors(classic, random, donors);
    permute::shuffle_donors(by_pattern, pattern_random, pattern_donors);
    if (n == 1) {
      // Group 1 of the first population takes the first three draws: 1-based
      // donors 2, 1, 3 (j = 3 draws k = 3, j = 2 draws k = 1, j = 1 draws k = 1).
      EXPECT_EQ(donors, (common::DonorIndex{{{1, 1}, {0, 0}, {2, 2}}, {{1, 2}, {2, 0}, {0, 1}}}));
    }
    EXPECT_EQ(pattern_donors, donors) << "data set " << n;
  }
}

TEST(ShuffleDonors, ExchangesOnlyWithinAMissingPattern) {
  // Records 2 and 4 (1-based) miss a typing of system 1, record 1 both of
  // system 2. Group 1: j = 5 draws .865 among {1, 3, 5}: the 3rd, itself;
  // j = 4 draws .396 among {2, 4}: the 1st, record 2; j = 3 draws .449 among
  // {1, 3}: the 1st; records 2 and 1 are first of their class. Group 2:
  // j = 5, 4, 3 draw .113, .121, .004 among {2, .., j}: record 2 each time.
  common::Populations populations = make_populations({5});
  blank(populations, 0, 1, 0, 1);
  blank(populations, 0, 3, 0, 1);
  blank(populations, 0, 0, 1, 2);
  const permute::DonorClasses classes = permute::missing_pattern_classes(
      five_wide_systems(2), populations, test_support::grouping_of({{0}, {1}}));
  common::DonorIndex donors = permute::identity_donor_index(populations, 2);
  UniformRandom random;
  permute::shuffle_donors(classes, random, donors);
  EXPECT_EQ(donors, (common::DonorIndex{{{2, 0}, {3, 2}, {0, 3}, {1, 4}, {4, 1}}}));
}

TEST(ShuffleDonors, EveryRecordKeepsItsMissingPatternDataSetAfterDataSet) {
  common::Populations populations = make_populations({12, 7});
  const common::SystemTables systems = five_wide_systems(4);
  const common::Grouping null_grouping = test_support::grouping_of({{0}, {1, 2}, {3}});
  for (int r = 0; r < 12; r += 2) {
    blank(populations, 0, r, r % 4, 1 + r % 3 % 2);
  }
  blank(populations, 1, 6, 2, 2);
  const permute::DonorClasses classes =
      permute::missing_pattern_classes(systems, populations, null_grouping);
  const auto pattern = [&](int p, int r, int g) {
    std::vector<int> missing;
    for (const int s : null_grouping.group_systems[g]) {
      missing.push_back(
          common::missing_typing_count(systems, populations.phenotype_table[p][r], s));
    }
    return missing;
  };
  common::DonorIndex donors = permute::identity_donor_index(populations, 3);
  UniformRandom random;
  int moved = 0;
  for (int n = 1; n <= 40; ++n) {
    permute::shuffle_donors(classes, random, donors);
    for (int p = 0; p < 2; ++p) {
      for (int g = 0; g < 3; ++g) {
        std::vector<int> received;
        for (int r = 0; r < populations.population_record_count(p); ++r) {
          const int donor = donors[p][r][g];
          ASSERT_EQ(pattern(p, donor, g), pattern(p, r, g)) << n << " " << p << " " << r;
          received.push_back(donor);
          moved += donor != r ? 1 : 0;
        }
        std::sort(received.begin(), received.end());
        std::vector<int> records(received.size());
        std::iota(records.begin(), records.end(), 0);
        EXPECT_EQ(received, records);
      }
    }
  }
  EXPECT_GT(moved, 40 * 19);
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

}  // namespace
