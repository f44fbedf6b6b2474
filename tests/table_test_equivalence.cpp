#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "common/run.h"
#include "input/input.h"
#include "layout/layout.h"
#include "support/capture.h"
#include "support/classic_files.h"
#include "table/table.h"

// A genotype table and the classic files that say the same thing give the
// engine the same input: the classic reader, run on the files the test
// helper writes from a table's run input, finds the same systems, code
// letters, populations, records and groupings. Only the allele names differ
// (the table's synthetic names against the real ones), so typings are
// compared by allele number.

namespace {

struct ClassicInput {
  input::RunFileNames names;
  common::SystemTables systems;
  common::Populations populations;
  common::Grouping null_grouping;
  common::Grouping alt_grouping;
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

void expect_same_grouping(const common::Grouping& classic, const common::Grouping& made) {
  EXPECT_EQ(classic.group_systems, made.group_systems);
  EXPECT_EQ(classic.group_value_total, made.group_value_total);
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
  expect_same_grouping(classic.null_grouping, made.null_grouping);
  expect_same_grouping(classic.alt_grouping, made.alt_grouping);
}

TEST(TableEquivalence, ClassicFilesSayTheSame) {
  struct Case {
    std::string text;
    std::string null_spec;
    std::string alt_spec;
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
    std::istringstream in(c.text);
    table::TableOptions options;
    options.delimiter = ',';
    const table::GenotypeTable genotypes = table::read_genotype_table(in, "t.csv", options);
    const table::TableInput made =
        table::make_run_input(genotypes, table::parse_test(genotypes, c.null_spec, c.alt_spec));
    const std::string data_file = test_support::classic_data_file(made.input);
    const std::string control_file =
        test_support::classic_control_file(made.input, "pheno.dat", "ldout.txt");
    expect_equivalent(made.input, read_classic(control_file, data_file));
  }
}

TEST(TableEquivalence, InputsTheClassicFormatCannotSay) {
  const std::vector<std::string> tables = {
      "pop,A,A,B,B\nP,longer,x,1,2\n",
      "pop,A,A,B,B\nTwenty bytes and then A,x,y,1,2\nTwenty bytes and then B,x,y,1,2\n",
  };
  for (const std::string& text : tables) {
    std::istringstream in(text);
    table::TableOptions options;
    options.delimiter = ',';
    const table::GenotypeTable genotypes = table::read_genotype_table(in, "t.csv", options);
    const table::TableInput made =
        table::make_run_input(genotypes, table::parse_test(genotypes, "", ""));
    EXPECT_THROW(static_cast<void>(test_support::classic_data_file(made.input)),
                 std::invalid_argument)
        << text;
  }
}

}  // namespace
