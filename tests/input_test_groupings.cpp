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
using test_support::file_error_at;
using test_support::groupings_lines;
using test_support::lines;
using test_support::numbered_system;
using test_support::Outcome;
using test_support::run_capturing;
using test_support::TextFile;

using Groups = std::vector<std::vector<int>>;

// Five systems with 2, 4, 2, 2 and 3 alleles.
const common::SystemTables SYSTEMS =
    test_support::system_tables({numbered_system(2), numbered_system(4), numbered_system(2),
                                 numbered_system(2), numbered_system(3)});

// The first control line of the groupings (after the five name lines).
constexpr int FIRST_GROUPING_LINE = 6;

struct GroupingsRead {
  common::Grouping null_grouping;
  common::Grouping alt_grouping;
  CapturedSinks sinks;
  Outcome outcome;
  int lines_consumed = 0;

  explicit GroupingsRead(const std::vector<std::string>& grouping_text) {
    std::vector<std::string> text = {"", "", "pheno.dat", "out.txt", "unused.out"};
    text.insert(text.end(), grouping_text.begin(), grouping_text.end());
    text.emplace_back("never read");
    TextFile control(lines(text), "group.dat");
    outcome = run_capturing([&] {
      static_cast<void>(input::read_file_names(control.reader()));
      input::read_groupings(control.reader(), SYSTEMS, null_grouping, alt_grouping, sinks.sinks());
    });
    lines_consumed = control.reader().line_number();
  }
  GroupingsRead(const Groups& null_groups, const Groups& alt_groups)
      : GroupingsRead(groupings_lines(null_groups, alt_groups)) {}
};

TEST(ReadGroupings, StoresZeroBasedSystemsAndDerivesPlaceValues) {
  const GroupingsRead read({{2, 5}, {1}, {3, 4}}, {{1, 2, 5}, {3}});
  ASSERT_TRUE(test_support::completed(read.outcome));
  const common::Grouping& null_grouping = read.null_grouping;
  EXPECT_EQ(null_grouping.group_total, 3);
  EXPECT_EQ(null_grouping.group_size, (std::vector<int>{2, 1, 2}));
  EXPECT_EQ(null_grouping.group_systems, (Groups{{1, 4}, {0}, {2, 3}}));
  EXPECT_EQ(null_grouping.group_place_value, (Groups{{3, 1}, {1}, {2, 1}}));
  EXPECT_EQ(null_grouping.group_value_total, (std::vector<int>{12, 2, 4}));
  EXPECT_EQ(read.alt_grouping.group_systems, (Groups{{0, 1, 4}, {2}}));
  EXPECT_EQ(read.alt_grouping.group_value_total, (std::vector<int>{24, 2}));
  // Lines 6 to 10 the null grouping, 11 free, 12 to 15 the alternative;
  // the line after the last group is never read.
  EXPECT_EQ(read.lines_consumed, 15);
  EXPECT_TRUE(read.sinks.empty());
}

TEST(ReadGroupings, EndOfFileNamesTheMissingLine) {
  const std::vector<std::string> full = groupings_lines({{1, 2, 3, 4, 5}}, {{1, 2, 3, 4, 5}});
  for (int kept = 0; kept < static_cast<int>(full.size()); ++kept) {
    SCOPED_TRACE(kept);
    std::vector<std::string> text(full.begin(), full.begin() + kept);
    TextFile control(lines(text), "group.dat");
    const Outcome outcome = run_capturing([&] {
      common::Grouping null_grouping;
      common::Grouping alt_grouping;
      CapturedSinks sinks;
      input::read_groupings(control.reader(), SYSTEMS, null_grouping, alt_grouping, sinks.sinks());
    });
    EXPECT_TRUE(file_error_at(outcome, "group.dat", kept + 1, "end of file"));
  }
}

TEST(ReadGroupings, FieldThatIsNotANumberIsAFileError) {
  std::vector<std::string> text = groupings_lines({{1, 2, 3, 4, 5}}, {{1, 2, 3, 4, 5}});
  text[2] = "   1   2   x   4   5";
  EXPECT_TRUE(file_error_at(GroupingsRead(text).outcome, "group.dat", FIRST_GROUPING_LINE + 2));
}

