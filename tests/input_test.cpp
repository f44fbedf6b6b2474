#include "input/input.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <random>
#include <sstream>
#include <string>
#include <string_view>
#include <tuple>
#include <utility>
#include <vector>

#include "coding/coding.h"
#include "support/capture.h"

namespace {

using common::StopCode;
using test_support::completed;
using test_support::ended;
using test_support::stopped_with;
using test_support::written_to;
using Lines = std::vector<std::string>;
using Groups = std::vector<std::vector<int>>;
constexpr auto CONSOLE = test_support::Destination::console;
constexpr auto LOG = test_support::Destination::log;

// Runs `action` on a reader over the lines; keeps how it ended, what it wrote
// and how many lines it consumed.
struct Reading {
  test_support::CapturedSinks sinks;
  test_support::Outcome outcome;
  int lines_read = 0;

  Reading(const Lines& lines, const std::string& name,
          const std::function<void(layout::RecordReader&, const layout::Sinks&)>& action) {
    std::string text;
    for (const std::string& line : lines) {
      text += line + "\n";
    }
    std::istringstream stream(text);
    layout::RecordReader reader(stream, name);
    outcome = test_support::run_capturing([&] { action(reader, sinks.sinks()); });
    lines_read = reader.line_number();
  }
};

Lines edited(Lines lines, const std::vector<std::pair<int, std::string>>& edits) {
  for (const auto& [line, text] : edits) {
    lines.at(static_cast<std::size_t>(line - 1)) = text;
  }
  return lines;
}

std::string allele(int a) { return (a < 9 ? "0" : "") + std::to_string(a + 1); }

// A data file header: system s has the code letters codes[s] and the alleles
// 01, 02, ... of width 2, each name and letter at the end of its six columns.
// With two systems: 1-2 free, 3 system count; system 1 is lines 4 to 9 (title,
// allele count, width, free, names, code letters), system 2 lines 10 to 15;
// 16 free, 17 record layout, 18-20 free.
Lines header(const Lines& codes, const std::string& record_layout = "(A20,4A2)") {
  Lines lines = {"Data file", "", layout::format_integer(static_cast<int>(codes.size()), 5)};
  for (const std::string& letters : codes) {
    std::string names;
    std::string code_line;
    for (std::size_t a = 0; a < letters.size(); ++a) {
      names += "   " + allele(static_cast<int>(a)) + " ";
      code_line += "    " + letters.substr(a, 1) + " ";
    }
    lines.insert(lines.end(),
                 {"SYSTEM", layout::format_integer(static_cast<int>(letters.size()), 5), "    2",
                  "", names, code_line});
  }
  lines.insert(lines.end(), {"record layout:", record_layout, "POPULATION  TYPINGS", "", ""});
  return lines;
}

Reading read_header(const Lines& lines, common::SystemTables& systems) {
  return Reading(lines, "pheno.dat", [&](layout::RecordReader& data, const layout::Sinks& sinks) {
    static_cast<void>(input::read_data_header(data, systems, sinks));
  });
}

common::SystemTables tables(const Lines& codes) {
  common::SystemTables systems;
  EXPECT_TRUE(completed(read_header(header(codes), systems).outcome));
  return systems;
}

TEST(ReadDataHeader, FillsTheTablesFromTheNameFieldsAndNeverReadsTheFreeLines) {
  for (int width = 1; width <= 5; ++width) {
    SCOPED_TRACE(width);
    const std::string full = std::string("ABCDE").substr(0, static_cast<std::size_t>(width));
    // A leading blank stays part of the name (width 1 has no room for one).
    const std::string shorter = width == 1 ? "Z" : " " + full.substr(1);
    // No read may pick up the '#' around the names, the free lines or the
    // title beyond its 30 columns.
    const std::string pad(static_cast<std::size_t>(5 - width), '#');
    const std::string junk = "I5 x (((( '''";
    Lines text = edited(header({"AB", "xyz"}), {{4, std::string(30, 'T') + junk},
                                                {6, layout::format_integer(width, 5)},
                                                {8, pad + full + "#" + pad + shorter + "#"},
                                                {9, "####p#####q#"}});
    for (const int free_line : {1, 2, 7, 13, 16, 18, 19, 20}) {
      text[static_cast<std::size_t>(free_line - 1)] = junk;
    }
    common::SystemTables systems;
    const Reading read = read_header(text, systems);
    ASSERT_TRUE(completed(read.outcome));
    EXPECT_EQ(systems.system_count(), 2);
    EXPECT_EQ(systems.allele_count, (std::vector<int>{2, 3}));
    EXPECT_EQ(systems.allele_name_width, (std::vector<int>{width, 2}));
    EXPECT_EQ(systems.allele_name[0][0].view(), common::Typing(full).view());
    EXPECT_EQ(systems.allele_name[0][1].view(), common::Typing(shorter).view());
    EXPECT_EQ(systems.allele_name[1][2].view(), "03   ");
    EXPECT_EQ(systems.allele_code, (std::vector<std::vector<char>>{{'p', 'q'}, {'x', 'y', 'z'}}));
    EXPECT_EQ(systems.record_format.trimmed(), "(A20,4A2)");
    EXPECT_EQ(read.lines_read, 20);
    EXPECT_TRUE(read.sinks.journal().empty());
  }
}

TEST(ReadDataHeader, LimitsStopWithoutAMessageAndBadFieldsAreFileErrors) {
  const Lines two = header({"ABC", "AB"});
  Lines ten(10, "AB");
  ten[3] = "ABCDEFGHIJKLMN";
  const std::pair<Lines, std::string> cases[] = {
      {edited(two, {{3, "    1"}}),
       "stop code 201: pheno.dat, line 3: the data file declares 1 genetic systems; a run takes"
       " 2 to 10"},
      {edited(two, {{3, "   11"}}), "stop code 201: pheno.dat, line 3: the data file declares 11"},
      {edited(two, {{3, ""}}), "stop code 201: pheno.dat, line 3: the data file declares 0"},
      {header(ten, "(A20,20A2)"), "completed"},  // ten systems, one of them of 14 alleles
      {edited(two, {{10, "  Acid phosphatase"}, {11, "   15"}}),
       "stop code 202: pheno.dat, line 11: system 2 (Acid phosphatase) declares 15 alleles; a"
       " system may have at most 14"},
      {edited(two, {{12, "    0"}}),
       "stop code 203: pheno.dat, line 12: system 2 (SYSTEM) gives the allele-name width 0; the"
       " width must be 1 to 5"},
      {edited(two, {{12, "    6"}}), "stop code 203: pheno.dat, line 12: system 2 (SYSTEM) gives"},
      {edited(two, {{12, ""}}), "stop code 203: pheno.dat, line 12: system 2 (SYSTEM) gives"},
      {edited(two, {{5, "    0"}}), "completed"},  // no allele, but its two lines are there
      {edited(two, {{17, "(A20,4Q2)"}}), "file error pheno.dat:17: record layout"},
      {edited(two, {{17, "(A20,F5.3)"}}), "file error pheno.dat:17: record layout"},
      // The layout is read in 100 columns: its last 5 here, not column 101.
      {edited(two, {{17, "(A20," + std::string(91, ' ') + "4A2)X"}}), "completed"},
  };
  for (const auto& [text, ends] : cases) {
    SCOPED_TRACE(testing::PrintToString(text));
    common::SystemTables systems;
    const Reading read = read_header(text, systems);
    EXPECT_TRUE(ended(read.outcome, ends));
    EXPECT_TRUE(read.sinks.journal().empty());
  }
}

TEST(ReadDataHeader, EarlyEndIsStop204ThroughTheCodeLettersAndAFileErrorAfter) {
  const Lines full = header({"ABC", "AB"});
  for (int kept = 0; kept < 20; ++kept) {
    SCOPED_TRACE(kept);  // 11: the file ends after the second system's allele count
    common::SystemTables systems;
    const Reading read = read_header(Lines(full.begin(), full.begin() + kept), systems);
    if (kept < 15) {
      EXPECT_TRUE(stopped_with(read.outcome, StopCode::header_end_of_file));
      // The line due, by its place in the file's two systems of six lines.
      const char* due[] = {"the system count (line 3)",
                           "the title",
                           "the allele count",
                           "the allele-name width",
                           "the free line after the allele-name width",
                           "the allele names",
                           "the code letters"};
      const int in_system = kept < 3 ? 0 : (kept - 3) % 6 + 1;
      const std::string system = kept < 3 ? "" : " of system " + std::to_string((kept - 3) / 6 + 1);
      EXPECT_EQ(
          read.outcome.explanation,
          (kept == 0 ? "pheno.dat is empty" : "pheno.dat ends after line " + std::to_string(kept)) +
              ", inside the data file header, where " + due[in_system] + system +
              " is due; complete the header, or name the right data file in the control"
              " file");
      EXPECT_EQ(read.sinks.journal(), written_to({CONSOLE, LOG, test_support::Destination::report},
                                                 {"", " END OF FILE ENCOUNTERED UNEXPECTEDLY"}));
    } else {
      EXPECT_TRUE(ended(read.outcome, "file error pheno.dat:" + std::to_string(kept + 1) +
                                          ": unexpected end of file"));
      EXPECT_TRUE(read.sinks.journal().empty());
    }
  }
}

TEST(ReadDataHeader, BadAlleleStops207NamingSystemAndAllele) {
  // System 2: its code letters, the name of its third allele, the rule broken,
  // and the explanation from the line of the names or of the code letters on.
  const std::tuple<std::string, std::string, std::string, std::string> cases[] = {
      {"AB ", "03", " the code letter is blank.",
       "15: system 2 (SYSTEM), allele 3 (\"03\"): the code letter is blank; give every allele of"
       " the system its own code letter, other than \"?\" and \"^\""},
      {"AB?", "03", " the code letter ? is reserved.",
       "15: system 2 (SYSTEM), allele 3 (\"03\"): "
       "the code letter \"?\" is reserved; give"},
      {"AB^", "03", " the code letter ^ is reserved.",
       "15: system 2 (SYSTEM), allele 3 (\"03\"): "
       "the code letter \"^\" is reserved"},
      {"ABA", "03", " the code letter A is that of allele number  1 as well.",
       "15: system 2 (SYSTEM), allele 3 (\"03\"): the code letter \"A\" is that of allele 1 as"
       " well; give"},
      // Typings of a name that does not reach the name width would read as missing.
      {"ABC", "3 ",
       " the name is blank in the last of its 2 columns; typings of it would read as"
       " missing.",
       "14: system 2 (SYSTEM), allele 3 (\"3\"): the name is blank in the last of its 2 columns,"
       " so typings of it would read as missing; end every allele name in the last column of"
       " its field"},
  };
  for (const auto& [codes, name, rule, explanation] : cases) {
    SCOPED_TRACE(rule);
    common::SystemTables systems;
    const Reading read =
        read_header(edited(header({"AB", codes}), {{14, "   01    02    " + name + " "}}), systems);
    EXPECT_TRUE(ended(read.outcome, "stop code 207: pheno.dat, line " + explanation));
    EXPECT_EQ(
        read.sinks.journal(),
        written_to({CONSOLE, LOG}, {"", " FATAL ERROR:", " Invalid allele in the data file header.",
                                    " Genetic system number  2, allele number  3 (allele name \"" +
                                        std::string(common::Typing(name).trimmed()) + "\"):",
                                    rule}));
  }
}

// A data file of the systems {"ABC", "AB"} with these record lines after the header.
Reading read_records(const Lines& records, common::Populations& populations,
                     const std::string& record_layout = "(A20,4A2)") {
  Lines text = header({"ABC", "AB"}, record_layout);
  text.insert(text.end(), records.begin(), records.end());
  return Reading(text, "pheno.dat", [&](layout::RecordReader& data, const layout::Sinks& sinks) {
    common::SystemTables systems;
    const layout::LayoutList parsed = input::read_data_header(data, systems, sinks);
    input::read_phenotype_records(data, systems, parsed, populations, sinks);
  });
}

std::string record(const std::string& population, const std::string& typings = "01020101") {
  return std::string(common::PopulationName(population).view()) + typings;
}

// "name:records " per population, then the four typings of the last record
// and the position after them, which stays blank.
std::string summary(const common::Populations& populations) {
  std::string text;
  for (int p = 0; p < populations.population_count(); ++p) {
    text += std::string(populations.population_names.at(p).trimmed()) + ":" +
            std::to_string(populations.population_record_count(p)) + " ";
  }
  for (std::size_t k = 0; k < 5; ++k) {
    text += "/" + std::string(populations.phenotype_table.back().back()[k].trimmed());
  }
  return text;
}

// The help channel's warning that records of a population come back, at the
// line where they do, as population `number`, first met as population `first`.
test_support::Written comes_back(int line, const std::string& name, int number, int first) {
  return {test_support::Destination::help,
          "warning: pheno.dat, line " + std::to_string(line) + ": records of population \"" + name +
              "\" come back after other populations; they start population number " +
              std::to_string(number) + " of the same name, analysed apart from population number " +
              std::to_string(first) +
              ": put the records of one population together if they are one"};
}

TEST(ReadPhenotypeRecords, PopulationsChangeWithTheName) {
  // The record lines, their layout, the populations read, the warnings.
  const std::tuple<Lines, std::string, std::string, std::vector<test_support::Written>> cases[] = {
      {{record("A", "01020102"), record("A"), record("B"), record("A", "03030202")},
       "(A20,4A2)",
       "A:2 B:1 A:1 /03/03/02/02/",
       {comes_back(24, "A", 3, 1)}},
      // Records of two lines: each return is told at its first line.
      {{"A", "01020101", "B", "01020101", "A", "01020101", "B", "01020101", "B", "01020101", "A",
        "01020101"},
       "(A20,/,4A2)",
       "A:1 B:1 A:1 B:2 A:1 /01/02/01/01/",
       {comes_back(25, "A", 3, 1), comes_back(27, "B", 4, 2), comes_back(31, "A", 5, 1)}},
      // Lines that end after the name, with or without trailing blanks.
      {{record("North"), "North", "North   "}, "(A20,4A2)", "North:3 /////", {}},
      // An empty last line is a record, with a blank name.
      {{record("A"), record("A"), ""}, "(A20,4A2)", "A:2 :1 /////", {}},
      {{record(""), ""}, "(A20,4A2)", ":2 /////", {}},
      // Records over two lines; the file ends inside the third, which is dropped.
      {{"Pop1", "----02-01-03-02", "Pop1", "----01-01-02-02", "Pop1"},
       "(A12,/,3X,4(1X,A2))",
       "Pop1:2 /01/01/02/02/",
       {}},
      {Lines(250, record("Large")), "(A20,4A2)", "Large:250 /01/02/01/01/", {}},
  };
  for (const auto& [records, record_layout, expected, warnings] : cases) {
    SCOPED_TRACE(expected);
    common::Populations populations;
    const Reading read = read_records(records, populations, record_layout);
    ASSERT_TRUE(completed(read.outcome));
    EXPECT_EQ(summary(populations), expected);
    EXPECT_EQ(read.sinks.journal(), warnings);
  }
}

TEST(ReadPhenotypeRecords, NoRecordIsStop205AfterTheMessage) {
  // The second file ends inside its only record, which is dropped.
  for (const Lines& records : {Lines{}, Lines{"Pop1"}}) {
    common::Populations populations;
    const Reading read = read_records(records, populations, "(A20,/,4A2)");
    EXPECT_TRUE(ended(read.outcome,
                      "stop code 205: pheno.dat holds no phenotype record after its header (the"
                      " file ends after line " +
                          std::to_string(20 + records.size()) +
                          "; a record the file ends"
                          " inside is dropped)"));
    EXPECT_EQ(read.sinks.journal(),
              written_to({LOG, CONSOLE}, {"", "", " ABORTING JOB", "",
                                          " No phenotype data records on input file.", ""}));
  }
}

// A control file: two free lines, three file names, then each grouping as its
// group count, its group sizes and one line of system numbers per group, with
// a free line between the two.
Lines control(const Groups& null_groups, const Groups& alt_groups) {
  Lines lines = {"Control file", "", "pheno.dat", "out.txt", "unused.out"};
  for (const Groups& groups : {null_groups, alt_groups}) {
    lines.push_back(layout::format_integer(static_cast<int>(groups.size()), 4));
    const std::size_t sizes = lines.size();
    lines.emplace_back();
    for (const std::vector<int>& group : groups) {
      lines[sizes] += layout::format_integer(static_cast<int>(group.size()), 4);
      std::string& systems = lines.emplace_back();
      for (const int s : group) {
        systems += layout::format_integer(s, 4);
      }
    }
    lines.emplace_back("--- alternative grouping ---");
  }
  lines.pop_back();
  return lines;
}

struct ControlFile {
  input::RunFileNames names;
  common::Grouping null_grouping, alt_grouping;
};

// Systems of 10, 4, 10, 8 and 3 alleles unless told otherwise.
Reading read_control(const Lines& lines, ControlFile& file,
                     const common::SystemTables& systems =
                         tables({"ABCDEFGHIJ", "ABCD", "ABCDEFGHIJ", "ABCDEFGH", "ABC"})) {
  return Reading(lines, "group.dat", [&](layout::RecordReader& reader, const layout::Sinks& sinks) {
    file.names = input::read_file_names(reader);
    input::read_groupings(reader, systems, file.null_grouping, file.alt_grouping, sinks);
  });
}

const Groups EVERY_SYSTEM = {{1}, {2}, {3}, {4}, {5}};

TEST(ReadControlFile, ReadsTheNamesAndTheGroupingsWithTheirPlaceValues) {
  ControlFile file;
  const Reading read = read_control(
      edited(control({{2, 5}, {1}, {3, 4}}, {{1, 2, 5}, {3}}),
             {{1, "I5 (("}, {3, "  pheno.dat   "}, {4, std::string(40, 'r') + "TAIL"}, {5, ""}}),
      file);
  ASSERT_TRUE(completed(read.outcome));
  EXPECT_EQ(file.names.data_file_name, "  pheno.dat");
  EXPECT_EQ(file.names.report_file_name, std::string(40, 'r'));  // cut at 40 columns
  EXPECT_EQ(file.null_grouping.group_systems, (Groups{{1, 4}, {0}, {2, 3}}));
  // Systems 2 and 5 have 4 and 3 alleles: 12 combinations.
  EXPECT_EQ(file.null_grouping.group_value_total, (std::vector<double>{12, 10, 80}));
  EXPECT_EQ(file.alt_grouping.group_systems, (Groups{{0, 1, 4}, {2}}));
  EXPECT_EQ(file.alt_grouping.group_value_total, (std::vector<double>{120, 10}));
  EXPECT_EQ(read.lines_read, 15);
}

TEST(ReadControlFile, EarlyEndIsAFileErrorNamingTheMissingLine) {
  const Lines full = control(EVERY_SYSTEM, {{2, 5}});
  for (int kept = 0; kept < static_cast<int>(full.size()); ++kept) {
    SCOPED_TRACE(kept);
    ControlFile file;
    EXPECT_TRUE(
        ended(read_control(Lines(full.begin(), full.begin() + kept), file).outcome,
              "file error group.dat:" + std::to_string(kept + 1) + ": unexpected end of file"));
  }
}

TEST(ReadControlFile, BrokenRuleStops206NamingGroupingAndGroup) {
  const Lines plain = control(EVERY_SYSTEM, {{2, 5}});
  // The control file, how reading it ends, and for 206 the grouping and the rule.
  const std::tuple<Lines, std::string, std::string, std::string> cases[] = {
      {edited(plain, {{3, "   "}}), "file error group.dat:3: blank file name", "", ""},
      {edited(plain, {{4, ""}}), "file error group.dat:4: blank file name", "", ""},
      {edited(plain, {{8, "   x"}}), "file error group.dat:8: ", "", ""},
      // The group count is checked before the next line is read.
      {edited(plain, {{6, "  50"}, {7, "x"}}),
       "stop code 206: group.dat, line 6: the null grouping: it has 50 groups; a grouping has 1"
       " to 10; correct the grouping in the control file",
       "null", " It has   50 groups; a grouping has 1 to 10."},
      {control({{1, 2}, {}, {3, 4, 5}}, {{1}}),
       "stop code 206: group.dat, line 7: the null grouping: group 2 has 0 systems; a group has"
       " 1 to 10",
       "null", " Group  2 has    0 systems; a group has 1 to 10."},
      {control({{1}, {2, 6}, {3, 4, 5}}, {{1}}),
       "stop code 206: group.dat, line 9: the null grouping: group 2 names system number 6; the"
       " data file has systems 1 to 5",
       "null", " Group  2 names system number    6; the data file has systems 1 to  5."},
      {control({{1, 2}, {3, 4, 5, 2}}, {{1}}),
       "stop code 206: group.dat, line 9: the null grouping: group 2 names system 2, which group"
       " 1 names already; a grouping names each system at most once",
       "null", " Group  2 names system number  2, which group  1 names already."},
      {control(EVERY_SYSTEM, {{1, 3, 4, 2}}),
       "stop code 206: group.dat, lines 14-16: the alternative grouping: group 1 has more than"
       " 800 allele combinations",
       "alternative", " Group  1 has more than 800 allele combinations; at most 800 are allowed."},
      {control({{1, 2}, {3, 4}}, {{1}}),
       "stop code 206: group.dat, lines 6-9: the null grouping: system 5 (SYSTEM) is in no group",
       "null", " System number  5 is in no group; the null grouping must hold every system."},
      // 800 combinations are allowed, and the alternative may leave out systems.
      {control(EVERY_SYSTEM, {{1, 3, 4}, {5}}), "completed", "", ""},
  };
  for (const auto& [text, ends, grouping, rule] : cases) {
    SCOPED_TRACE(ends + rule);
    ControlFile file;
    const Reading read = read_control(text, file);
    EXPECT_TRUE(ended(read.outcome, ends));
    EXPECT_EQ(read.sinks.journal(),
              rule.empty()
                  ? std::vector<test_support::Written>{}
                  : written_to({CONSOLE, LOG},
                               {"", " FATAL ERROR:",
                                " The " + grouping + " grouping of the control file is not valid.",
                                rule}));
  }
}

TEST(ReadControlFile, CombinationsBeyondThirtyTwoBitsStop206) {
  // 14 to the 9th power, cut to 32 bits, would be negative.
  ControlFile file;
  const Lines text =
      control({{1}, {2}, {3}, {4}, {5}, {6}, {7}, {8}, {9}}, {{1, 2, 3, 4, 5, 6, 7, 8, 9}});
  EXPECT_TRUE(stopped_with(read_control(text, file, tables(Lines(9, "ABCDEFGHIJKLMN"))).outcome,
                           StopCode::bad_grouping));
}

common::RecordTypings record_typings(const Lines& texts) {
  common::RecordTypings typings{};
  for (std::size_t k = 0; k < texts.size(); ++k) {
    typings[k].assign(texts[k]);
  }
  return typings;
}

// Codes individuals into one list of distinct phenotypes.
struct Coder {
  common::SystemTables systems;
  common::DistinctPhenotypes distinct;
  coding::PhenotypeIndex index;
  test_support::CapturedSinks sinks;

