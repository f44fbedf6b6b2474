// The Fstat reader: the header's digits, missing and partial typings,
// population numbers, detection, and every refusal with its message.

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

std::vector<std::string> read_fstat(const std::string& text) {
  return test_support::model_lines(
      test_support::read_text(formats::detail::read_fstat, "f.dat", text));
}

TEST(FstatRead, DigitsMissingPartialAndPopulationNumbers) {
  const std::vector<std::pair<std::string, std::vector<std::string>>> cases = {
      {"2 2 12 2\n  Locus A \nB\n01\t0512 0\n2 0005 1200\n02 0000 0101\n",
       {"Locus A B", "4 1  05/12 -/-", "5 2  -/05 12/-", "6 2  -/- 01/01"}},
      {"1 1 9 1\r\nL\r\n\r\n1 19\r\n", {"L", "4 1  1/9"}},
      {" 3  1  999  3 \nL\n3 101099\n", {"L", "3 3  101/099"}},
  };
  for (const auto& [text, model] : cases) {
    SCOPED_TRACE(text);
    EXPECT_EQ(read_fstat(text), model);
  }
}

TEST(FstatRead, RefusalsNameTheLineAndWhatIsWrong) {
  const std::string header = "2 2 150 3\nA\nB\n";
  const std::vector<Refusal> cases = {
      {"", "f.dat:0: the file is empty; an Fstat file begins with the line \"np nl nu ndig\""},
      {"2 2 150\nA\n",
       "f.dat:1: the first line \"2 2 150\" is not four positive whole numbers: the"
       " populations, the loci, the highest allele number and the digits of an"
       " allele (np nl nu ndig)"},
      {"2 0 150 3\n",
       "f.dat:1: the first line \"2 0 150 3\" is not four positive whole numbers: the"
       " populations, the loci, the highest allele number and the digits of an"
       " allele (np nl nu ndig)"},
      {"2 2 150 4\n", "f.dat:1: alleles of 4 digits: Fstat codes an allele with 1, 2 or 3 digits"},
      {"2 3 150 3\nA\nB\n", "f.dat:3: the file ends after 2 locus names; the first line gives 3"},
      {"2 3 150 3\nA\nB\n1 101101 101101 101101\n",
       "f.dat:4: this line is an individual, but the first line gives 3 loci and only 2 locus names"
       " stand before it"},
      {header, "f.dat:3: the file has no individuals after its 2 locus names"},
      {header + "1 101101\n",
       "f.dat:4: the line has 2 fields; an individual is its population"
       " number and one genotype for each of the 2 loci"},
      {header + "3 101101 101101\n",
       "f.dat:4: the population number \"3\" is not one of 1 to 2,"
       " the populations the first line gives"},
      {header + "0 101101 101101\n",
       "f.dat:4: the population number \"0\" is not one of 1 to 2,"
       " the populations the first line gives"},
      {header + "1 101101 10101\n",
       "f.dat:4: the genotype \"10101\" of locus \"B\" is not 6"
       " digits: two alleles of the first line's 3 digits (0: missing)"},
      {header + "1 101101 00\n",
       "f.dat:4: the genotype \"00\" of locus \"B\" is not 6 digits: two"
       " alleles of the first line's 3 digits (0: missing)"},
      {header + "1 101101 10-101\n",
       "f.dat:4: the genotype \"10-101\" of locus \"B\" is not 6"
       " digits: two alleles of the first line's 3 digits (0: missing)"},
      {header + "1 151101 101101\n",
       "f.dat:4: the allele \"151\" of locus \"A\" is above 150, the"
       " highest allele number the first line gives"},
  };
  for (const Refusal& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(test_support::error_of([&] { static_cast<void>(read_fstat(c.text)); }), c.message);
  }
}

TEST(FstatDetect, TheFirstLineIsFourWholeNumbers) {
  const std::vector<std::pair<std::string, bool>> cases = {
      {"\n 3 4 999 3\nL1\n", true}, {"3\t4\t99\t2\r\n", true},
      {"3 4 999\n", false},         {"3 4 999 3 1\n", false},
      {"3 4 99x 3\n", false},       {"  4   number of loci\n  3\n", false},
  };
  for (const auto& [head, fstat] : cases) {
    SCOPED_TRACE(head);
    EXPECT_EQ(formats::detail::looks_like_fstat(head), fstat);
  }
}

}  // namespace
