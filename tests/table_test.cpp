#include "table/table.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <functional>
#include <optional>
#include <set>
#include <sstream>
#include <streambuf>
#include <string>
#include <tuple>
#include <vector>

#include "common/stop.h"
#include "input/input.h"
#include "layout/layout.h"
#include "support/capture.h"
#include "support/classic_files.h"
#include "table/table_internal.h"

namespace {

using Cells = std::vector<std::array<std::string, 2>>;

genotypes::GenotypeData read_text(const std::string& text, char delimiter = ',',
                                  table::TableOptions options = {}) {
  std::istringstream in(text);
  options.delimiter = delimiter;
  return table::read_genotype_table(in, "t.csv", options);
}

using test_support::error_of;

TEST(TableRead, FieldsAndLines) {
  struct Case {
    std::string text;
    char delimiter;
    std::string population;
    Cells typings;
    int line;
  };
  const std::string longest(genotypes::MAX_LINE - 4, 'y');  // "P,x," before it
  const std::vector<Case> cases = {
      {"pop,A_1,A_2\nP1,x,y\n", ',', "P1", {{"x", "y"}}, 2},
      {"pop\tA\tA\nP 1\t x \ty\n", '\t', "P 1", {{"x", "y"}}, 2},
      {"pop;A.a1;A.a2\nP;x;y", ';', "P", {{"x", "y"}}, 2},
      // Quotes: the delimiter and a doubled quote inside, blanks around both sides.
      {"pop,A1,A2\n\"P, east\", \"a\"\"b\" , \" c \"\n", ',', "P, east", {{"a\"b", "c"}}, 2},
      {"\xEF\xBB\xBFpop,A_1,A_2\r\nP,x,y\r\n", ',', "P", {{"x", "y"}}, 2},
      // Blank lines are skipped; line numbers still count them.
      {"pop,A_1,A_2\n\n  \t\nP,x,y\n\n", ',', "P", {{"x", "y"}}, 4},
      // Missing tokens and empty cells.
      {"pop,A_1,A_2,B_1,B_2\nP,NA,,****, x\n", ',', "P", {{"", ""}, {"", "x"}}, 2},
      {"pop,A_1,A_2,B_1,B_2\nP,0,-,?,\"\"\n", ',', "P", {{"", ""}, {"", ""}}, 2},
      // Allele names of any length and bytes as they are, up to a line of the limit.
      {"pop,A,A\nP,02:01:01:01xxx,\xC3\xA9\n", ',', "P", {{"02:01:01:01xxx", "\xC3\xA9"}}, 2},
      {"pop,A,A\r\nP,x," + longest + "\r\n", ',', "P", {{"x", longest}}, 2},
      // One column a locus: both alleles in a cell, either half possibly missing.
      {"pop,A,B,B\nP,136/143,x,y\n", ',', "P", {{"136", "143"}, {"x", "y"}}, 2},
      {"pop\tA\nP\tA*01:01 | A*02:01\n", '\t', "P", {{"A*01:01", "A*02:01"}}, 2},
      {"pop,A\nP,NA/143\n", ',', "P", {{"", "143"}}, 2},
      {"pop,A,C\nP,1/2,3|4\n", ',', "P", {{"1", "2"}, {"3", "4"}}, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text.substr(0, 80));
    const genotypes::GenotypeData t = read_text(c.text, c.delimiter);
    ASSERT_EQ(t.individuals.size(), 1U);
    EXPECT_EQ(t.individuals[0].population, c.population);
    EXPECT_EQ(t.individuals[0].typings, c.typings);
    EXPECT_EQ(t.individuals[0].line, c.line);
    EXPECT_EQ(t.loci[0].name, "A");
  }
}

TEST(TableRead, MissingTokensReplaced) {
  table::TableOptions options;
  options.missing_tokens = table::parse_missing_tokens(" x, NA ,");
  EXPECT_EQ(options.missing_tokens, (std::vector<std::string>{"x", "NA"}));
  EXPECT_EQ(read_text("p,A,A\nP,x,0\n", ',', options).individuals[0].typings, (Cells{{"", "0"}}));
  options.missing_tokens = table::parse_missing_tokens("");
  EXPECT_EQ(read_text("p,A,A\nP,NA,\n", ',', options).individuals[0].typings, (Cells{{"NA", ""}}));
}

TEST(TableRead, Errors) {
  struct Case {
    std::string text, population_column, id_column;
    std::string message;  // the start of "file:line: what"
  };
  const std::string long_cell(genotypes::MAX_LINE, 'x');
  const std::vector<Case> cases = {
      {"", "", "", "t.csv:0: the table is empty"},
      {"\npop,A,A\n", "", "", "t.csv:1: the first line is blank"},
      {"pop,A,A\nP,\"x,y\n", "", "", "t.csv:2: the quoted field opened at byte 3 does not close"},
      {"pop,A,A\nP,\"x\"y,y\n", "", "", "t.csv:2: field 2 has text after its closing quote"},
      {"pop,A,A\nP,x,y\nP,x\n", "", "", "t.csv:3: the row has 2 fields, the header 3"},
      {"pop,A,A\nP,x,y,z\n", "", "", "t.csv:2: the row has 4 fields, the header 3"},
      {"pop,A,A\n ,x,y\n", "", "", "t.csv:2: the population cell is empty"},
      {"pop,A,A\nP\tQ,x,y\n", "", "", "t.csv:2: the population name \"P\\x09Q\" holds a tab"},
      {"pop,A,A\nP,x\ty,y\n", "", "",
       "t.csv:2: the allele name \"x\\x09y\" of locus \"A\" holds a tab"},
      {"pop,A,A\nP,x,y~z\n", "", "", "t.csv:2: the allele name \"y~z\" of locus \"A\" holds \"~\""},
      {"pop,A_1,B_2\n", "", "",
       "t.csv:1: column 2 (\"A_1\") does not pair with the next, column 3"},
      {"pop,A,A,B\n", "", "", "t.csv:1: column 4 (\"B\") does not pair with a next column"},
      {"pop,A1,A2,A_1,A_2\n", "", "",
       "t.csv:1: the locus \"A\" stands twice, at columns 2-3 and 4-5"},
      {"pop,,\n", "", "", "t.csv:1: column 2 (\"\") does not pair"},
      {"pop,A,A\n", "group", "",
       "t.csv:1: the header has no column \"group\" (--population-column)"},
      {"pop,A,id,A\n", "", "id", "t.csv:1: column 2 (\"A\") does not pair with the next, column 3"},
      {"pop,A,A,pop\n", "pop", "", "t.csv:1: --population-column \"pop\" names column 1"},
      {"pop,A,A\n", "", "pop",
       "t.csv:1: --id-column names the population column, column 1 (\"pop\"); name the population"
       " column with --population-column"},
      // A header that does not pair names the columns taken and the options to change them.
      {"id,pop,response,A,A\n", "", "",
       "t.csv:1: column 3 (\"response\") does not pair with the next, column 4 (\"A\"); a locus"
       " takes two adjacent columns of equal names or names such as DRB_1, DRB_2 or DRB.a1,"
       " DRB.a2, or one column whose cells hold both alleles, such as 136/143; population"
       " column: \"pop\" (column 2), id column: \"id\" (column 1); name"
       " others with --population-column or --id-column"},
      {",group,response,A,A\n", "", "",
       "t.csv:1: column 3 (\"response\") does not pair with the next, column 4 (\"A\"); a locus"
       " takes two adjacent columns of equal names or names such as DRB_1, DRB_2 or DRB.a1,"
       " DRB.a2, or one column whose cells hold both alleles, such as 136/143; population"
       " column: \"group\" (column 2), id column: none, column 1 (no name)"
       " left out as row names; name others with --population-column or --id-column"},
      // A lone column is a locus only where every typed cell holds two alleles.
      {"pop,A,B,B\nP,1/2,x,y\nP,3,x,y\n", "", "",
       "t.csv:3: column 2 (\"A\") does not pair with the next, column 3"},
      {"pop,A,B,B\nP,1//2,x,y\n", "", "", "t.csv:2: column 2 (\"A\") does not pair"},
      {"pop,A,B,B\nP,/2,x,y\n", "", "", "t.csv:2: column 2 (\"A\") does not pair"},
      {"pop,A,B,B\nP,NA,x,y\n", "", "", "t.csv:1: column 2 (\"A\") does not pair"},
      {"\"\"\n", "", "", "t.csv:1: the header holds only the row names (column 1, no name)"},
      {"pop,A,A\nP,x," + long_cell + "\n", "", "",
       "t.csv:2: the line is longer than 1048576 bytes (1 MiB)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text.substr(0, 80));
    table::TableOptions options;
    options.population_column = c.population_column;
    options.id_column = c.id_column;
    const std::string message =
        error_of([&] { static_cast<void>(read_text(c.text, ',', options)); });
    EXPECT_EQ(message.substr(0, c.message.size()), c.message) << message;
  }
}

// A stream that never ends and holds no line end, as a pipe can be.
class EndlessBuffer : public std::streambuf {
 public:
  EndlessBuffer() { chunk_.fill('x'); }

 protected:
  int_type underflow() override {
    setg(chunk_.data(), chunk_.data(), chunk_.data() + chunk_.size());
    return traits_type::to_int_type('x');
  }

 private:
  std::array<char, 4096> chunk_{};
};

TEST(TableRead, EndlessLineStopsAtTheLimit) {
  EndlessBuffer buffer;
  std::istream in(&buffer);
  table::TableOptions options;
  options.delimiter = ',';
  const std::string message =
      error_of([&] { static_cast<void>(table::read_genotype_table(in, "pipe", options)); });
  EXPECT_EQ(message.substr(0, 36), "pipe:1: the line is longer than 1048");
}

TEST(TableColumns, Pairing) {
  // The two column names and the locus they make; nullptr: they make none.
  const std::tuple<const char*, const char*, const char*> cases[] = {
      {"DRB", "DRB", "DRB"},
      {"DRB_1", "DRB_2", "DRB"},
      {"DRB.a1", "DRB.a2", "DRB"},
      {"HLA-A1", "HLA-A2", "HLA-A"},
      {"DRB a", "DRB b", "DRB"},
      {"DRBa", "DRBb", "DRB"},
      {"DRB-1", "DRB-2", "DRB"},
      {"DRB a1", "DRB a2", "DRB"},
      {"DRB1.a1", "DRB1.a2", "DRB1"},
      {"DRB_a1", "DRB_a2", "DRB"},
      {"Da1", "Da2", "D"},
      {"a1", "a2", "a"},
      {"_1", "_2", "_"},
      {"1", "2", nullptr},
      {"a", "b", nullptr},
      {"DRB_1", "DRB.2", nullptr},
      {"DRB_A", "DRB_B", nullptr},
      {"DRB_2", "DRB_1", nullptr},
      {"DRB_1", "DQB_2", nullptr},
      {"", "", nullptr},
  };
  for (const auto& [first, second, locus] : cases) {
    EXPECT_EQ(table::detail::locus_of_columns(first, second),
              locus == nullptr ? std::nullopt : std::optional<std::string>(locus))
        << first << " | " << second;
  }
}

TEST(TableColumns, FoundAsPeopleWriteThem) {
  struct Case {
    std::string name;                          // the table's file name
    char delimiter;                            // --delimiter; 0: not given
    std::string population_column, id_column;  // the options; "": not given
    std::string text;
    char read_with;
    std::string population, id;  // of the one row
    std::vector<std::string> loci;
  };
  const std::string r_write_csv = "\"\",\"pop\",\"A_1\",\"A_2\"\n\"1\",\"P\",\"x\",\"y\"\n";
  const std::vector<Case> cases = {
      {"t.csv", 0, "", "", "id,population,A_1,A_2\n7,P,x,y\n", ',', "P", "7", {"A"}},
      {"t.csv", 0, "", "", "population,A_1,A_2\nP,x,y\n", ',', "P", "", {"A"}},
      // R's write.csv: the row names under an empty name are left out.
      {"t.csv", 0, "", "", r_write_csv, ',', "P", "", {"A"}},
      {"t.csv", 0, "", "", ",group,A,A\n1,P,x,y\n", ',', "P", "", {"A"}},
      // A .csv from a spreadsheet where the comma is the decimal mark.
      {"t.csv", 0, "", "", "Sample;Pop;A_1;A_2\ns1;P;x;y\n", ';', "P", "s1", {"A"}},
      {"t.CSV", 0, "", "", "A_1,A_2,POP,B,B,Ind\nx,y,P,u,v,9\n", ',', "P", "9", {"A", "B"}},
      {"t.csv", 0, "", "", "group,Name,A,A\nP,n,x,y\n", ',', "P", "n", {"A"}},
      // Options win; the population column is taken first, the id column among the others.
      {"t.csv", 0, "id", "", "id,sample,A,A\nP,s,x,y\n", ',', "P", "s", {"A"}},
      {"t.csv", 0, "", "code", "pop,code,id,id\nP,c,x,y\n", ',', "P", "c", {"id"}},
      {"t.csv", 0, "group", "id", "A_1,A_2,id,group,B,B\nx,y,7,G,u,v\n", ',', "G", "7", {"A", "B"}},
      {"t.csv", ';', "", "", "pop;A;A\nP;x;y\n", ';', "P", "", {"A"}},
      {"t.csv", ',', "", "", "pop;A;A\nP;x;y\n", ',', "P;x;y", "", {}},
      // Semicolons are looked for in the header of a .csv only, and only without a comma.
      {"t.csv", 0, "", "", "pop,A;1,A;1\nP,x;y,y\n", ',', "P", "", {"A;1"}},
      {"t.tsv", 0, "", "", "pop\tA;1\tA;1\nP\tx\ty\n", '\t', "P", "", {"A;1"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    std::istringstream in(c.text);
    table::TableOptions options;
    options.delimiter = c.delimiter;
    options.population_column = c.population_column;
    options.id_column = c.id_column;
    std::vector<std::string> notes;
    const genotypes::GenotypeData t = table::read_genotype_table(
        in, c.name, options, [&](const std::string& line) { notes.push_back(line); });
    EXPECT_EQ(notes.size(), c.delimiter == 0 && c.read_with == ';' ? 1U : 0U);
    ASSERT_EQ(t.individuals.size(), 1U);
    EXPECT_EQ(t.individuals[0].population, c.population);
    EXPECT_EQ(t.individuals[0].id, c.id);
    std::vector<std::string> loci;
    for (const genotypes::Locus& locus : t.loci) {
      loci.push_back(locus.name);
    }
    EXPECT_EQ(loci, c.loci);
  }
}

TEST(TableColumns, SemicolonNoteComesBeforeAnErrorOfALaterLine) {
  std::istringstream in("pop;A;A\nP,x,y\n");
  std::vector<std::string> notes;
  const std::string message = error_of([&] {
    static_cast<void>(table::read_genotype_table(
        in, "t.csv", {}, [&](const std::string& line) { notes.push_back(line); }));
  });
  EXPECT_EQ(message, "t.csv:2: the row has 1 fields, the header 3");
  EXPECT_EQ(notes, std::vector<std::string>{
                       "warning: t.csv, line 1: the header has semicolons and no comma, so the"
                       " table is read with ';' as the delimiter (give --delimiter to override)"});
}

TEST(TableOptions, Delimiters) {
  std::istringstream tsv("p\tA\tA\nP\tx\ty\n");
  EXPECT_EQ(table::read_genotype_table(tsv, "in.TSV", {}).individuals[0].typings,
            (Cells{{"x", "y"}}));
  EXPECT_EQ(table::delimiter_for("a/b.CSV"), ',');
  EXPECT_EQ(table::delimiter_for("b.tsv"), '\t');
  EXPECT_EQ(table::delimiter_for("b.Txt"), '\t');
  EXPECT_EQ(error_of([] { static_cast<void>(table::delimiter_for("b.dat")); }).substr(0, 8),
            "b.dat:0:");
  EXPECT_EQ(table::parse_delimiter("tab"), '\t');
  EXPECT_EQ(table::parse_delimiter(";"), ';');
  for (const std::string_view bad : {"", ";;", "\"", "Tab"}) {
    EXPECT_EQ(error_of([&] { static_cast<void>(table::parse_delimiter(bad)); }).substr(0, 14),
              "--delimiter:0:")
        << bad;
  }
}

// --------------------------------------------------------------- the test's loci

const std::string FOUR_LOCI = "pop,A,A,B,B,C,C,D,D\nP,a,b,a,b,a,b,a,b\n";

TEST(TableTest, Specs) {
  struct Case {
    std::string null_spec, alt_spec;
    std::vector<int> loci;
    std::vector<std::vector<int>> null_groups, alt_groups;
  };
  const std::vector<Case> cases = {
      {"", "", {0, 1, 2, 3}, {{0}, {1}, {2}, {3}}, {{0, 1, 2, 3}}},
      {"C,A", "", {0, 2}, {{2}, {0}}, {{0, 2}}},
      {"", "D+B, A", {0, 1, 3}, {{0}, {1}, {3}}, {{3, 1}, {0}}},
      {"B+D,C", "C+D+B", {1, 2, 3}, {{1, 3}, {2}}, {{2, 3, 1}}},
  };
  const genotypes::GenotypeData t = read_text(FOUR_LOCI);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.null_spec + " / " + c.alt_spec);
    const genotypes::TestSpec test = genotypes::parse_test(t, c.null_spec, c.alt_spec);
    EXPECT_EQ(test.loci, c.loci);
    EXPECT_EQ(test.null_groups, c.null_groups);
    EXPECT_EQ(test.alt_groups, c.alt_groups);
  }
}

TEST(TableTest, SpecErrors) {
  struct Case {
    std::string null_spec, alt_spec, message;
  };
  const std::vector<Case> cases = {
      {"A,E", "", "--null:0: \"A,E\": the table has no locus \"E\" (its loci: A, B, C, D)"},
      {"A,B", "A+X", "--alt:0: \"A+X\": the table has no locus \"X\""},
      {"A+B,A", "", "--null:0: \"A+B,A\": the locus \"A\" is named twice"},
      {"", "A,B+A", "--alt:0: \"A,B+A\": the locus \"A\" is named twice"},
      {"A,,B", "", "--null:0: \"A,,B\": group 2 has an empty locus name"},
      {"A+,B", "", "--null:0: \"A+,B\": group 1 has an empty locus name"},
      {"A", "", "--null:0: \"A\": the test has 1 loci; a test takes 2 to 10 loci"},
      {"", "B", "--alt:0: \"B\": the test has 1 loci"},
      {"A,B", "A+C", "--alt:0: \"A+C\": the locus \"C\" is not in the test"},
      // Groupings that make no test.
      {"A,B", "A", "--alt:0: \"A\": \"B\" of the null grouping is in no group of the alternative"},
      {"A+B,C", "A,B+C", "--alt:0: \"A,B+C\": the null group \"A\"+\"B\" is split over two"},
      {"A,B", "B,A", "--alt:0: \"B,A\": the alternative grouping is the null grouping itself"},
      {"A+B,C", "C,B+A", "--alt:0: \"C,B+A\": the alternative grouping is the null grouping"},
  };
  const genotypes::GenotypeData t = read_text(FOUR_LOCI);
  for (const Case& c : cases) {
    const std::string message =
        error_of([&] { static_cast<void>(genotypes::parse_test(t, c.null_spec, c.alt_spec)); });
    EXPECT_EQ(message.substr(0, c.message.size()), c.message) << message;
  }
}

TEST(TableTest, LocusCountOfTheWholeTable) {
  std::string header = "pop";
  std::string row = "P";
  for (int i = 0; i < 11; ++i) {
    header += ",L" + std::to_string(i) + ",L" + std::to_string(i);
    row += ",a,b";
  }
  const genotypes::GenotypeData eleven = read_text(header + "\n" + row + "\n");
  EXPECT_EQ(error_of([&] { static_cast<void>(genotypes::parse_test(eleven, "", "")); }),
            "t.csv:0: without --null or --alt every locus is tested, and the table has 11 loci;"
            " a test takes 2 to 10 loci");
  EXPECT_EQ(genotypes::parse_test(eleven, "L3,L0", "").loci, (std::vector<int>{0, 3}));
}

TEST(TableTest, LocusPairsMode) {
  const genotypes::GenotypeData t = read_text(FOUR_LOCI);
  EXPECT_EQ(genotypes::parse_loci(t, ""), (std::vector<int>{0, 1, 2, 3}));
  EXPECT_EQ(genotypes::parse_loci(t, "D, B"), (std::vector<int>{1, 3}));
  for (const std::string_view bad : {"A", "A,A", "A,,B", "A,Q"}) {
    EXPECT_EQ(error_of([&] { static_cast<void>(genotypes::parse_loci(t, bad)); }).substr(0, 9),
              "--loci:0:")
        << bad;
  }
}

// --------------------------------------------------------------- the run input

std::string typing_text(const common::Typing& typing) { return std::string(typing.trimmed()); }

TEST(TableRunInput, PopulationsRecordsAndExclusion) {
  // Rows interleaved; East's first row is left out (missing at A and B), yet
  // East keeps its place as the first population; North loses everybody.
  const std::string text =
      "id,pop,A_1,A_2,B_1,B_2,C_1,C_2\n"
      "1,East,NA,x,,y,p,q\n"
      "2,West,x,zz,y,y,p,p\n"
      "3,North,,,0,0,p,q\n"
      "4,East,X,x,,,p,p\n"
      "5,West,x,x,y,w,,\n";
  table::TableOptions options;
  options.population_column = "pop";
  options.id_column = "id";
  const genotypes::GenotypeData t = read_text(text, ',', options);
  const genotypes::TestInput made =
      genotypes::make_run_input(t, genotypes::parse_test(t, "B,A", ""));
  const common::RunInput& input = made.input;

  EXPECT_EQ(input.locus_names, (std::vector<std::string>{"A", "B"}));
  // Byte order: "X" < "x" < "zz"; C is outside the test and has no say.
  EXPECT_EQ(input.allele_names,
            (std::vector<std::vector<std::string>>{{"X", "x", "zz"}, {"w", "y"}}));
  EXPECT_EQ(input.systems.system_count(), 2);
  EXPECT_EQ(input.systems.allele_count, (std::vector<int>{3, 2}));
  EXPECT_EQ(input.systems.allele_name_width, (std::vector<int>{5, 5}));
  EXPECT_EQ(typing_text(input.systems.allele_name[0][2]), "00003");
  EXPECT_EQ(input.systems.allele_code[0], (std::vector<char>{'!', '"', '#'}));

  EXPECT_EQ(input.population_names, (std::vector<std::string>{"East", "West"}));
  EXPECT_EQ(input.populations.population_count(), 2);
  EXPECT_EQ(input.populations.population_record_count(0), 1);
  EXPECT_EQ(input.populations.population_record_count(1), 2);
  EXPECT_EQ(input.excluded_count, (std::vector<int>{1, 0}));
  EXPECT_EQ(made.dropped_populations, (std::vector<std::string>{"North"}));
  ASSERT_EQ(made.excluded.size(), 2U);
  EXPECT_EQ(made.excluded[0].line, 2);
  EXPECT_EQ(made.excluded[0].id, "1");
  EXPECT_EQ(made.excluded[1].population, "North");
  EXPECT_EQ(made.excluded[1].line, 4);

  std::vector<std::string> east;
  for (int k = 0; k < 4; ++k) {
    east.push_back(typing_text(input.populations.phenotype_table[0][0][k]));
  }
  EXPECT_EQ(east, (std::vector<std::string>{"00001", "00002", "", ""}));
  EXPECT_EQ(typing_text(input.populations.phenotype_table[1][1][3]), "00001");

  // The groups name systems (the test's loci in table order) in the order written.
  EXPECT_EQ(input.null_grouping.group_systems, (std::vector<std::vector<int>>{{1}, {0}}));
  EXPECT_EQ(input.null_grouping.group_value_total, (std::vector<double>{2.0, 3.0}));
  EXPECT_EQ(input.alt_grouping.group_total(), 1);
  EXPECT_EQ(input.alt_grouping.group_value_total, (std::vector<double>{6.0}));
  EXPECT_EQ(input.max_distinct_phenotypes, INT_MAX);
}

TEST(TableRunInput, LongNamesKeptInFull) {
  const std::string population(40, 'P');
  const std::string allele = "DRB1*04:01:01:01:extra-long";
  const genotypes::GenotypeData t =
      read_text("pop,A,A,B,B\n" + population + "," + allele + ",x,y,y\n");
  const genotypes::TestInput made = genotypes::make_run_input(t, genotypes::parse_test(t, "", ""));
  EXPECT_EQ(made.input.population_names[0], population);
  EXPECT_EQ(made.input.populations.population_names[0].view(), std::string(20, 'P'));
  EXPECT_EQ(made.input.allele_names[0][0], allele);
}

TEST(TableRunInput, AlleleLimit) {
  for (const int alleles : {genotypes::MAX_LOCUS_ALLELES, genotypes::MAX_LOCUS_ALLELES + 1}) {
    std::string text = "pop,A,A,B,B\n";
    for (int a = 0; a < alleles; ++a) {
      text += "P,a" + std::to_string(a) + ",a0,b,b\n";
    }
    const genotypes::GenotypeData t = read_text(text);
    const genotypes::TestSpec test = genotypes::parse_test(t, "", "");
    const std::string message = error_of([&] {
      const genotypes::TestInput made = genotypes::make_run_input(t, test);
      // Every allele its own code letter, none of the reserved "?" and "^".
      const std::vector<char>& codes = made.input.systems.allele_code[0];
      std::set<char> distinct(codes.begin(), codes.end());
      EXPECT_EQ(distinct.size(), codes.size());
      EXPECT_FALSE(distinct.contains('?') || distinct.contains('^'));
      EXPECT_EQ(made.input.systems.allele_name[0].back().view(), "00250");
    });
    EXPECT_EQ(message, alleles == genotypes::MAX_LOCUS_ALLELES
                           ? ""
                           : "t.csv:0: locus \"A\" has 251 alleles among the individuals kept"
                             " for the test; a locus may have at most 250");
  }
}

TEST(TableRunInput, NobodyLeft) {
  const genotypes::GenotypeData t = read_text("pop,A,A,B,B,C,C\nP,x,,,y,z,z\nQ,,,y,y,-,-\n");
  EXPECT_EQ(
      error_of([&] {
        static_cast<void>(genotypes::make_run_input(t, genotypes::parse_test(t, "A,B,C", "")));
      }),
      "t.csv:0: no individual is left: every one has missing typings at two or more loci"
      " of the test");
  EXPECT_EQ(error_of([&] {
              static_cast<void>(genotypes::make_run_input(t, genotypes::parse_test(t, "A,B", "")));
            }),
            "t.csv:0: locus \"A\" has no typed allele among the individuals kept for the test");
}

// --------------------------------------------------------------- the classic files

// A genotype table and the classic files that say the same thing give the
// engine the same input: the classic reader, run on the files the test
// helper writes from a table's run input, finds the same systems, code
// letters, populations, records and groupings. Only the allele names differ
// (the table's synthetic names against the real ones), so typings are
// compared by allele number.

struct ClassicInput {
  input::RunFileNames names;
  common::SystemTables systems;
  common::Populations populations;
  common::Grouping null_grouping, alt_grouping;
  std::vector<std::string> messages;  // everything the reader wrote to any sink
};

ClassicInput read_classic(const std::string& control_text, const std::string& data_text) {
  test_support::CapturedSinks captured;
  const layout::Sinks sinks = captured.sinks();
  ClassicInput classic;
  std::istringstream control_stream(control_text);
  std::istringstream data_stream(data_text);
  layout::RecordReader control(control_stream, "group.dat");
  layout::RecordReader data(data_stream, "pheno.dat");
  classic.names = input::read_file_names(control);
  const layout::LayoutList record_layout = input::read_data_header(data, classic.systems, sinks);
  input::read_phenotype_records(data, classic.systems, record_layout, classic.populations, sinks);
  input::read_groupings(control, classic.systems, classic.null_grouping, classic.alt_grouping,
                        sinks);
  for (const test_support::Written& written : captured.journal()) {
    classic.messages.push_back(written.record);
  }
  return classic;
}

// The typings of a population as allele numbers (-1: missing), record by record.
std::vector<std::vector<int>> allele_numbers(const common::SystemTables& systems,
                                             const common::Populations& populations, int p) {
  std::vector<std::vector<int>> records;
  for (const common::RecordTypings& typings : populations.phenotype_table[p]) {
    std::vector<int>& numbers = records.emplace_back();
    for (int k = 0; k < systems.typing_count(); ++k) {
      const int s = common::system_of_typing(k);
      const std::vector<common::Typing>& names = systems.allele_name[s];
      const auto at = std::find(names.begin(), names.end(), typings[k]);
      numbers.push_back(typings[k].is_blank() ? -1 : static_cast<int>(at - names.begin()));
    }
  }
  return records;
}

void expect_equivalent(const common::RunInput& made, const ClassicInput& classic) {
  EXPECT_EQ(classic.names.data_file_name, "pheno.dat");
  EXPECT_EQ(classic.names.report_file_name, "ldout.txt");
  EXPECT_EQ(classic.messages, std::vector<std::string>{});
  const common::SystemTables& systems = made.systems;
  ASSERT_EQ(classic.systems.system_count(), systems.system_count());
  EXPECT_EQ(classic.systems.allele_count, systems.allele_count);
  EXPECT_EQ(classic.systems.allele_code, systems.allele_code);
  for (int s = 0; s < systems.system_count(); ++s) {
    EXPECT_EQ(classic.systems.system_title[s].trimmed(), made.locus_names[s]);
    for (int a = 0; a < systems.allele_count[s]; ++a) {
      // Right-aligned in its field, the classic name may start with blanks.
      const std::string_view name = classic.systems.allele_name[s][a].trimmed();
      EXPECT_EQ(name.substr(name.find_first_not_of(' ')), made.allele_names[s][a]);
    }
  }
  const common::Populations& populations = made.populations;
  ASSERT_EQ(classic.populations.population_count(), populations.population_count());
  EXPECT_EQ(classic.populations.population_names, populations.population_names);
  for (int p = 0; p < populations.population_count(); ++p) {
    EXPECT_EQ(classic.populations.population_record_count(p),
              populations.population_record_count(p));
    EXPECT_EQ(allele_numbers(classic.systems, classic.populations, p),
              allele_numbers(systems, populations, p))
        << "population " << p + 1;
  }
  for (const auto& [read, written] : {std::pair(&classic.null_grouping, &made.null_grouping),
                                      std::pair(&classic.alt_grouping, &made.alt_grouping)}) {
    EXPECT_EQ(read->group_systems, written->group_systems);
    EXPECT_EQ(read->group_value_total, written->group_value_total);
  }
}

TEST(TableEquivalence, ClassicFilesSayTheSame) {
  struct Case {
    std::string text, null_spec, alt_spec;
  };
  const std::vector<Case> cases = {
      // Interleaved populations, alleles of several widths, a missing locus,
      // an individual left out (two missing loci) and a locus outside the test.
      {"pop,A_1,A_2,B_1,B_2,C_1,C_2\n"
       "Valley,1,10,F,S,x,y\n"
       "Hill,10,2,S,S,x,x\n"
       "Valley,2,2,NA,NA,y,y\n"
       "Hill,,,,,x,y\n"
       "Valley,1,1,F,F,,\n",
       "", ""},
      // A block test, groups and their loci in the order written.
      {"pop,A_1,A_2,B_1,B_2,C_1,C_2,D_1,D_2\n"
       "P,a,b,c,d,e,f,g,h\n"
       "P,b,b,d,d,f,f,hh,g\n"
       "Q,b,a,c,c,e,e,g,g\n",
       "D+B,C,A", "C+D+B+A"},
      // Long population names: both sides keep their first 20 bytes.
      {"pop,A,A,B,B\n"
       "A population with a long name,x,y,1,2\n"
       "Another population's long name,y,y,2,2\n",
       "B,A", "A+B"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const genotypes::GenotypeData genotypes = read_text(c.text);
    const genotypes::TestInput made = genotypes::make_run_input(
        genotypes, genotypes::parse_test(genotypes, c.null_spec, c.alt_spec));
    const std::string data_file = test_support::classic_data_file(made.input);
    const std::string control_file =
        test_support::classic_control_file(made.input, "pheno.dat", "ldout.txt");
    expect_equivalent(made.input, read_classic(control_file, data_file));
  }
}

}  // namespace

// Columns named as a pair whose cells all hold two alleles are two loci.
TEST(TableRead, PairedNamesOfOneColumnLoci) {
  std::istringstream in("pop,L1,L2\nP,1/2,3|NA\nP,NA,5/6\n");
  std::vector<std::string> notes;
  const genotypes::GenotypeData t = table::read_genotype_table(
      in, "t.csv", {}, [&](const std::string& line) { notes.push_back(line); });
  ASSERT_EQ(t.loci.size(), 2U);
  EXPECT_EQ(t.loci[1].name, "L2");
  using Cells = std::vector<std::array<std::string, 2>>;
  EXPECT_EQ(t.individuals[0].typings, (Cells{{"1", "2"}, {"3", ""}}));
  EXPECT_EQ(t.individuals[1].typings, (Cells{{"", ""}, {"5", "6"}}));
  ASSERT_EQ(notes.size(), 1U);
  EXPECT_NE(notes[0].find("read as two loci of one column each"), std::string::npos);
}
