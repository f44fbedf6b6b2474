#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "input/input.h"
#include "support/capture.h"
#include "support/text_files.h"

namespace {

using common::StopCode;
using test_support::CapturedSinks;
using test_support::numbered_system;
using test_support::run_capturing;
using test_support::SystemText;
using test_support::typings;

// Codes individuals into one table of distinct phenotypes.
struct Coder {
  common::SystemTables systems;
  common::DistinctPhenotypes distinct;
  input::PhenotypeIndex index;
  CapturedSinks sinks;

  Coder(const std::vector<SystemText>& system_texts, int population_count)
      : systems(test_support::system_tables(system_texts)) {
    distinct.reset(population_count);
  }
  void code(int population, int record, const std::vector<std::string>& texts) {
    input::code_individual(population, record, typings(texts), systems, distinct, index,
                           sinks.sinks());
  }
};

// System 1: 01, 02, 03 coded a, b, c; system 2: 01, 02 coded A, B.
std::vector<SystemText> two_systems() {
  SystemText first = numbered_system(3);
  first.codes = "abc";
  return {first, numbered_system(2)};
}

TEST(CodeIndividual, TypingsInSwappedOrderShareOnePhenotype) {
  Coder coder(two_systems(), 1);
  coder.code(0, 0, {"01", "02", "02", "01"});
  coder.code(0, 1, {"02", "01", "01", "02"});
  ASSERT_EQ(coder.distinct.distinct_count, 1);
  EXPECT_EQ(coder.distinct.distinct_typings[0], typings({"01", "02", "02", "01"}));
  EXPECT_EQ(coder.distinct.phenotype_code[0].trimmed(), "abBA");
  EXPECT_EQ(coder.distinct.phenotype_tally[0], (std::vector<int>{2}));
  EXPECT_EQ(coder.distinct.first_individual[0].record, 0);
}

TEST(CodeIndividual, SamePhenotypeInTwoPopulationsIsTalliedForEach) {
  Coder coder(two_systems(), 3);
  coder.code(0, 0, {"01", "01", "01", "01"});
  coder.code(2, 0, {"03", "01", "01", "01"});
  coder.code(2, 1, {"01", "01", "01", "01"});
  coder.code(2, 2, {"03", "01", "01", "01"});
  EXPECT_EQ(coder.distinct.distinct_count, 2);
  // Every tally row has one entry per distinct phenotype.
  EXPECT_EQ(coder.distinct.phenotype_tally,
            (std::vector<std::vector<int>>{{1, 0}, {0, 0}, {1, 2}}));
  EXPECT_EQ(coder.distinct.first_individual[1].population, 2);
  EXPECT_EQ(coder.distinct.first_individual[1].record, 0);
}

TEST(CodeIndividual, TypingBlankAtTheNameWidthIsMissing) {
  Coder coder(two_systems(), 1);
  coder.code(0, 0, {"02", "", "01", "02"});
  coder.code(0, 1, {"01", "02", "", ""});
  coder.code(0, 2, {"01", "02", "X", ""});  // blank in column 2: missing as well
  EXPECT_EQ(coder.distinct.phenotype_code[0].view(), "b?AB" + std::string(16, ' '));
  EXPECT_EQ(coder.distinct.phenotype_code[1].trimmed(), "ab??");
  // Compared as text, X and blank are two phenotypes with one code string.
  ASSERT_EQ(coder.distinct.distinct_count, 3);
  EXPECT_EQ(coder.distinct.phenotype_code[2], coder.distinct.phenotype_code[1]);
  EXPECT_EQ(coder.distinct.distinct_typings[2][2].view(), "X    ");
}

TEST(CodeIndividual, BlankTestFollowsEachAlleleThatDoesNotMatch) {
  // Width 2 with names written left-justified, so both end in a blank.
  SystemText odd;
  odd.names = {"P ", "Q "};
  odd.codes = "pq";
  Coder coder({odd, numbered_system(2)}, 1);
  coder.code(0, 0, {"P", "Q", "01", "01"});
  // Q matches allele 2, but the blank test after allele 1 ends the search first.
  EXPECT_EQ(coder.distinct.phenotype_code[0].trimmed(), "p?AA");
}

TEST(CodeIndividual, UnknownAlleleStops375WithTheMessageOnTheConsoleOnly) {
  Coder coder({numbered_system(3), numbered_system(3), numbered_system(2)}, 1);
  coder.code(0, 0, {"03", "02", "01", "02", "02", "01"});
  const test_support::Outcome outcome = run_capturing([&] {
    coder.code(0, 1, {"03", "02", "X9", "02", "02", "01"});
  });
  ASSERT_TRUE(test_support::stopped_with(outcome, StopCode::unknown_allele));
  EXPECT_EQ(coder.sinks.console(),
            (std::vector<std::string>{
                "", "", " FATAL ERROR:", " Encountered allele not in the allele list.",
                " Processing genetic system number:   2 in the phenotype set below:",
                " Phenotypes 03   02   ..X9   02   ..02   01   .."}));
  EXPECT_TRUE(coder.sinks.log().empty());
  EXPECT_TRUE(coder.sinks.report().empty());
  EXPECT_EQ(coder.distinct.distinct_count, 1);
}

TEST(CodeIndividual, SystemWithoutAllelesStops375EvenForABlankTyping) {
  SystemText empty = numbered_system(0);
  Coder coder({numbered_system(2), empty}, 1);
  EXPECT_TRUE(test_support::stopped_with(run_capturing([&] {
                                           coder.code(0, 0, {"01", "01"});
                                         }),
                                         StopCode::unknown_allele));
}

TEST(CodeIndividual, ThousandPhenotypesAreAcceptedAndTheNextStops105) {
  Coder coder({numbered_system(14), numbered_system(14)}, 1);
  const SystemText names = numbered_system(14);
  std::vector<std::vector<std::string>> individuals;
  for (int a = 0; a < 14 && individuals.size() < 1001; ++a) {
    for (int b = a; b < 14 && individuals.size() < 1001; ++b) {
      for (int c = 0; c < 14 && individuals.size() < 1001; ++c) {
        for (int d = c; d < 14 && individuals.size() < 1001; ++d) {
          individuals.push_back({names.names[a], names.names[b], names.names[c], names.names[d]});
        }
      }
    }
  }
  for (int r = 0; r < 1000; ++r) {
    coder.code(0, r, individuals[r]);
  }
  coder.code(0, 1000, individuals[0]);  // a known phenotype still counts
  EXPECT_EQ(coder.distinct.phenotype_tally[0][0], 2);
  const test_support::Outcome outcome =
      run_capturing([&] { coder.code(0, 1001, individuals[1000]); });
  EXPECT_TRUE(test_support::stopped_with(outcome, StopCode::too_many_phenotypes));
  EXPECT_EQ(coder.distinct.distinct_count, 1000);
  EXPECT_TRUE(coder.sinks.empty());
}

// The look-up rule written out plainly: the first distinct phenotype whose
// typings equal the individual's system by system, in either order.
int first_match(const common::RecordTypings& t, int typing_count,
                const common::DistinctPhenotypes& distinct) {
  for (int d = 0; d < distinct.distinct_count; ++d) {
    const common::RecordTypings& known = distinct.distinct_typings[d];
    bool match = true;
    for (int k = 0; k < typing_count && match; k += 2) {
      match = (t[k] == known[k] && t[k + 1] == known[k + 1]) ||
              (t[k] == known[k + 1] && t[k + 1] == known[k]);
    }
    if (match) {
      return d;
    }
  }
  return -1;
}

TEST(CodeIndividual, IndexAgreesWithAScanOfTheList) {
  // Three systems, typings drawn from the allele names, blank, and a name
  // that differs only by a trailing blank, in random order.
  Coder coder({numbered_system(3), numbered_system(2), numbered_system(3)}, 2);
  const std::vector<std::string> choices = {"01", "02", "03", "", "01 ", "X"};
  std::uint32_t state = 12345;
  const auto draw = [&](int n) {
    state = state * 1103515245U + 12345U;
    return static_cast<int>((state >> 16) % static_cast<std::uint32_t>(n));
  };
  for (int attempt = 0; attempt < 2; ++attempt) {
    coder.distinct.reset(2);  // the index must notice and start over
    for (int r = 0; r < 400; ++r) {
      std::vector<std::string> texts;
      for (int k = 0; k < 6; ++k) {
        const int limit = (k / 2 == 1) ? 2 : 3;
        texts.push_back(choices[static_cast<std::size_t>(draw(6) < 4 ? draw(limit) : 3 + draw(3))]);
      }
      const common::RecordTypings t = typings(texts);
      const int expected = first_match(t, 6, coder.distinct);
      const int count_before = coder.distinct.distinct_count;
      const int population = draw(2);
      const int tally_before =
          expected >= 0 ? coder.distinct.phenotype_tally[population][expected] : 0;
      coder.code(population, r, texts);
      if (expected >= 0) {
        ASSERT_EQ(coder.distinct.distinct_count, count_before);
        ASSERT_EQ(coder.distinct.phenotype_tally[population][expected], tally_before + 1);
      } else {
        ASSERT_EQ(coder.distinct.distinct_count, count_before + 1);
        ASSERT_EQ(coder.distinct.distinct_typings.back(), t);
      }
    }
    EXPECT_GT(coder.distinct.distinct_count, 20);
  }
}

}  // namespace
