// Layout lists: which the parser accepts and how it refuses the rest, the
// records and fields the writer makes from them, and what the reader takes
// from records.

#include "layout/layout.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstddef>
#include <initializer_list>
#include <limits>
#include <span>
#include <sstream>
#include <streambuf>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/text.h"
#include "support/capture.h"

namespace {

using Records = std::vector<std::string>;
using layout::ReadStatus;
using layout::WriteValue;
using test_support::error_of;

// Layouts of each shape the program's code and valid data files use: nested
// groups, texts, slashes, records over two lines. Each element goes through
// the consteval constructor, so the array is a compile-time test too.
// NOLINTBEGIN(bugprone-suspicious-missing-comma): long layouts are split literals
constexpr layout::LayoutText PROGRAM_LAYOUTS[] = {
    "(/)",
    "(2A)",
    "(2(/))",
    "(20(4X,A1,1X))",
    "('npermu=',5X,I4)",
    "(A10,1X,F5.3,2X,F5.3,4X,F5.3,4X,F8.2,2X,F8.3,2X,F8.3,2X,I4)",
    "(/,/,/,' NON-FATAL PROBLEM',5X,'MORE THAN ',I2,' SAMPLE POPLUATIONS FOUND ON INPUT',/,/,"
    "'  Will NOT Process any samples after ',A20,/,/)",
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
      // One field each: integers, reals rounded half to even on their exact binary
      // value, asterisks when the value does not fit, text right-aligned or cut.
      {"(I4)", {7}, {"   7"}},
      {"(I4)", {-5}, {"  -5"}},
      {"(I4)", {9999}, {"9999"}},
      {"(I4)", {10000}, {"****"}},
      {"(I4)", {-1000}, {"****"}},
      {"(F8.3)", {1234.5678}, {"1234.568"}},
      {"(F5.3)", {0.0625}, {" .062"}},    // exact binary tie: to the even digit
      {"(F8.2)", {0.375}, {"     .38"}},  // exact binary tie: to the even digit
      {"(F5.3)", {0.5}, {" .500"}},
      {"(F5.3)", {-0.25}, {"-.250"}},
      {"(F5.3)", {-0.0}, {" .000"}},
      {"(F5.3)", {-0.0004}, {"-.000"}},  // rounds to zero and keeps its sign
      {"(F5.3)", {0.9996}, {"1.000"}},   // rounding carries into the integer part
      {"(F5.0)", {0.4}, {"   0."}},      // d = 0: the zero stays, the point too
      {"(F8.2)", {1e6}, {"********"}},
      {"(F5.3)", {std::nan("")}, {"*****"}},
      {"(F8.2)", {std::numeric_limits<double>::infinity()}, {"********"}},
      // 309 digits before the point.
      {"(F8.2)", {std::numeric_limits<double>::max()}, {"********"}},
      {"(A5)", {"ab"}, {"   ab"}},       // blanks first
      {"(A5)", {"abcdefg"}, {"abcde"}},  // the leftmost characters
  };
  for (const Case& c : cases) {
    EXPECT_EQ(layout::format_records(layout::parsed(c.layout), c.values), c.records)
        << c.layout.text();
  }
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

// ---------------------------------------------------------------- reading:
// fields, records consumed, reversion, end of file, line endings and the
// input errors.

// An in-memory file named data.txt with its reader.
class TextFile {
 public:
  explicit TextFile(std::string text) : in_(std::move(text)) {}
  layout::RecordReader& reader() { return reader_; }

