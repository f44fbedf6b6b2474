// The Structure reader: how the rows and the columns before the loci are
// told from the file or from the options, and each file it refuses.

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "formats/formats_internal.h"
#include "support/capture.h"

namespace {

using test_support::error_of;
using Typings = std::vector<std::array<std::string, 2>>;

genotypes::GenotypeData read_structure(const std::string& text, int rows = 0, int columns = -1) {
  std::istringstream in(text);
  formats::ReadOptions options;
  options.structure_rows = rows;
  options.structure_columns = columns;
  return formats::detail::read_structure({"x.str", in, text}, options, {});
}

struct Refusal {
  std::string text;
  int rows;
  int columns;
  std::string error;
};

struct Layout {
  const char* name;
  std::string text;
  int rows;
  int columns;
  std::int64_t second_line;  // where b stands
};

// Every layout holds the same two individuals: a of population 1 with 101/102
// and 7/-9, b of population 2 with 0103/101 and 8/9.
TEST(StructureRead, EveryLayoutGivesTheSameIndividuals) {
  const std::vector<Layout> layouts = {
      {"two rows told by the labels, columns by the marker row",
       "A B\na 1 101 7\na 1 102 -9\nb 2 0103 8\nb 2 101 9\n", 0, -1, 4},
      {"one row, a flag column, tabs", "\tA\tB\na\t1\t0\t101\t102\t7\t-9\nb 2 1 0103 101 8 9\n", 0,
       -1, 3},
      {"one row by option although the labels repeat", "A B\na 1 101 102 7 -9\na 2 0103 101 8 9\n",
       1, -1, 3},
      {"two rows without markers, columns by option",
       "a 1 x 101 7\na 1 x 102 -9\nb 2 y 0103 8\nb 2 y 101 9\n", 0, 3, 3},
  };
  for (const Layout& layout : layouts) {
    SCOPED_TRACE(layout.name);
    const genotypes::GenotypeData data = read_structure(layout.text, layout.rows, layout.columns);
    ASSERT_EQ(data.individuals.size(), 2U);
    EXPECT_EQ(data.loci.at(1).name, layout.columns == 3 ? "L2" : "B");
    EXPECT_EQ(data.individuals[0].id, "a");
    EXPECT_EQ(data.individuals[0].population, "1");
    EXPECT_EQ(data.individuals[1].population, "2");
    EXPECT_EQ(data.individuals[0].typings, (Typings{{"101", "102"}, {"7", ""}}));
    EXPECT_EQ(data.individuals[1].typings, (Typings{{"0103", "101"}, {"8", "9"}}));
    EXPECT_EQ(data.individuals[1].line, layout.second_line);
  }
}

TEST(StructureRead, RefusesRowsItCannotRead) {
  const std::vector<Refusal> cases = {
      {"", 0, -1, "x.str:0: the file holds no individuals"},
      {"a 1 1 2\n", 3, -1,
       "--structure-rows:0: an individual takes 1 or 2 rows of a Structure file"},
      {"a 1 1 2\n", 0, 1,
       "--structure-columns:0: the columns before the loci hold the label and then the "
       "population, which the tests need: at least 2"},
      {"a 1 1 2 3 4\nb 1 1 2 3 4\n", 0, -1,
       "x.str:1: the file has no row of marker names, so the columns before the loci cannot be "
       "told; give --structure-columns N (the label, the population, then any other columns) "
       "and, if the rows do not show it, --structure-rows 1 or 2"},
      {"A\na 1 1 2 3\nb 1 1 2\n", 0, -1,
       "x.str:3: the row has 4 fields and the first row of individuals (line 2) 5; every row of "
       "individuals has as many"},
      {"A B C\na 1 1 2 3 4\nb 1 1 2 3 4\n", 0, -1,
       "x.str:2: the marker row names 3 loci, which in one row per individual (two columns a "
       "locus) leave 0 of the row's 6 fields for the label and the population; give "
       "--structure-rows"},
      {"a 1 1 2 3\nb 1 1 2 3\n", 0, 2,
       "x.str:1: a row of 5 fields with 2 columns before the loci leaves an odd number of "
       "allele columns, but with one row an individual each locus takes two (check "
       "--structure-columns and --structure-rows)"},
      {"a 1\nb 1\n", 0, 2,
       "x.str:1: a row of 2 fields with 2 columns before the loci leaves no allele columns "
       "(check --structure-columns and --structure-rows)"},
      {"A B\na 1 1 2 3 4\n", 0, 4,
       "x.str:2: the marker row names 2 loci and the 4 columns before the loci leave room for 1 "
       "(check --structure-columns and --structure-rows)"},
      {"A\na 1 1\nb 1 2\n", 2, -1,
       "x.str:3: column 1 (the label) is \"b\" but \"a\" on line 2; the two rows of an "
       "individual begin alike (two rows per individual: --structure-rows)"},
      {"A\na 1 1\na 2 2\n", 0, -1,
       "x.str:3: column 2 is \"2\" but \"1\" on line 2; the two rows of an individual begin "
       "alike (two rows per individual: --structure-rows)"},
      {"A\na 1 1\na 1 2\nb 1 1\n", 2, -1,
       "x.str:4: the last individual has one row; with two rows per individual each takes two"},
      {"A\na 1 1 x\n", 0, -1,
       "x.str:2: column 4 holds \"x\", which is no allele; Structure alleles are whole numbers, "
       "-9 a missing one"},
      {"A\na 1 -1 2\n", 0, -1,
       "x.str:2: column 3 holds \"-1\"; a negative allele is -9, a missing one, and no other"},
  };
  for (const Refusal& c : cases) {
    EXPECT_EQ(error_of([&] { static_cast<void>(read_structure(c.text, c.rows, c.columns)); }),
              c.error)
        << c.text;
  }
}

TEST(StructureDetect, KnowsRowsOfWholeNumbersAfterTheLabel) {
  const std::vector<std::pair<std::string_view, bool>> heads = {
      {"L1 L2\np1 1 101 102 -9 -9\np2 1 101 103 7 8\n", true},
      {"p1\t1\t101\t102\r\np2\t1\t101\t103\r\n", true},
      {"p1 1 101 102\n", false},                             // one row is no evidence
      {"p1 1 101 -2\np2 1 101 103\n", false},                // -9 is the one negative allele
      {"p1 Oslo 101 102\np2 Oslo 101 103\n", false},         // a population name, not a number
      {"3 4 3 3\nL1\nL2\nL3\nL4\n1 101102 0 0 0\n", false},  // Fstat's counts and loci
      {"population,id,L1_1,L1_2\n1,a,101,102\n", false},
  };
  for (const auto& [head, claimed] : heads) {
    EXPECT_EQ(formats::detail::looks_like_structure(head), claimed) << head;
  }
}

}  // namespace
