// The Genetix reader: comments on the count lines, the ways files write an
// individual's name, missing and partial typings, detection, and every
// refusal with its message.

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "formats/formats_internal.h"
#include "support/capture.h"
#include "support/format_text.h"

namespace {

// A file and the message that refuses it, "file:line: what".
struct Refusal {
  std::string text;
  std::string message;
};

std::vector<std::string> read_genetix(const std::string& text) {
  return test_support::model_lines(
      test_support::read_text(formats::detail::read_genetix, "x.gtx", text));
}

TEST(GenetixRead, NamesOfTenCharactersOrBlankSeparatedAndMissingAlleles) {
  const std::string text =
      "  2   number of loci\n  3   number of populations\nA\n  2  101 102\n B \n  1\t201\n"
      " pop one \n  2\nind1       101102 201201\nind 2      000102 000000\n"
      "P2\n3 individuals\nabcdefghij101101 201201\nindividual12 102102 000201\nx 101101\t201201\n"
      "P3\n0\n";
  EXPECT_EQ(
      read_genetix(text),
      (std::vector<std::string>{"A B", "9 pop one ind1 101/102 201/201",
                                "10 pop one ind 2 -/102 -/-", "13 P2 abcdefghij 101/101 201/201",
                                "14 P2 individual12 102/102 -/201", "15 P2 x 101/101 201/201"}));
}

TEST(GenetixRead, RefusalsNameTheLineAndWhatIsWrong) {
  const std::string loci = "1\n2\nA\n2 101 102\n";
  const std::vector<Refusal> cases = {
      {"", "x.gtx:0: the file ends before the number of loci"},
      {"loci 2\n",
       "x.gtx:1: the line should begin with the number of loci, a whole number from 1,"
       " but begins with \"loci\""},
      {"1\n0\n",
       "x.gtx:2: the line should begin with the number of populations, a whole number"
       " from 1, but begins with \"0\""},
      {"1\n1\nA\n", "x.gtx:3: the file ends before the alleles of locus \"A\""},
      {"1\n1\nA\n3 101 102\n",
       "x.gtx:4: the allele line of locus \"A\" is its number of alleles"
       " then as many allele codes; it holds \"3\" then 2 codes"},
      {"1\n1\nA\n2 101 1020\n", "x.gtx:4: the allele code \"1020\" of locus \"A\" is not 3 digits"},
      {loci + "P\n1\ni 101102\nP\n1\nj 101101\n",
       "x.gtx:8: the population name \"P\" stands at line 5 too; each population needs its own"
       " name"},
      {loci + "P\n2\ni 101102\nQ\n1\n",
       "x.gtx:8: the line is no individual of population \"P\" (line 5): a name in its first 10"
       " characters, then a genotype of 6 digits for each of the 1 loci; is the population's"
       " individual count, 2, right?"},
      {loci + "P\n1\ni1 101102 101101\n",
       "x.gtx:7: the line is no individual of population \"P\" (line 5): a name in its first 10"
       " characters, then a genotype of 6 digits for each of the 1 loci; is the population's"
       " individual count, 1, right?"},
      {loci + "P\n1\ni 101102\nQ\nx\n",
       "x.gtx:9: the line should begin with the individual count of population \"Q\" (line 8), but"
       " begins with \"x\"; is the count of the population before it right?"},
      {loci + "P\n1\ni 101102\nQ\n1\n",
       "x.gtx:9: the file ends before individual 1 of the 1 of population \"Q\" (line 8)"},
      {loci + "P\n1\ni 10110\n",
       "x.gtx:7: the genotype \"10110\" of locus \"A\" is not 6 digits:"
       " two alleles of 3 digits (000: missing)"},
      {loci + "P\n1\nindividual 10110x\n",
       "x.gtx:7: the genotype \"10110x\" of locus \"A\" is not 6 digits: two alleles of 3 digits"
       " (000: missing)"},
      {loci + "P\n1\ni 101103\n",
       "x.gtx:7: the allele \"103\" of locus \"A\" is not among the"
       " alleles its allele line (line 4) lists"},
      {loci + "P\n1\ni 101102\nQ\n0\nextra\n",
       "x.gtx:10: the file goes on after the 2 populations the second line gives; is a count of"
       " the file right?"},
  };
  for (const Refusal& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(test_support::error_of([&] { static_cast<void>(read_genetix(c.text)); }), c.message);
  }
}

TEST(GenetixDetect, CountsANameThenTheLocusAlleleLine) {
  const std::vector<std::pair<std::string, bool>> cases = {
      {"  4   number of loci\n  3   number of populations\nL1\n  3   101 103 105\n", true},
      {"4\r\n\r\n3\r\nL1\r\n0\r\n", true},
      {"4\n3\nL1\n3 101 103\n", false},
      {"4\n3\nL1\n2 101 1030\n", false},
      {"4\n3 2\nL1\n2 101 103\n", false},
      {"3 4 999 3\nL1\nL2\n1 101101 101101 101101 101101\n", false},
      {"title\nL1\nPop\ni , 101101\n", false},
  };
  for (const auto& [head, genetix] : cases) {
    SCOPED_TRACE(head);
    EXPECT_EQ(formats::detail::looks_like_genetix(head), genetix);
  }
}

}  // namespace
