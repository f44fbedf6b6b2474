// Reading: fields, records consumed, reversion, end of file, line endings
// and the input errors.

#include <gtest/gtest.h>

#include <array>
#include <cstddef>
#include <functional>
#include <limits>
#include <span>
#include <sstream>
#include <streambuf>
#include <string>
#include <utility>
#include <vector>

#include "common/text.h"
#include "layout/layout.h"
#include "support/capture.h"

namespace {

using layout::ReadStatus;

// An in-memory file named data.txt with its reader.
class TextFile {
 public:
  explicit TextFile(std::string text) : in_(std::move(text)) {}
  layout::RecordReader& reader() { return reader_; }

 private:
  std::istringstream in_;
  layout::RecordReader reader_{in_, "data.txt"};
};

using test_support::error_of;

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
