// The PyPop reader: the population header, the columns of the sample
// header, missing alleles, and each file it refuses.

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

genotypes::GenotypeData read_pypop(const std::string& text) {
  std::istringstream in(text);
  return formats::detail::read_pypop({"x.pop", in, text}, {}, {});
}

struct Population {
  const char* name;
  std::string text;
  std::vector<std::string> populations;
  std::vector<std::string> ids;
};

TEST(PypopRead, ThePopulationFromItsColumnElseFromThePopulationHeader) {
  const std::string rows = "1\tx\t01:01\t****\t07\t07\n2\ty\t02:01\t\t08\t0702\n";
  const std::vector<Population> cases = {
      {"a population column, ids by the table's rule",
       "Pop\tSample\tA_1\tA_2\tdrb1_1\tdrb1_2\n" + rows,
       {"1", "2"},
       {"x", "y"}},
      {"PyPop's own name of the population column, other columns passed over",
       "labcode\tmethod\nUSAFEL\tSSOP\npopulat\tother\tA_1\tA_2\tdrb1_1\tdrb1_2\n" + rows,
       {"1", "2"},
       {"", ""}},
      {"the labcode of the population header",
       "method\tlabcode\nSSOP\tUSAFEL\nlab\tid\tA_1\tA_2\tdrb1_1\tdrb1_2\n" + rows,
       {"USAFEL", "USAFEL"},
       {"x", "y"}},
      {"the first value of the population header",
       "ethnic\tmethod\nGuatemalan\tSSOP\ncode\tid\tA_1\tA_2\tdrb1_1\tdrb1_2\n" + rows,
       {"Guatemalan", "Guatemalan"},
       {"x", "y"}},
  };
  for (const Population& c : cases) {
    SCOPED_TRACE(c.name);
    const genotypes::GenotypeData data = read_pypop(c.text);
    ASSERT_EQ(data.loci.size(), 2U);
    EXPECT_EQ(data.loci[1].name, "drb1");
    ASSERT_EQ(data.individuals.size(), 2U);
    for (std::size_t i = 0; i < 2; ++i) {
      EXPECT_EQ(data.individuals[i].population, c.populations[i]);
      EXPECT_EQ(data.individuals[i].id, c.ids[i]);
    }
    EXPECT_EQ(data.individuals[0].typings, (Typings{{"01:01", ""}, {"07", "07"}}));
    EXPECT_EQ(data.individuals[1].typings, (Typings{{"02:01", ""}, {"08", "0702"}}));
    EXPECT_EQ(data.individuals[1].line, data.individuals[0].line + 1);
  }
}

TEST(PypopRead, RefusesWhatItCannotRead) {
  const std::vector<Refusal> cases = {
      {"", "x.pop:0: the file ends before its sample header (population, id, A_1, A_2, ...)"},
      {"pop\tid\tA\tB\n1\tx\t1\t2\n3\t4\t5\t6\n",
       "x.pop:3: neither line 1 nor this line is a sample header naming the loci by column "
       "pairs such as A_1, A_2 (the sample header is the first line, or the third after a "
       "population header's names and values)"},
      {"labcode\nX\n",
       "x.pop:2: the file ends before its sample header (population, id, A_1, "
       "A_2, ...)"},
      {"pop\tA_1\tA_2\tB_1\n",
       "x.pop:1: column 4 (\"B_1\") has no column ending _2 after it; a locus takes two adjacent "
       "columns such as A_1, A_2"},
      {"pop\tA_2\tA_1\tA_2\n",
       "x.pop:1: column 2 (\"A_2\") has no column ending _1 before it; a locus takes two "
       "adjacent columns such as A_1, A_2"},
      {"id\tA_1\tA_2\n",
       "x.pop:1: the sample header has no population column (named "
       "population or pop) and the file has no population header naming one "
       "(its labcode, or first value, on the line before the sample header); "
       "add a column named population"},
      {"labcode\tmethod\n\tSSOP\nid\tA_1\tA_2\n",
       "x.pop:3: the sample header has no population column (named population or pop) and the "
       "file has no population header naming one (its labcode, or first value, on the line "
       "before the sample header); add a column named population"},
      {"pop\tA_1\tA_2\n", "x.pop:1: the sample header has no rows of individuals"},
      {"pop\tA_1\tA_2\n1\t01\n",
       "x.pop:2: the row has 2 fields and the sample header (line 1) 3; every row has one field "
       "for each column"},
  };
  for (const Refusal& c : cases) {
    EXPECT_EQ(error_of([&] { static_cast<void>(read_pypop(c.text)); }), c.error) << c.text;
  }
}

TEST(PypopDetect, KnowsTheSampleHeaderAfterAPopulationHeaderOrWithMissingAlleles) {
  const std::vector<std::pair<std::string_view, bool>> heads = {
      {"labcode\tmethod\nUSAFEL\tSSOP\npopulat\tid\ta_1\ta_2\n", true},
      {"pop\tid\tA_1\tA_2\r\n1\tx\t01\t****\r\n", true},
      {"pop\tid\tA_1\tA_2\n1\tx\t01\t02\n", false},  // a table, as far as can be told
      {"pop,id,A_1,A_2\n1,x,01,****\n", false},
      {"labcode\nUSAFEL\npop\tid\tA_1\tA_2\n", false},
  };
  for (const auto& [head, claimed] : heads) {
    EXPECT_EQ(formats::detail::looks_like_pypop(head), claimed) << head;
  }
}

// The CSV/TSV table claims a PyPop file too; its extension settles it.
TEST(PypopDetect, ThePopExtensionBreaksTheTieWithTheTable) {
  const std::string_view head = "population\tid\tA_1\tA_2\n1\tx\t01\t****\n";
  EXPECT_EQ(formats::detect_format("x.pop", head).name, "pypop");
  EXPECT_EQ(formats::detect_format("x.tsv", head).name, "table");
}

}  // namespace