  Coder(const Lines& codes, int population_count) : systems(tables(codes)) {
    distinct.reset(population_count);
  }
  test_support::Outcome code(int population, int record, const Lines& typings,
                             std::string_view key = {}) {
    return test_support::run_capturing([&] {
      coding::code_individual(population, record, record_typings(typings), systems,
                              common::MAX_DISTINCT_PHENOTYPES, distinct, index, sinks.sinks(), key);
    });
  }
};

TEST(CodeIndividual, CodesNewPhenotypesAndTalliesThemPerPopulation) {
  Coder coder({"abc", "AB"}, 3);
  const std::pair<int, Lines> individuals[] = {
      // population, typings
      {0, {"01", "02", "02", "01"}},
      {0, {"02", "01", "01", "02"}},  // the same phenotype, each system's typings swapped
      {2, {"03", "01", "01", "01"}},
      {2, {"01", "02", "02", "01"}},  // the first phenotype in another population
      {1, {"02", "", "01", "02"}},    // a typing blank at the name width is missing
      {1, {"01", "02", "X", ""}},
      {1, {"01", "02", "", ""}},  // the same code string, but other typings
  };
  for (int r = 0; r < 7; ++r) {
    ASSERT_TRUE(completed(coder.code(individuals[r].first, r, individuals[r].second)));
  }
  Lines codes;
  for (const common::CodeString& code : coder.distinct.phenotype_code) {
    codes.emplace_back(code.trimmed());
  }
  EXPECT_EQ(codes, (Lines{"abBA", "caAA", "b?AB", "ab??", "ab??"}));
  EXPECT_EQ(coder.distinct.phenotype_tally,
            (Groups{{2, 0, 0, 0, 0}, {0, 0, 1, 1, 1}, {1, 1, 0, 0, 0}}));
  EXPECT_EQ(coder.distinct.distinct_typings[0], record_typings(individuals[0].second));
  EXPECT_EQ(coder.distinct.first_individual[1].population, 2);
  EXPECT_EQ(coder.distinct.first_individual[1].record, 2);
}

TEST(CodeIndividual, SystemWithoutAllelesStops375EvenForAMissingTyping) {
  Coder coder({"AB", ""}, 1);
  EXPECT_TRUE(stopped_with(coder.code(0, 0, {"01", "01", "", ""}), StopCode::unknown_allele));
}

TEST(CodeIndividual, ThousandPhenotypesAreAcceptedAndTheNextStops105) {
  Coder coder(Lines(3, "ABCDEFGHIJKLMN"), 1);
  // Individual r is homozygous in each system, for the alleles of the digits of r in base 14.
  const auto individual = [](int r) {
    const std::string a = allele(r / 196);
    const std::string b = allele(r / 14 % 14);
    const std::string c = allele(r % 14);
    return Lines{a, a, b, b, c, c};
  };
  for (int r = 0; r < 1000; ++r) {
    ASSERT_TRUE(completed(coder.code(0, r, individual(r))));
  }
  EXPECT_TRUE(completed(coder.code(0, 1000, individual(0))));  // a known phenotype still counts
  EXPECT_TRUE(ended(coder.code(0, 1001, individual(1000)),
                    "stop code 105: record 1002 of population number 1 brings a 1001st distinct"
                    " phenotype into one data set; at most 1000 are allowed"));
  EXPECT_EQ(coder.distinct.distinct_count(), 1000);
  EXPECT_EQ(coder.distinct.phenotype_tally[0][0], 2);
  EXPECT_TRUE(coder.sinks.journal().empty());
}

// The look-up rule written out plainly: each of three systems holds the same two typings.
bool same_three_systems(const common::RecordTypings& a, const common::RecordTypings& b) {
  for (std::size_t k = 0; k < 6; k += 2) {
    if (std::minmax(a[k], a[k + 1]) != std::minmax(b[k], b[k + 1])) {
      return false;
    }
  }
  return true;
}

TEST(CodeIndividual, ACallersKeyDecidesWhichPhenotypesAreEqual) {
  Coder coder({"abc", "AB"}, 1);
  // key, typings: the key alone decides, even against the typings' text.
  const std::pair<const char*, Lines> individuals[] = {{"k1", {"01", "02", "01", "02"}},
                                                       {"k2", {"01", "02", "01", "02"}},
                                                       {"k1", {"03", "03", "02", "02"}}};
  for (int attempt = 0; attempt < 2; ++attempt) {
    coder.distinct.reset(1);  // an emptied table starts the keyed index over
    for (int r = 0; r < 3; ++r) {
      ASSERT_TRUE(completed(coder.code(0, r, individuals[r].second, individuals[r].first)));
    }
    EXPECT_EQ(coder.distinct.phenotype_tally, (Groups{{2, 1}}));
  }
}

TEST(CodeIndividual, IndexAgreesWithAScanOfTheList) {
  Coder coder({"ABC", "AB", "ABC"}, 2);
  const Lines choices = {"01", "02", "", "X", "03"};  // "" and "X" are missing typings
  std::mt19937 random(12345);                         // its sequence is the same everywhere
  for (int attempt = 0; attempt < 2; ++attempt) {
    coder.distinct.reset(2);                  // the index must notice and start over
    std::vector<common::RecordTypings> seen;  // the distinct phenotypes of a plain scan
    Groups tally(2);
    for (int r = 0; r < 400; ++r) {
      Lines texts;
      for (int k = 0; k < 6; ++k) {
        texts.push_back(choices[random() % (k / 2 == 1 ? 4 : 5)]);
      }
      const common::RecordTypings typings = record_typings(texts);
      std::size_t d = 0;
      while (d < seen.size() && !same_three_systems(seen[d], typings)) {
        ++d;
      }
      if (d == seen.size()) {
        seen.push_back(typings);
        for (std::vector<int>& row : tally) {
          row.push_back(0);
        }
      }
      const auto population = static_cast<int>(random() % 2);
      ++tally[static_cast<std::size_t>(population)][d];
      ASSERT_TRUE(completed(coder.code(population, r, texts)));
    }
    EXPECT_EQ(coder.distinct.distinct_typings, seen);
    EXPECT_EQ(coder.distinct.phenotype_tally, tally);
    EXPECT_GT(seen.size(), 64U);  // the index grows past its first table
  }
}

}  // namespace
