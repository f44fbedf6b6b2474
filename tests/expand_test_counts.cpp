// Counts formed from allele counts: products that pass 64 bits saturate
// instead of overflowing, and the checks built on them keep their verdicts.

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <vector>

#include "common/stop.h"
#include "expand/expand.h"
#include "expand/expand_internal.h"
#include "support/capture.h"

namespace {

constexpr std::int64_t MOST = std::numeric_limits<std::int64_t>::max();

TEST(SaturatingProduct, ExactWhileItFitsThenHeldWithItsSign) {
  struct Case {
    std::int64_t a;
    std::int64_t b;
    std::int64_t product;
  };
  const Case cases[] = {{3, -4, -12},
                        {0, MOST, 0},
                        {MOST, 0, 0},
                        {MOST, 1, MOST},
                        {MOST / 2, 2, MOST - 1},
                        {MOST / 2 + 1, 2, MOST},
                        {MOST, -2, -MOST},
                        {-MOST, -2, MOST},
                        {std::numeric_limits<std::int64_t>::min(), -1, MOST}};
  for (const Case& c : cases) {
    EXPECT_EQ(expand::saturating_product(c.a, c.b), c.product) << c.a << " x " << c.b;
  }
}

TEST(CheckHaplotypeCount, LargeTablesPassAndMissingAllelesStillStop) {
  // Ten loci of 80 (or 256) alleles have more whole haplotypes than 64 bits
  // hold; the check runs without overflow (the sanitizer build would stop on
  // one) and keeps its verdicts.
  std::vector<int> last_without_alleles(10, 80);
  last_without_alleles.back() = 0;
  std::vector<int> negative_pair(10, 14);
  negative_pair[8] = -1;
  negative_pair[9] = -1;
  std::vector<int> negative_large(10, 14);
  negative_large[9] = -9999;
  std::vector<int> no_first_alleles(10, 80);
  no_first_alleles.front() = 0;
  const std::pair<std::vector<int>, const char*> cases[] = {
      {std::vector<int>(10, 80), "completed"},
      {std::vector<int>(10, 256), "completed"},
      {last_without_alleles, "stop code 304: system 10 declares 0 alleles"},
      // Two later systems of -1 alleles leave the product unchanged.
      {negative_pair, "completed"},
      {negative_large, "stop code 304: system 10 declares -9999 alleles"},
      // No combinations (system 1 has no alleles), but haplotypes past 64 bits.
      {std::vector<int>(10, -9999), "stop code 304: system 1 declares -9999 alleles"},
      {no_first_alleles, "completed"}};
  for (const auto& [allele_count, end] : cases) {
    common::SystemTables tables;
    tables.allele_count = allele_count;
    EXPECT_TRUE(test_support::ended(
        test_support::run_capturing([&] { expand::check_haplotype_count(tables); }), end));
  }
}

TEST(ExpectedPairTotal, LargestCompletionsFitAnInt) {
  // A system has at most one allele per code letter (256), and a phenotype
  // missing a system has at most 9 heterozygous typed systems.
  struct Case {
    int heterozygous;
    int missing_typings;
    int alleles;
  };
  const Case cases[] = {{0, 0, 0}, {10, 0, 0}, {9, 1, 256}, {9, 2, 256}, {0, 2, 256}};
  for (const Case& c : cases) {
    const std::int64_t h = c.heterozygous;
    const std::int64_t n = c.alleles;
    const std::int64_t phases = h == 0 ? 1 : std::int64_t{1} << (h - 1);
    const std::int64_t doubled = std::int64_t{1} << h;
    const std::int64_t g = (n * n + n) / 2;
    std::int64_t expected = phases;
    if (c.missing_typings == 1) {
      expected = h == 0 ? n : (n - 1) * doubled + phases;
    } else if (c.missing_typings == 2) {
      expected = h == 0 ? g : (g - n) * doubled + n * phases;
    }
    EXPECT_EQ(expand::expected_pair_total(c.heterozygous, c.missing_typings, c.alleles), expected);
  }
}

}  // namespace