TEST(ReadGroupings, BrokenRuleStops206NamingGroupingAndGroup) {
  struct Case {
    Groups null_groups;
    Groups alt_groups;
    std::string grouping;
    std::string rule;
  };
  const Groups every = {{1}, {2}, {3}, {4}, {5}};
  const std::vector<Case> cases = {
      {{}, every, "null", " It has    0 groups; a grouping has 1 to 10."},
      {every, Groups(11, {1}), "alternative", " It has   11 groups; a grouping has 1 to 10."},
      {{{1, 2}, {}, {3, 4, 5}}, every, "null", " Group  2 has    0 systems; a group has 1 to 10."},
      {every,
       {{1, 2, 3, 4, 5, 1, 2, 3, 4, 5, 1}},
       "alternative",
       " Group  1 has   11 systems; a group has 1 to 10."},
      {{{1}, {2, 6}, {3, 4, 5}},
       every,
       "null",
       " Group  2 names system number    6; the data file has systems 1 to  5."},
      {every,
       {{0}},
       "alternative",
       " Group  1 names system number    0; the data file has systems 1 to  5."},
      {{{1, 2}, {3, 4, 5, 2}},
       every,
       "null",
       " Group  2 names system number  2, which group  1 names already."},
      {every,
       {{1, 3, 1}},
       "alternative",
       " Group  1 names system number  1, which group  1 names already."},
      {{{1, 2}, {3, 4}},
       every,
       "null",
       " System number  5 is in no group; the null grouping must hold every system."},
      {every, {{5, 2}, {3}}, "alternative", ""},  // accepted: a partial alternative
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.rule);
    const GroupingsRead read(c.null_groups, c.alt_groups);
    if (c.rule.empty()) {
      EXPECT_TRUE(test_support::completed(read.outcome));
      continue;
    }
    ASSERT_TRUE(test_support::stopped_with(read.outcome, StopCode::bad_grouping));
    const std::vector<std::string> message = {
        "", " FATAL ERROR:", " The " + c.grouping + " grouping of the control file is not valid.",
        c.rule};
    EXPECT_EQ(read.sinks.console(), message);
    EXPECT_EQ(read.sinks.log(), message);
    EXPECT_EQ(read.sinks.destination_order(),
              (std::vector<Destination>{Destination::console, Destination::log}));
  }
}

TEST(ReadGroupings, GroupCountIsCheckedBeforeAnyFurtherLineIsRead) {
  const GroupingsRead read({"  50", "garbage that is not a number"});
  EXPECT_TRUE(test_support::stopped_with(read.outcome, StopCode::bad_grouping));
  EXPECT_EQ(read.lines_consumed, FIRST_GROUPING_LINE);
}

TEST(ReadGroupings, GroupOfMoreThanEightHundredCombinationsStops206) {
  struct Case {
    std::vector<int> allele_counts;
    std::vector<int> group;
    bool accepted;
  };
  const std::vector<Case> cases = {
      {{10, 10, 8, 2}, {1, 2, 3}, true},
      {{10, 10, 8, 2}, {1, 2, 3, 4}, false},
      {std::vector<int>(10, 14), {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}, false},  // beyond 32 bits
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.group.size());
    std::vector<test_support::SystemText> texts;
    for (const int count : c.allele_counts) {
      texts.push_back(numbered_system(count));
    }
    const common::SystemTables systems = test_support::system_tables(texts);
    const int system_count = systems.system_count;
    TextFile control(
        lines(groupings_lines(test_support::one_group_per_system(system_count), {c.group})),
        "group.dat");
    common::Grouping null_grouping;
    common::Grouping alt_grouping;
    CapturedSinks sinks;
    const Outcome outcome = run_capturing([&] {
      input::read_groupings(control.reader(), systems, null_grouping, alt_grouping, sinks.sinks());
    });
    if (c.accepted) {
      ASSERT_TRUE(test_support::completed(outcome));
      EXPECT_EQ(alt_grouping.group_value_total, (std::vector<int>{800}));
      continue;
    }
    ASSERT_TRUE(test_support::stopped_with(outcome, StopCode::bad_grouping));
    EXPECT_EQ(sinks.console().back(),
              " Group  1 has more than 800 allele combinations; at most 800 are allowed.");
  }
}

}  // namespace
