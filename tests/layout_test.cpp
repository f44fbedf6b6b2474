// Layout lists: which the parser accepts and how it refuses the rest, and
// the records and fields the writer makes from them.

#include "layout/layout.h"

#include <gtest/gtest.h>

#include <cmath>
#include <initializer_list>
#include <limits>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "support/capture.h"

namespace {

using Records = std::vector<std::string>;
using layout::WriteValue;

// Layouts of the program's code and of valid data files. Each element goes
// through the consteval constructor, so the array is a compile-time test too.
// NOLINTBEGIN(bugprone-suspicious-missing-comma): long layouts are split literals
constexpr layout::LayoutText PROGRAM_LAYOUTS[] = {
    "(/)",
    "(A40)",
    "(I4)",
    "(10I4)",
    "(2A)",
    "(/,/,I5)",
    "(A30)",
    "(I5)",
    "(I5,/)",
    "(20(4X,A1,1X))",
    "(20(A5,1X))",
    "(/,A100)",
    "(2(/))",
    "('npermu=',5X,I4)",
    "(A10,1X,F5.3,2X,F5.3,4X,F5.3,4X,F8.2,2X,F8.3,2X,F8.3,2X,I4)",
    "(/,/,/,' NON-FATAL PROBLEM',5X,'MORE THAN ',I2,' SAMPLE POPLUATIONS FOUND ON INPUT',/,/,"
    "'  Will NOT Process any samples after ',A20,/,/)",
    "(/,/,' FATAL ERROR:',/,' Encountered allele not in the allele list.',/,"
    "' Processing genetic system number: ',I3,' in the phenotype set below:',/,"
    "' Phenotypes ',10(2A5,'..'))",
    "(' Dataset ',I4,' Tries =',I4)",
    "(/,' END OF FILE ENCOUNTERED UNEXPECTEDLY')",
    "('WARNING***:  EM not convergence after',I4,' iteration')",
    "(/,/,' ABORTING JOB',/,/,' No phenotype data records on input file.',/)",
    "(A20,8A2)",
    "(A20,4(1X,2A2))",
    "(A20,2A2/20X,4A2)"};
// NOLINTEND(bugprone-suspicious-missing-comma)

// Groups nest ten deep inside the outer parentheses; a refusal is a constant expression too.
static_assert(layout::layout_is_valid("(1(2(3(4(5(6(7(8(9(10(I1)))))))))))") &&
              !layout::layout_is_valid("(T5,I4)"));

Records records(layout::LayoutText text, std::initializer_list<WriteValue> values = {}) {
  return layout::format_records(layout::parsed(text), {values.begin(), values.size()});
}

TEST(LayoutParse, AcceptsEveryProgramLayoutAtRunTime) {
  for (const layout::LayoutText& text : PROGRAM_LAYOUTS) {
    const layout::ParseResult result = layout::parse_layout(text.text());
    ASSERT_TRUE(result.list.has_value()) << text.text() << ": " << result.error.what;
    EXPECT_EQ(result.list->source, text.text());
  }
}

TEST(LayoutParse, AcceptsBlanksLowerCaseAndSlashesWithoutCommas) {
  const std::initializer_list<WriteValue> values = {7, 0.5, "ab"};
  EXPECT_EQ(records(" ( 1 0 x , i 1 2 , f 8 . 3 , a 2 ) ", values),
            records("(10X,I12,F8.3,A2)", values));
  EXPECT_EQ(records("(I2/I2//)", {1, 2}), (Records{" 1", " 2", "", ""}));
}

TEST(LayoutParse, RefusesWithPositionAndReason) {
  struct Case {
    std::string_view text;
    int position;  // 1-based
    std::string_view what;
  };
  const Case cases[] = {
      {"(T5,I4)", 2, "'T' is not a supported item"},
      {"(I4,TL5)", 5, "'T' is not a supported item"},
      {"(E10.3)", 2, "'E' is not a supported item"},
      {"(G10.3)", 2, "'G' is not a supported item"},
      {"(L2)", 2, "'L' is not a supported item"},
      {"(1P,F5.3)", 3, "'P' is not a supported item"},
      {"(I5:I3)", 4, "unexpected ':'"},
      {"(I5,\xffI3)", 5, "unexpected '\\xFF'"},
      {"(I0)", 3, "a field width must be at least 1"},
      {"(I40000)", 3, "a field width must be at most 32767"},
      {"(I)", 3, "I needs a field width, as in I5"},
      {"(X)", 2, "X needs the number of columns in front, as in 1X"},
      {"(F5)", 4, "F needs '.' and the number of decimals, as in F5.3"},
      {"(F5.)", 5, "F needs the number of decimals after '.', as in F5.3"},
      {"(2(I5)", 1, "this '(' has no matching ')'"},
      {"(I5) x", 6, "unexpected 'x' after the closing ')'"},
      {"I5", 1, "a layout list must start with '('"},
      {"(I5,)", 5, "an item is missing after ','"},
      {"(,I5)", 2, "an item is missing before ','"},
      {"(I5,,I3)", 5, "an item is missing before ','"},
      {"(I5 I3)", 5, "',' is missing between two items"},
      {"('abc)", 2, "this text has no closing apostrophe"},
      {"(2'ab')", 2, "a text item cannot have a repeat count"},
      {"(2/)", 2, "'/' cannot have a repeat count"},
      {"(2())", 4, "a group must hold at least one item"},
      {"(3)", 2, "the count is not followed by an item"},
      {"(1(2(3(4(5(6(7(8(9(10(11(I1))))))))))))", 25, "groups are nested too deeply"},
  };
  for (const Case& c : cases) {
    const layout::ParseResult result = layout::parse_layout(c.text);
    EXPECT_FALSE(result.list.has_value()) << c.text;
    EXPECT_EQ(result.error.position, c.position) << c.text;
    EXPECT_EQ(result.error.what, c.what) << c.text;
    EXPECT_FALSE(layout::layout_is_valid(c.text)) << c.text;
  }
}

TEST(LayoutWrite, Records) {
  struct Case {
    layout::LayoutText layout;
    std::vector<WriteValue> values;
    Records records;
  };
  const Case cases[] = {
      {"(/,/,' ABORTING JOB',/,/,' No phenotype data records on input file.',/)",
       {},
       {"", "", " ABORTING JOB", "", " No phenotype data records on input file.", ""}},
      {"(' Dataset ',I4,' Tries =',I4)", {7, 12}, {" Dataset    7 Tries =  12"}},
      // The values run out at the fourth pair: the record ends before its first data item.
      {"(/,/,' FATAL ERROR:',/,' Encountered allele not in the allele list.',/,"
       "' Processing genetic system number: ',I3,' in the phenotype set below:',/,"
       "' Phenotypes ',10(2A5,'..'))",
       {2, "A1   ", "A2   ", "B10  ", "B2   ", "C1   ", "C200 "},
       {"", "", " FATAL ERROR:", " Encountered allele not in the allele list.",
        " Processing genetic system number:   2 in the phenotype set below:",
        " Phenotypes A1   A2   ..B10  B2   ..C1   C200 .."}},
      // Reversion: a new record, then the whole list, or the last top-level group with its count.
      {"(10I4)",
       {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12},
       {"   1   2   3   4   5   6   7   8   9  10", "  11  12"}},
      {"('>',2(1X,A1),'<')", {"a", "b", "c", "d", "e"}, {"> a b<", " c d<", " e "}},
      {"(I2,/)", {5}, {" 5", ""}},
      {"(/,/,'a')", {}, {"", "", "a"}},
      {"(' it''s ',A)", {"x y "}, {" it's x y "}},
      {"(2(1X,2(1X)),I1)", {5}, {"      5"}},  // a group of blanks: 2 * (1 + 2) columns
  };
  for (const Case& c : cases) {
    EXPECT_EQ(layout::format_records(layout::parsed(c.layout), c.values), c.records)
        << c.layout.text();
  }
}

TEST(LayoutWrite, Fields) {
  struct Case {
    layout::LayoutText layout;
    WriteValue value;
    std::string_view field;
  };
  const Case cases[] = {
      {"(I4)", 7, "   7"},
      {"(I4)", -5, "  -5"},
      {"(I4)", 9999, "9999"},
      {"(I4)", 10000, "****"},
      {"(I4)", -1000, "****"},
      {"(F8.3)", 1234.5678, "1234.568"},
      {"(F5.3)", 0.0625, " .062"},    // exact binary tie: to the even digit
      {"(F8.2)", 0.375, "     .38"},  // exact binary tie: to the even digit
      {"(F5.3)", 0.5, " .500"},
      {"(F5.3)", -0.25, "-.250"},
      {"(F5.3)", -0.0, " .000"},
      {"(F5.3)", -0.0004, "-.000"},  // rounds to zero and keeps its sign
      {"(F5.3)", 0.9996, "1.000"},   // rounding carries into the integer part
      {"(F5.0)", 0.4, "   0."},      // d = 0: the zero stays, the point too
      {"(F8.2)", 1e6, "********"},
      {"(F5.3)", std::nan(""), "*****"},
      {"(F8.2)", std::numeric_limits<double>::infinity(), "********"},
      {"(F8.2)", std::numeric_limits<double>::max(), "********"},  // 309 digits before the point
      {"(A5)", "ab", "   ab"},                                     // blanks first
      {"(A5)", "abcdefg", "abcde"},                                // the leftmost characters
  };
  for (const Case& c : cases) {
    EXPECT_EQ(layout::format_records(layout::parsed(c.layout), {&c.value, 1}),
              Records{std::string(c.field)})
        << c.layout.text();
  }
}

TEST(LayoutWrite, StreamSinkEndsRecordsWithLfOrCrLf) {
  std::ostringstream console;
  std::ostringstream file;
  layout::StreamSink console_sink(console, layout::LineEnd::lf);
  layout::StreamSink file_sink(file, layout::LineEnd::crlf);
  layout::write(console_sink, "('a',/,/,'b')");
  layout::write(file_sink, "('a',/,/,'b')");
  EXPECT_EQ(console.str(), "a\n\nb\n");
  EXPECT_EQ(file.str(), "a\r\n\r\nb\r\n");
}

// A stream whose every write fails, as standard output on a full disk.
class FailingBuffer final : public std::streambuf {
 protected:
  int_type overflow(int_type /*c*/) override { return traits_type::eof(); }
};

TEST(LayoutWrite, StreamSinkEndsTheRunOnAWriteErrorUnlessTold) {
  FailingBuffer buffer;
  std::ostream out(&buffer);
  layout::StreamSink console(out, layout::LineEnd::lf);
  try {
    console.write_record("npermu=        1");
    ADD_FAILURE() << "no FileError";
  } catch (const common::FileError& error) {
    EXPECT_EQ(error.file, "standard output");
    EXPECT_EQ(error.what.substr(0, 12), "cannot write");
  }
  layout::StreamSink help(out, layout::LineEnd::lf, "standard error",
                          layout::WriteFailure::ignored);
  EXPECT_NO_THROW(help.write_record("warning"));
}

TEST(LayoutHelp, LinesShowUnprintableBytesEscaped) {
  const std::pair<common::FileError, std::string> file_errors[] = {
      {{"group.dat", 4, "report file \"r\x1b[2J.txt\": exists"},
       "group.dat:4: report file \"r\\x1B[2J.txt\": exists"},
      {{"d\x07.dat", 0, "cannot open it"}, "d\\x07.dat: cannot open it"},
      {{"", 0, "2 output files are refused"}, "2 output files are refused"},
  };
  for (const auto& [error, line] : file_errors) {
    EXPECT_EQ(layout::file_error_line(error), line);
  }
  EXPECT_EQ(layout::stop_help_line({common::StopCode::allele_count, "system 1 (\tACP)"}),
            "stop code 202: system 1 (\\x09ACP)");
  EXPECT_EQ(layout::titled("system 3", "  TF  "), "system 3 (TF)");
  EXPECT_EQ(layout::titled("system 3", "   "), "system 3");

  layout::MemorySink help;
  layout::MemorySink other;
  layout::write_help({other, other, other, &help}, "population \"\x1b\"");
  layout::write_help({other, other, other}, "nobody listens");
  EXPECT_EQ(help.records(), std::vector<std::string>{"population \"\\x1B\""});
  EXPECT_TRUE(other.records().empty());
}

TEST(LayoutMessages, EachSinkGetsTheWholeMessageInTurnThenTheStop) {
  test_support::CapturedSinks captured;
  const layout::Sinks sinks = captured.sinks();
  const std::initializer_list<WriteValue> values = {7, std::string_view("NULL")};
  const test_support::Outcome outcome = test_support::run_capturing([&] {
    layout::write_then_stop({{"(/,' FATAL ERROR:')"}, {"(' Group ',I2,' of the ',A)", values}},
                            {&sinks.log, &sinks.report, &sinks.console},
                            {common::StopCode::bad_grouping, "group 7: correct it"});
  });
  EXPECT_TRUE(test_support::ended(outcome, "stop code 206: group 7: correct it"));
  using enum test_support::Destination;
  EXPECT_EQ(captured.journal(),
            test_support::written_to({log, report, console},
                                     {"", " FATAL ERROR:", " Group  7 of the NULL"}));
}

}  // namespace
