#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "input/input.h"
#include "support/capture.h"
#include "support/text_files.h"

namespace {

using common::StopCode;
using test_support::CapturedSinks;
using test_support::Destination;
using test_support::header_lines;
using test_support::lines;
using test_support::numbered_system;
using test_support::Outcome;
using test_support::record_line;
using test_support::run_capturing;
using test_support::SystemText;
using test_support::TextFile;

const std::vector<SystemText> SYSTEMS = {numbered_system(3), numbered_system(2)};

// A data file of the two systems with the given record lines after the header.
struct RecordsRead {
  common::Populations populations;
  CapturedSinks sinks;
  Outcome outcome;
  int lines_consumed = 0;

  RecordsRead(const std::vector<std::string>& records, const std::string& record_layout) {
    std::vector<std::string> text = header_lines(SYSTEMS, record_layout);
    text.insert(text.end(), records.begin(), records.end());
    TextFile data(lines(text), "pheno.dat");
    outcome = run_capturing([&] {
      common::SystemTables systems;
      const layout::LayoutList parsed =
          input::read_data_header(data.reader(), systems, sinks.sinks());
      input::read_phenotype_records(data.reader(), systems, parsed, populations, sinks.sinks());
    });
    lines_consumed = data.reader().line_number();
  }
  explicit RecordsRead(const std::vector<std::string>& records)
      : RecordsRead(records, "(A20,4A2)") {}
};

std::string record(const std::string& population,
                   const std::vector<std::string>& typings = {"01", "02", "01", "01"}) {
  return record_line(population, typings, SYSTEMS);
}

std::vector<std::string> names_of(const common::Populations& populations) {
  std::vector<std::string> names;
  for (const common::PopulationName& name : populations.population_names) {
    names.emplace_back(name.trimmed());
  }
  return names;
}

TEST(ReadPhenotypeRecords, PopulationsChangeWithTheName) {
  const RecordsRead read({record("A", {"01", "02", "01", "02"}), record("A"), record("B"),
                          record("A", {"03", "03", "02", "02"})});
  ASSERT_TRUE(test_support::completed(read.outcome));
  EXPECT_EQ(read.populations.population_count, 3);
  EXPECT_EQ(names_of(read.populations), (std::vector<std::string>{"A", "B", "A"}));
  EXPECT_EQ(read.populations.population_record_count, (std::vector<int>{2, 1, 1}));
  EXPECT_EQ(read.populations.phenotype_table[0][0][1].view(), "02   ");
  EXPECT_EQ(read.populations.phenotype_table[2][0][0].view(), "03   ");
  EXPECT_EQ(read.populations.phenotype_table[2][0][4].view(), "     ");  // beyond typing_count
  EXPECT_TRUE(read.sinks.empty());
}

TEST(ReadPhenotypeRecords, NamesDifferingInTrailingBlanksAreOnePopulation) {
  // The second line ends right after the name; the third is read through a
  // ten-column field and stored padded to twenty.
  const RecordsRead read({record("North"), "North", "North"}, "(A20,4A2)");
  ASSERT_TRUE(test_support::completed(read.outcome));
  EXPECT_EQ(read.populations.population_record_count, (std::vector<int>{3}));
  const RecordsRead narrow({"North     01010101", "North   X 01010101"}, "(A10,4A2)");
  EXPECT_EQ(names_of(narrow.populations), (std::vector<std::string>{"North", "North   X"}));
}

TEST(ReadPhenotypeRecords, EmptyLastLineIsARecordOfItsOwn) {
  const RecordsRead read({record("A"), record("A"), ""});
  ASSERT_TRUE(test_support::completed(read.outcome));
  EXPECT_EQ(names_of(read.populations), (std::vector<std::string>{"A", ""}));
  EXPECT_EQ(read.populations.population_record_count, (std::vector<int>{2, 1}));
  EXPECT_TRUE(read.populations.phenotype_table[1][0][0].is_blank());
  const RecordsRead blank_before({record(""), ""});
  EXPECT_EQ(blank_before.populations.population_record_count, (std::vector<int>{2}));
}

TEST(ReadPhenotypeRecords, AcceptsMoreThanOneHundredRecordsInAPopulation) {
  const std::vector<std::string> records(250, record("Large"));
  const RecordsRead read(records);
  ASSERT_TRUE(test_support::completed(read.outcome));
  EXPECT_EQ(read.populations.population_record_count, (std::vector<int>{250}));
  EXPECT_EQ(read.populations.phenotype_table[0].size(), 250U);
}

TEST(ReadPhenotypeRecords, RecordOverTwoLinesAndAnIncompleteLastRecordIsDropped) {
  const std::string layout = "(A12,/,3X,4(1X,A2))";
  const RecordsRead read({"Pop1", "----02-01-03-02", "Pop1", "----01-01-02-02", "Pop1"}, layout);
  ASSERT_TRUE(test_support::completed(read.outcome));
  EXPECT_EQ(read.populations.population_record_count, (std::vector<int>{2}));
  EXPECT_EQ(read.populations.phenotype_table[0][1][2].view(), "02   ");
}

TEST(ReadPhenotypeRecords, TwentyOnePopulationsKeepTwentyWithAWarning) {
  std::vector<std::string> records;
  for (int p = 1; p <= 21; ++p) {
    records.push_back(record("Pop" + std::to_string(p)));
    records.push_back(record("Pop" + std::to_string(p)));
  }
  records.push_back(record("Pop22"));
  const RecordsRead read(records);
  ASSERT_TRUE(test_support::completed(read.outcome));
  EXPECT_EQ(read.populations.population_count, 20);
  EXPECT_EQ(read.populations.population_record_count, std::vector<int>(20, 2));
  EXPECT_EQ(read.populations.phenotype_table.size(), 20U);
  // Reading stops at the record that opens the 21st population.
  EXPECT_EQ(read.lines_consumed, static_cast<int>(header_lines(SYSTEMS, "").size()) + 41);
  const std::vector<std::string> warning = {
      "", "",
      "", " NON-FATAL PROBLEM     MORE THAN 20 SAMPLE POPLUATIONS FOUND ON INPUT",
      "", "  Will NOT Process any samples after " + test_support::left("Pop20", 20),
      "", ""};
  EXPECT_EQ(read.sinks.log(), warning);
  EXPECT_EQ(read.sinks.console(), warning);
  EXPECT_EQ(read.sinks.destination_order(),
            (std::vector<Destination>{Destination::log, Destination::console}));
}

TEST(ReadPhenotypeRecords, NoRecordIsStop205AfterTheMessage) {
  for (const std::vector<std::string>& records :
       {std::vector<std::string>{}, std::vector<std::string>{"Pop1"}}) {
    // The second file ends inside its only record, which is dropped.
    const RecordsRead read(records, "(A20,/,4A2)");
    ASSERT_TRUE(test_support::stopped_with(read.outcome, StopCode::no_records));
    const std::vector<std::string> message = {
        "", "", " ABORTING JOB", "", " No phenotype data records on input file.", ""};
    EXPECT_EQ(read.sinks.log(), message);
    EXPECT_EQ(read.sinks.console(), message);
    EXPECT_EQ(read.sinks.destination_order(),
              (std::vector<Destination>{Destination::log, Destination::console}));
  }
}

}  // namespace