 private:
  std::istringstream in_;
  layout::RecordReader reader_{in_, "data.txt"};
};

// Records of ten I4 fields counting up from 1.
std::string counting_records(int records) {
  std::string text;
  for (int value = 1; value <= 10 * records; ++value) {
    text += (value < 10 ? "   " : "  ") + std::to_string(value) + (value % 10 == 0 ? "\n" : "");
  }
  return text;
}

std::vector<int> count_up(int count) {
  std::vector<int> values;
  for (int value = 1; value <= count; ++value) {
    values.push_back(value);
  }
  return values;
}

TEST(LayoutRead, IntegersAndRecordsConsumed) {
  struct Case {
    std::string text;
    layout::LayoutText layout;
    std::vector<int> values;  // the variables after the read; they start at -1
    int lines;                // records consumed
    ReadStatus status = ReadStatus::ok;
  };
  const Case cases[] = {
      {"   12\n", "(I5)", {12}, 1},
      {"1 2  \n", "(I5)", {12}, 1},
      {"\n", "(I5)", {0}, 1},
      {"   7\n", "(3I4)", {7, 0, 0}, 1},  // fields past the end of the record are blank
      {"+0003\n", "(I5)", {3}, 1},
      {"-2147483648\n", "(I11)", {std::numeric_limits<int>::min()}, 1},
      {"  12\r\n", "(I5)", {12}, 1},   // the CR before the LF is not part of the record
      {"1\n2", "(I1/I1)", {1, 2}, 2},  // a last line without LF is a record
      {counting_records(4), "(10I4)", count_up(12), 2},
      {counting_records(4), "(10I4)", count_up(25), 3},
      {"1\n2\n3\n", "(/)", {}, 2},
      {"1\n2\n3\n4\n", "(2(/))", {}, 3},
      {"1\n2\n    3\n4\n", "(/,/,I5)", {3}, 3},
      {"   42\n2\n3\n", "(I5,/)", {42}, 2},
      {"", "(I5)", {-1}, 0, ReadStatus::end_of_file},
      {"12\n", "(I2/I2)", {12, -1}, 1, ReadStatus::end_of_file},
  };
  for (const Case& c : cases) {
    TextFile file(c.text);
    std::vector<int> values(c.values.size(), -1);
    std::vector<layout::ReadTarget> targets;
    targets.reserve(values.size());
    for (int& value : values) {
      targets.push_back(layout::target(value));
    }
    EXPECT_EQ(file.reader().read(c.layout, targets), c.status) << c.layout.text();
    EXPECT_EQ(values, c.values) << c.layout.text();
    EXPECT_EQ(file.reader().line_number(), c.lines) << c.layout.text();
  }
}

TEST(LayoutRead, CharacterVariables) {
  const std::string letters = "abcdefghijklmnopqrst";
  std::string six_column_fields;
  for (const char letter : letters) {
    six_column_fields += std::string("    ") + letter + ' ';
  }
  struct Case {
    std::string text;
    layout::LayoutText layout;
    std::size_t variables;
    std::size_t length;  // of each variable
    std::string values;  // the variables one after another
    int lines;
  };
  const Case cases[] = {
      {"0123456789\n", "(A30)", 1, 30, "0123456789                    ", 1},
      {"abcdefg\n", "(A5)", 1, 3, "cde", 1},    // the rightmost characters of the field
      {"abcdefg\n", "(A2)", 1, 5, "ab   ", 1},  // left-justified, then blanks
      {"abcdefg\n", "(A)", 1, 5, "abcde", 1},   // A: as wide as the variable
      // CR LF ends a record; a CR at the very end, with no LF after it, is kept.
      {"ab\r\ncd\r", "(A3/A3)", 2, 3, "ab cd\r", 2},
      {six_column_fields + "\n" + six_column_fields + "\n", "(20(4X,A1,1X))", 40, 1,
       letters + letters, 2},
  };
  for (const Case& c : cases) {
    TextFile file(c.text);
    std::string chars(c.variables * c.length, 'x');
    std::vector<layout::ReadTarget> targets;
    targets.reserve(c.variables);
    for (std::size_t v = 0; v < c.variables; ++v) {
      targets.emplace_back(std::span<char>(chars).subspan(v * c.length, c.length));
    }
    EXPECT_EQ(file.reader().read(c.layout, targets), ReadStatus::ok) << c.layout.text();
    EXPECT_EQ(chars, c.values) << c.layout.text();
    EXPECT_EQ(file.reader().line_number(), c.lines) << c.layout.text();
  }
}

TEST(LayoutRead, ErrorsNameFileLineAndWhat) {
  struct Case {
    std::string record;  // line 2 of the file
    layout::LayoutText layout;
    std::string what;
    bool into_text = false;  // one character variable instead of two integers
  };
  const Case cases[] = {
      {"  -  ", "(I5)", "columns 1-5: '  -  ' is not a valid integer"},
      {"12ab3", "(I2,I3)", "columns 3-5: 'ab3' is not a valid integer"},
      {"1-2", "(I3)", "columns 1-3: '1-2' is not a valid integer"},
      {"2147483648", "(I10)", "columns 1-10: '2147483648' is not a valid integer"},
      {"-2147483649", "(I11)", "columns 1-11: '-2147483649' is not a valid integer"},
      {"  \t5", "(I4)", "columns 1-4: '  \\x095' is not a valid integer"},
      {"12345", "(I5)", "item I5 does not suit a character value", true},
      {"abc", "(A)", "item A does not suit an integer value"},
      {"1", "(/)", "the layout (/) has no data item for the remaining variables"},
      {"1", "(I1,2(1X))", "the layout (I1,2(1X)) has no data item for the remaining variables"},
      {"abc", "('abc',I2)", "the text item 'abc' cannot be used for reading"},
      {"abc", "(2(F5.3))", "the item F5.3 cannot be used for reading"},
  };
  for (const Case& c : cases) {
    TextFile file("first\n" + c.record + "\nlast\n");
    ASSERT_EQ(file.reader().read("(A1)"), ReadStatus::ok);
    int a = 0;
    int b = 0;
    common::FixedText<5> name;
    const auto read = [&] {
      if (c.into_text) {
        (void)file.reader().read(c.layout, {layout::target(name)});
      } else {
        (void)file.reader().read(c.layout, {layout::target(a), layout::target(b)});
      }
    };
    EXPECT_EQ(error_of(read), "data.txt:2: " + c.what) << c.layout.text();
  }
}

// Bytes without end: what a device such as /dev/zero gives. Counts what it
// hands out, so a test can tell how far a reader went.
class EndlessBytes final : public std::streambuf {
 public:
  std::size_t served = 0;

