#include <gtest/gtest.h>

#include <optional>
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
using test_support::header_lines;
using test_support::lines;
using test_support::numbered_system;
using test_support::Outcome;
using test_support::run_capturing;
using test_support::stopped_with;
using test_support::SystemText;
using test_support::TextFile;

// Line numbers of a header (1-based), system s counted from 0.
constexpr int COUNT_LINE = 3;
constexpr int title_line(int s) { return 4 + 6 * s; }
constexpr int allele_count_line(int s) { return 5 + 6 * s; }
constexpr int width_line(int s) { return 6 + 6 * s; }
constexpr int free_line_after_width(int s) { return 7 + 6 * s; }
constexpr int name_line(int s) { return 8 + 6 * s; }
constexpr int code_line(int s) { return 9 + 6 * s; }
constexpr int layout_line(int system_count) { return 5 + 6 * system_count; }

const std::string PLAIN_LAYOUT = "(A20,4A2)";

// Reads a header from the lines; the tables and the layout are kept.
struct HeaderRead {
  common::SystemTables systems;
  std::optional<layout::LayoutList> record_layout;
  CapturedSinks sinks;
  Outcome outcome;
  int lines_consumed = 0;

  explicit HeaderRead(const std::vector<std::string>& text) {
    TextFile data(lines(text), "pheno.dat");
    outcome = run_capturing(
        [&] { record_layout = input::read_data_header(data.reader(), systems, sinks.sinks()); });
    lines_consumed = data.reader().line_number();
  }
};

std::vector<std::string> two_system_header() {
  return header_lines({numbered_system(3), numbered_system(2)}, PLAIN_LAYOUT);
}

void set_line(std::vector<std::string>& text, int line, std::string content) {
  text[static_cast<std::size_t>(line - 1)] = std::move(content);
}

TEST(ReadDataHeader, FillsTheSystemTables) {
  std::vector<SystemText> systems = {numbered_system(3), numbered_system(2)};
  systems[1].codes = "xy";
  const HeaderRead read(header_lines(systems, PLAIN_LAYOUT));
  ASSERT_TRUE(test_support::completed(read.outcome));
  EXPECT_EQ(read.systems.system_count, 2);
  EXPECT_EQ(read.systems.typing_count(), 4);
  EXPECT_EQ(read.systems.allele_count, (std::vector<int>{3, 2}));
  EXPECT_EQ(read.systems.allele_name_width, (std::vector<int>{2, 2}));
  EXPECT_EQ(read.systems.allele_name[0][2].view(), "03   ");
  EXPECT_EQ(read.systems.allele_code[1], (std::vector<char>{'x', 'y'}));
  EXPECT_EQ(read.systems.record_format.trimmed(), PLAIN_LAYOUT);
  ASSERT_TRUE(read.record_layout.has_value());
  EXPECT_EQ(read.lines_consumed, layout_line(2) + 3);
  EXPECT_TRUE(read.sinks.empty());
}

TEST(ReadDataHeader, ReadsNamesOfEveryWidthFromTheirSixColumnFields) {
  for (int width = 1; width <= 5; ++width) {
    SCOPED_TRACE(width);
    const std::string full = std::string("ABCDE").substr(0, static_cast<std::size_t>(width));
    // A leading blank stays part of the name (width 1 has no room for one).
    const std::string shorter = width == 1 ? "Z" : " " + full.substr(1);
    std::vector<std::string> text =
        header_lines({numbered_system(2), numbered_system(2)}, PLAIN_LAYOUT);
    set_line(text, width_line(0), test_support::right(width, 5));
    // Columns outside the names hold '#', which no read may pick up.
    set_line(text, name_line(0), test_support::allele_name_line({full, shorter}, width, '#'));
    set_line(text, code_line(0), test_support::code_letter_line("pq", '#'));
    const HeaderRead read(text);
    ASSERT_TRUE(test_support::completed(read.outcome));
    EXPECT_EQ(read.systems.allele_name[0][0], common::Typing(full));
    EXPECT_EQ(read.systems.allele_name[0][1].view(), test_support::left(shorter, 5));
    EXPECT_EQ(read.systems.allele_code[0], (std::vector<char>{'p', 'q'}));
  }
}

TEST(ReadDataHeader, NeverReadsTheFreeLinesAndTheTitleBeyondThirtyColumns) {
  std::vector<std::string> text = two_system_header();
  set_line(text, 1, "x");
  set_line(text, 2, "I5 not a number");
  set_line(text, title_line(0), std::string(30, 'T') + "   17 trailing");
  set_line(text, free_line_after_width(0), "  -x-");
  set_line(text, free_line_after_width(1), "abc");
  set_line(text, layout_line(2) - 1, "((((");
  set_line(text, layout_line(2) + 1, "'''");
  const HeaderRead read(text);
  EXPECT_TRUE(test_support::completed(read.outcome));
}

TEST(ReadDataHeader, AlleleCountZeroConsumesItsNameAndCodeLines) {
  std::vector<std::string> text = two_system_header();
  set_line(text, allele_count_line(0), "    0");
  set_line(text, name_line(0), "   XX    YY");
  set_line(text, code_line(0), "    ?     ?");
  const HeaderRead read(text);
  ASSERT_TRUE(test_support::completed(read.outcome));
  EXPECT_EQ(read.systems.allele_count[0], 0);
  EXPECT_TRUE(read.systems.allele_name[0].empty());
  EXPECT_EQ(read.systems.allele_count[1], 2);
}

