// The Genepop reader: the ways files write loci, Pop lines and genotypes, the
// two namings of populations, detection, and every refusal with its message.

#include <gtest/gtest.h>

#include <string>
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

using formats::PopulationNames;

struct GenepopCase {
  const char* what;
  std::string text;
  PopulationNames names;
  std::vector<std::string> model;  // test_support::model_lines
};

std::vector<std::string> read_genepop(const std::string& text, PopulationNames names) {
  formats::ReadOptions options;
  options.population_names = names;
  return test_support::model_lines(
      test_support::read_text(formats::detail::read_genepop, "g.gen", text, options));
}

TEST(GenepopRead, LociPopLinesGenotypesAndPopulationNames) {
  const std::vector<GenepopCase> cases = {
      {"loci one a line and comma-separated, Pop in any case, blanks and tabs",
       "title, with a comma , 0102\nA, B\nC\n\t pOP \t\nx1 ,0102\t0202  101103\n"
       "x2\t,  0000 0200 000000\nPOP\n y3 , 0101 0303 102102\n",
       PopulationNames::numbers,
       {"A B C", "5 1 x1 01/02 02/02 101/103", "6 1 x2 -/- 02/- -/-",
        "8 2 y3 01/01 03/03 102/102"}},
      {"genotypes continued on the next lines; CR LF; a blank title",
       "\r\nA\r\nB,C\r\nPop\r\nx1 , 0101\r\n0102\r\n  0103\r\nx2, 0202 0202 0202\r\n",
       PopulationNames::numbers,
       {"A B C", "5 1 x1 01/01 01/02 01/03", "8 1 x2 02/02 02/02 02/02"}},
      {"a trailing comma names nothing; partial typings either side",
       "t\nA,\nB\nPop\ni,0001 1000\n",
       PopulationNames::numbers,
       {"A B", "5 1 i -/01 10/-"}},
      {"populations named after their last individuals",
       "t\nA\nPop\na1, 0101\na2 , 0102\npop\nb1 ,0202\n",
       PopulationNames::last,
       {"A", "4 a2 a1 01/01", "5 a2 a2 01/02", "7 b1 b1 02/02"}},
  };
  for (const GenepopCase& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(read_genepop(c.text, c.names), c.model);
  }
}

TEST(GenepopRead, RefusalsNameTheLineAndWhatIsWrong) {
  const std::vector<Refusal> cases = {
      {"",
       "g.gen:0: the file is empty; a Genepop file is a title line, the locus names, then a Pop"
       " line before each population"},
      {"t\nA\nB\n",
       "g.gen:0: the file has no Pop line; a line \"Pop\" ends the locus names and opens"
       " each population"},
      {"t\nPop\ni, 0101\n",
       "g.gen:2: no locus names stand between the title line and the first Pop line"},
      {"t\nA\nPop\nPop\ni, 0101\n",
       "g.gen:3: population 1 has no individuals: its Pop line is followed by another Pop line;"
       " remove the Pop line or add the population's individuals"},
      {"t\nA\nPop\ni, 0101\nPop\n",
       "g.gen:5: population 2 has no individuals: its Pop line is followed by the end of the file;"
       " remove the Pop line or add the population's individuals"},
      {"t\nA\nPop\ni, 0101\nPop 2\nj, 0101\n",
       "g.gen:5: an individual is written \"name , genotypes\" and this line has no comma; a Pop "
       "line"
       " holds the word Pop alone"},
      {"t\nA\nPop\ni 0101\n",
       "g.gen:4: an individual is written \"name , genotypes\" and this line has no comma"},
      {"t\nA\nPop\ni, 01O1\n",
       "g.gen:4: the genotype \"01O1\" of locus \"A\" is not all digits; a genotype is two alleles "
       "of"
       " 2 or 3 digits each, such as 0102 or 101102 (00 or 000: missing)"},
      {"t\nA\nPop\ni, 101\n",
       "g.gen:4: the genotype \"101\" of locus \"A\" is one allele (haploid data); only diploid"
       " genotypes are read: a genotype is two alleles of 2 or 3 digits each, such as 0102 or"
       " 101102"},
      {"t\nA\nPop\ni, 10110\n",
       "g.gen:4: the genotype \"10110\" of locus \"A\" has 5 digits; a"
       " diploid genotype has 4 (two alleles of 2 digits) or 6 (two of 3)"},
      {"t\nA\nPop\ni, 000000\nj, 0101\nk, 101101\n",
       "g.gen:6: locus \"A\" has alleles of 3 digits here but of 2 at line 5; a locus codes all its"
       " alleles with the same number of digits"},
      {"t\nA\nB\nPop\ni, 0101\n0101 0101\n",
       "g.gen:6: the individual \"i\" has more genotypes than the 2 loci"},
      {"t\nA B\nPop\ni, 0101 0101\n",
       "g.gen:4: the individual \"i\" has more genotypes than the 1 loci; is the locus name \"A B\""
       " several names? Names stand one a line or are separated by commas"},
      {"t\nA\nPop 1\ni, 0101\n",
       "g.gen:3: the file has no Pop line, and this line begins with Pop"
       " but goes on: a Pop line holds the word Pop alone"},
      {"t\nA\nB\nPop\ni, 0101\nj, 0101 0101\n",
       "g.gen:5: the individual \"i\" has 1 genotypes for the 2 loci; its genotypes end where the"
       " next individual, Pop line or the end of the file begins"},
  };
  for (const Refusal& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(test_support::error_of([&] { static_cast<void>(read_genepop(c.text, {})); }),
              c.message);
  }
}

TEST(GenepopRead, PopulationsNamedAfterTheirLastIndividualsMustDiffer) {
  const auto error = [](const std::string& text) {
    return test_support::error_of(
        [&] { static_cast<void>(read_genepop(text, PopulationNames::last)); });
  };
  EXPECT_EQ(error("t\nA\nPop\na, 0101\nx, 0101\nPop\nx , 0101\n"),
            "g.gen:7: populations 1 and 2 would both be named \"x\" after their last individuals;"
            " rename one, or name the populations 1, 2, ... (--population-names numbers)");
  EXPECT_EQ(error("t\nA\nPop\n , 0101\n"),
            "g.gen:4: the last individual of population 1 has no name to name the population after;"
            " name it, or name the populations 1, 2, ... (--population-names numbers)");
}

TEST(GenepopDetect, TitleLociPopThenAnIndividual) {
  const std::vector<std::pair<std::string, bool>> cases = {
      {"any title\nL1, L2\nL3\nPOP\nind 1 , 0101 0202 0303\n", true},
      {"\xEF\xBB\xBFtitle\r\nL1\r\n pop \r\ni,101102\r\n", true},
      {"title\nL1\nind, 0101\nPop\nj, 0101\n", false},  // an individual before any Pop
      {"title\nL1\nPop\nPop\n", false},
      {"title\nL1\nL2\n", false},
      {"3 2 99 2\nL1\nL2\n1 0101 0102\n", false},
      {"population,L1_1,L1_2\n1,101,102\n", false},
  };
  for (const auto& [head, genepop] : cases) {
    SCOPED_TRACE(head);
    EXPECT_EQ(formats::detail::looks_like_genepop(head), genepop);
  }
}

}  // namespace