 protected:
  int_type underflow() override {
    served += buffer_.size();
    setg(buffer_.data(), buffer_.data(), buffer_.data() + buffer_.size());
    return traits_type::to_int_type(buffer_[0]);
  }

 private:
  std::array<char, 4096> buffer_{};
};

TEST(LayoutRead, LinesOfMoreThanOneMebibyteAreFileErrors) {
  const std::string longest(layout::MAX_LINE_LENGTH, 'x');
  // Line 2 of the file; empty: read in full.
  const std::pair<std::string, std::string> cases[] = {
      {longest + "\n", ""},
      {longest + "\r\n", ""},  // the CR is not part of the line
      {longest, ""},
      {longest + "x\n", "data.txt:2: the line is longer than 1048576 bytes (1 MiB)"},
      {longest + "\r", "data.txt:2: the line is longer than 1048576 bytes (1 MiB)"},
      {longest + "xx", "data.txt:2: the line is longer than 1048576 bytes (1 MiB)"},
  };
  for (const auto& [line, error] : cases) {
    SCOPED_TRACE(line.size());
    TextFile file("first\n" + line);
    const std::string what =
        error_of([&] { ASSERT_EQ(file.reader().read("(/)"), ReadStatus::ok); });
    EXPECT_EQ(what.substr(0, error.empty() ? std::string::npos : error.size()), error);
  }
}

TEST(LayoutRead, EndlessDataWithoutLineEndStopsAtTheLimit) {
  EndlessBytes bytes;
  std::istream in(&bytes);
  layout::RecordReader reader(in, "/dev/zero");
  EXPECT_EQ(error_of([&] { (void)reader.read("(A1)"); }).substr(0, 13), "/dev/zero:1: ");
  EXPECT_LE(bytes.served, layout::MAX_LINE_LENGTH + 8192);
}

}  // namespace