TEST(ReadDataHeader, LimitsStopWithoutAMessage) {
  struct Case {
    int line;
    std::string content;
    StopCode stop;
  };
  const std::vector<Case> cases = {
      {COUNT_LINE, "    1", StopCode::system_count},
      {COUNT_LINE, "   11", StopCode::system_count},
      {COUNT_LINE, "", StopCode::system_count},
      {COUNT_LINE, "   -2", StopCode::system_count},
      {allele_count_line(1), "   15", StopCode::allele_count},
      {width_line(1), "", StopCode::name_width},
      {width_line(1), "    0", StopCode::name_width},
      {width_line(1), "    6", StopCode::name_width},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.content);
    std::vector<std::string> text = two_system_header();
    set_line(text, c.line, c.content);
    const HeaderRead read(text);
    EXPECT_TRUE(stopped_with(read.outcome, c.stop));
    EXPECT_TRUE(read.sinks.empty());
  }
}

TEST(ReadDataHeader, AcceptsTheLimits) {
  std::vector<SystemText> ten(10, numbered_system(2));
  ten[3] = numbered_system(14);
  EXPECT_TRUE(test_support::completed(HeaderRead(header_lines(ten, "(A20,20A2)")).outcome));
  EXPECT_TRUE(test_support::completed(HeaderRead(two_system_header()).outcome));
}

TEST(ReadDataHeader, EndOfFileInTheSystemsIsStop204OnConsoleLogAndReport) {
  // After the second system's allele count line.
  const std::vector<std::string> full = two_system_header();
  const HeaderRead read(
      std::vector<std::string>(full.begin(), full.begin() + allele_count_line(1)));
  ASSERT_TRUE(stopped_with(read.outcome, StopCode::header_end_of_file));
  const std::vector<std::string> message = {"", " END OF FILE ENCOUNTERED UNEXPECTEDLY"};
  EXPECT_EQ(read.sinks.console(), message);
  EXPECT_EQ(read.sinks.log(), message);
  EXPECT_EQ(read.sinks.report(), message);
  EXPECT_EQ(
      read.sinks.destination_order(),
      (std::vector<Destination>{Destination::console, Destination::log, Destination::report}));
}

TEST(ReadDataHeader, EveryEarlyEndIsStop204UpToTheCodesAndAFileErrorAfter) {
  const std::vector<std::string> full = two_system_header();
  const int last_code_line = code_line(1);
  for (int kept = 0; kept < static_cast<int>(full.size()); ++kept) {
    SCOPED_TRACE(kept);
    const HeaderRead read(std::vector<std::string>(full.begin(), full.begin() + kept));
    if (kept < last_code_line) {
      EXPECT_TRUE(stopped_with(read.outcome, StopCode::header_end_of_file));
    } else {
      EXPECT_TRUE(file_error_at(read.outcome, "pheno.dat", kept + 1, "end of file"));
      EXPECT_TRUE(read.sinks.empty());
    }
  }
}

TEST(ReadDataHeader, BadAllelesStop207NamingSystemAndAllele) {
  struct Case {
    std::string codes;
    std::string third_name;
    std::string rule;
  };
  const std::vector<Case> cases = {
      {"AB ", "03", " the code letter is blank."},
      {"AB?", "03", " the code letter ? is reserved."},
      {"AB^", "03", " the code letter ^ is reserved."},
      {"ABA", "03", " the code letter A is that of allele number  1 as well."},
      // A name that does not reach the name width would read as a missing typing.
      {"ABC", "3 ", " the name is blank in the last of its 2 columns; typings of it would read as"
                    " missing."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.codes);
    std::vector<SystemText> systems = {numbered_system(2), numbered_system(3)};
    systems[1].codes = c.codes;
    systems[1].names[2] = c.third_name;
    const HeaderRead read(header_lines(systems, PLAIN_LAYOUT));
    ASSERT_TRUE(stopped_with(read.outcome, StopCode::bad_code_letter));
    const std::vector<std::string> message = {
        "", " FATAL ERROR:", " Invalid allele in the data file header.",
        " Genetic system number  2, allele number  3 (allele name \"" +
            std::string(common::Typing(c.third_name).trimmed()) + "\"):",
        c.rule};
    EXPECT_EQ(read.sinks.console(), message);
    EXPECT_EQ(read.sinks.log(), message);
    EXPECT_EQ(read.sinks.destination_order(),
              (std::vector<Destination>{Destination::console, Destination::log}));
  }
}

TEST(ReadDataHeader, RecordLayoutIsCutAtOneHundredColumns) {
  std::vector<std::string> text = two_system_header();
  set_line(text, layout_line(2), PLAIN_LAYOUT + std::string(100 - PLAIN_LAYOUT.size(), ' ') + "X");
  const HeaderRead read(text);
  EXPECT_TRUE(test_support::completed(read.outcome));
}

TEST(ReadDataHeader, UnusableRecordLayoutIsAFileErrorAtItsLine) {
  for (const std::string bad : {"(A20,4Q2)", "A20,4A2", "(A20,'x',4A2)", "(A20,F5.3)", ""}) {
    SCOPED_TRACE(bad);
    std::vector<std::string> text = two_system_header();
    set_line(text, layout_line(2), bad);
    EXPECT_TRUE(
        file_error_at(HeaderRead(text).outcome, "pheno.dat", layout_line(2), "record layout"));
  }
}

}  // namespace
