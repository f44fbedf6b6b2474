// The Arlequin reader: what a project may write (quoted and commented
// profiles, counts of identical individuals, one character an allele,
// sections passed over) and each project it refuses, with its message.

#include <gtest/gtest.h>

#include <array>
#include <sstream>
#include <string>
#include <vector>

#include "formats/formats_internal.h"
#include "support/capture.h"

namespace {

using test_support::error_of;

struct Refusal {
  std::string text;
  std::string error;
};
using Typings = std::vector<std::array<std::string, 2>>;

struct Read {
  genotypes::GenotypeData data;
  std::vector<std::string> notes;
};

Read read_arlequin(const std::string& text) {
  std::istringstream in(text);
  Read read;
  read.data = formats::detail::read_arlequin(
      {"x.arp", in, text}, {}, [&](const std::string& line) { read.notes.push_back(line); });
  return read;
}

constexpr std::string_view PROFILE = "[Profile]\nGenotypicData=1\n[Data]\n[[Samples]]\n";

TEST(ArlequinRead, ProfilesSamplesAndCountsAsProjectsWriteThem) {
  const Read read = read_arlequin(
      "# written by hand\n"
      "[Profile]\n"
      "  Title = \"Two # samples\"  # the title keeps its '#'\n"
      "  nbsamples=2\n"
      "  GENOTYPICDATA=1\n"
      "  GameticPhase=1\n"
      "  DataType=MICROSAT\n"
      "  MissingData=\"-\"\n"
      "[Data]\n"
      "[[Samples]]\n"
      "  SampleName='North shore'\n"
      "  SampleSize=3\n"
      "  SampleData={ a 2 0101 -  # two alike\n"
      "                  0102 12\n"
      "  b 1 0101 13\n"
      "      - 13 }\n"
      "[[Samples]]\n"
      "  SampleName=\"2\"\n"
      "  SampleData={\n"
      "  c 1 0103 12\n"
      "      0103 14\n"
      "  }\n"
      "[[Structure]]\n"
      "  Group={ \"North shore\"\n"
      "          \"2\" }\n");
  EXPECT_EQ(read.data.loci.size(), 2U);
  EXPECT_EQ(read.data.loci[1].name, "L2");
  const std::vector<std::string> ids = {"a", "a_2", "b", "c"};
  const std::vector<std::string> populations = {"North shore", "North shore", "North shore", "2"};
  const std::vector<Typings> typings = {{{"0101", "0102"}, {"", "12"}},
                                        {{"0101", "0102"}, {"", "12"}},
                                        {{"0101", ""}, {"13", "13"}},
                                        {{"0103", "0103"}, {"12", "14"}}};
  const std::vector<std::int64_t> lines = {13, 13, 15, 20};
  ASSERT_EQ(read.data.individuals.size(), ids.size());
  for (std::size_t i = 0; i < ids.size(); ++i) {
    EXPECT_EQ(read.data.individuals[i].id, ids[i]);
    EXPECT_EQ(read.data.individuals[i].population, populations[i]);
    EXPECT_EQ(read.data.individuals[i].typings, typings[i]);
    EXPECT_EQ(read.data.individuals[i].line, lines[i]);
  }
  EXPECT_TRUE(read.notes.empty());
}

TEST(ArlequinRead, NoSeparatorMakesEachCharacterAnAllele) {
  const Read read = read_arlequin(
      "[Profile]\nGenotypicData=1\nLocusSeparator=NONE\n[[Samples]]\nSampleName=\"p\"\n"
      "SampleData={\ni 1 AB?\nA?C\n}\n");
  EXPECT_EQ(read.data.individuals.at(0).typings, (Typings{{"A", "A"}, {"B", ""}, {"", "C"}}));
}

TEST(ArlequinRead, SizesThatDisagreeAreWarnedOf) {
  const Read read = read_arlequin(
      std::string(PROFILE) + "SampleName=\"p\"\nSampleSize=2\nSampleData={\ni 1 1 2\n3 4\n}\n");
  EXPECT_EQ(read.notes,
            (std::vector<std::string>{"warning: x.arp, line 6: sample \"p\": SampleSize=2 but its "
                                      "data hold 1 individuals; the individuals are read"}));
  const Read counted = read_arlequin(
      "[Profile]\nNbSamples=2\nGenotypicData=1\n[[Samples]]\nSampleName=p\nSampleData={\n"
      "i 1 1 2\n3 4\n}\n");
  EXPECT_EQ(counted.notes,
            (std::vector<std::string>{"warning: x.arp, line 2: NbSamples=2 but the project holds 1 "
                                      "samples; every sample is read"}));
}

TEST(ArlequinRead, RefusesWhatIsNoProjectOfGenotypes) {
  const std::string p(PROFILE);                                  // lines 1-4
  const std::string s = p + "SampleName=\"p\"\nSampleData={\n";  // data from line 7
  const std::vector<Refusal> cases = {
      {"", "x.arp:0: the file has no [Profile] section; is it an Arlequin project?"},
      {"Title=x\n",
       "x.arp:1: text before the [Profile] section; an Arlequin project starts with [Profile]"},
      {"[Data]\n",
       "x.arp:1: the samples come before any [Profile]; an Arlequin project starts with a "
       "[Profile] section (GenotypicData=1, DataType, MissingData)"},
      {"[Profile]\n[[Samples]]\n",
       "x.arp:2: the [Profile] does not say GenotypicData=1; the samples are read as genotypes, "
       "two lines per individual, only when the profile says so"},
      {"[Profile]\nGenotypicData=0\n",
       "x.arp:2: GenotypicData=0: the samples are haplotypes, one allele per locus; this program "
       "reads genotypes, two alleles per locus (GenotypicData=1)"},
      {"[Profile]\nDataType=DNA\n",
       "x.arp:2: DataType=DNA: only STANDARD and MICROSAT data are read (alleles as names), not "
       "DNA, RFLP or FREQUENCY data"},
      {"[Profile]\nFrequencyData=1\n",
       "x.arp:2: FrequencyData=1: the samples are frequencies, not individuals; the tests need "
       "individuals"},
      {"[Profile]\nRecessiveData=1\n",
       "x.arp:2: RecessiveData=1: a recessive allele hides in its heterozygotes; the tests need "
       "codominant typings"},
      {"[Profile]\nLocusSeparator=';'\n",
       "x.arp:2: LocusSeparator=;: the separators are WHITESPACE, TAB and NONE"},
      {"[Profile]\nTitle=\"open\n",
       "x.arp:2: the value of \"Title\" opens a quote that does not "
       "close on its line"},
      {p + "SampleData={\n",
       "x.arp:5: the SampleData has no SampleName before it; the name is the population's"},
      {p + "SampleName=a\nSampleName=b\n", "x.arp:5: the sample \"a\" has no SampleData={ ... }"},
      {p + "SampleName=a\nSampleData=\n",
       "x.arp:6: SampleData= is followed by '{', the sample's individuals and a closing '}'"},
      {s + "i 1 1 2\n3 4\n",
       "x.arp:6: the SampleData of sample \"p\" opened here is not closed with '}' before the end "
       "of the file"},
      {s + "i 1 1 2\n3 4\n[[Structure]]\n",
       "x.arp:9: the SampleData opened at line 6 is not closed with '}' before this section"},
      {s + "i 1 1 2\n}\n",
       "x.arp:8: the sample data end after the first line of individual \"i\" (line 7); each "
       "individual takes two lines, the second with its second alleles"},
      {s + "i 1 1 2\n3\n}\n",
       "x.arp:8: the second line of individual \"i\" has 1 alleles and its first line (line 7) 2; "
       "each line holds one allele of every locus"},
      {s + "i 1 1 2\n3 4\nj 1 1\n",
       "x.arp:9: individual \"j\" has 1 alleles on its first line; the first individual has 2, "
       "one for each locus"},
      {s + "i 0 1 2\n",
       "x.arp:7: the count of individual \"i\" is \"0\"; it is a whole number "
       "from 1 to 1000000 (how many individuals have these typings)"},
      {s + "i 1\n",
       "x.arp:7: an individual's first line is its id, its count and the first "
       "allele of each locus; this line has fewer than three fields"},
      {s + "i 1 1 2\n3 4 } x\n",
       "x.arp:8: text after the '}' that closes the sample data; put it on a line of its own"},
      {s + "}\n",
       "x.arp:0: the project holds no individuals ([[Samples]] with SampleData={ ... })"},
  };
  for (const Refusal& c : cases) {
    EXPECT_EQ(error_of([&] { static_cast<void>(read_arlequin(c.text)); }), c.error) << c.text;
  }
}

TEST(ArlequinDetect, KnowsAProjectByItsProfileSection) {
  const std::vector<std::pair<std::string_view, bool>> heads = {
      {"[Profile]\n", true},
      {"\xEF\xBB\xBF# comment\r\n\r\n  [profile]  # here\r\n", true},
      {"Title=x\n[Profile]\n", false},
      {"[Data]\n", false},
      {"", false},
  };
  for (const auto& [head, claimed] : heads) {
    EXPECT_EQ(formats::detail::looks_like_arlequin(head), claimed) << head;
  }
}

}  // namespace
