// Reading: record consumption, reversion, end of file, fields, line endings
// and every kind of input error.

#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "common/text.h"
#include "layout/fields_internal.h"
#include "layout/layout.h"

namespace {

using layout::ReadStatus;
using layout::target;

// An in-memory input file with its reader.
class TextFile {
 public:
  explicit TextFile(std::string text) : in_(std::move(text)), reader_(in_, "data.txt") {}
  layout::RecordReader& reader() { return reader_; }

 private:
  std::istringstream in_;
  layout::RecordReader reader_;
};

// Checks that action throws common::FileError with exactly this file, line and text.
void expect_file_error(const std::function<void()>& action, const std::string& file, int line,
                       const std::string& what) {
  try {
    action();
    ADD_FAILURE() << "no FileError; expected: " << what;
  } catch (const common::FileError& error) {
    EXPECT_EQ(error.file, file);
    EXPECT_EQ(error.line, line);
    EXPECT_EQ(error.what, what);
  }
}

std::vector<layout::ReadTarget> targets_for(std::vector<int>& values) {
  std::vector<layout::ReadTarget> targets;
  targets.reserve(values.size());
  for (int& value : values) {
    targets.push_back(target(value));
  }
  return targets;
}

int read_one_integer(const std::string& text, layout::LayoutText layout) {
  TextFile file(text);
  int value = -1;
  EXPECT_EQ(file.reader().read(layout, {target(value)}), ReadStatus::ok);
  return value;
}

TEST(LayoutRead, IntegerFieldIgnoresBlanks) {
  EXPECT_EQ(read_one_integer("   12\n", "(I5)"), 12);
  EXPECT_EQ(read_one_integer("1 2  \n", "(I5)"), 12);
  EXPECT_EQ(read_one_integer("\n", "(I5)"), 0);
  EXPECT_EQ(read_one_integer("  -7", "(I5)"), -7);
  EXPECT_EQ(read_one_integer("- 1 2", "(I5)"), -12);
  EXPECT_EQ(read_one_integer("+0003", "(I5)"), 3);
  EXPECT_EQ(read_one_integer("123456789", "(I3)"), 123);
  EXPECT_EQ(read_one_integer("12345", "(2X,I2)"), 34);
}

TEST(LayoutRead, IntegerParserBoundaries) {
  struct Case {
    std::string_view field;
    std::optional<int> value;
  };
  const Case cases[] = {
      {"", 0},
      {"     ", 0},
      {"0", 0},
      {"-0", 0},
      {"+5", 5},
      {"2147483647", 2147483647},
      {"2147483648", std::nullopt},
      {"-2147483648", std::numeric_limits<int>::min()},
      {"-2147483649", std::nullopt},
      {"00000000002147483647", 2147483647},
      {"99999999999999999999999", std::nullopt},
      {"-", std::nullopt},
      {" + ", std::nullopt},
      {"--1", std::nullopt},
      {"+-1", std::nullopt},
      {"1-", std::nullopt},
      {"1-2", std::nullopt},
      {"1.0", std::nullopt},
      {"1e3", std::nullopt},
      {"0x1F", std::nullopt},
      {"\t5", std::nullopt},
      {"5\r", std::nullopt},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(layout::detail::parse_integer(c.field), c.value) << "'" << c.field << "'";
  }
}

TEST(LayoutRead, AlphaIntoVariablesOfOtherLengths) {
  TextFile file("0123456789\nabcde\nab\nabcdefg\nabcd\n");
  common::FixedText<30> long_value;
  EXPECT_EQ(file.reader().read("(A30)", {target(long_value)}), ReadStatus::ok);
  EXPECT_EQ(long_value.view(), "0123456789                    ");
  common::FixedText<3> short_value;
  EXPECT_EQ(file.reader().read("(A5)", {target(short_value)}), ReadStatus::ok);
  EXPECT_EQ(short_value.view(), "cde");  // the rightmost characters of the field
  common::FixedText<5> padded;
  EXPECT_EQ(file.reader().read("(A2)", {target(padded)}), ReadStatus::ok);
  EXPECT_EQ(padded.view(), "ab   ");
  EXPECT_EQ(file.reader().read("(A)", {target(padded)}), ReadStatus::ok);
  EXPECT_EQ(padded.view(), "abcde");  // A takes the variable's length
  common::FixedText<2> first;
  common::FixedText<2> second;
  EXPECT_EQ(file.reader().read("(2A)", {target(first), target(second)}), ReadStatus::ok);
  EXPECT_EQ(first.view(), "ab");
  EXPECT_EQ(second.view(), "cd");
}

TEST(LayoutRead, AlphaFieldBeyondTheRecordIsBlank) {
  std::array<char, 4> variable{'x', 'x', 'x', 'x'};
  layout::detail::read_alpha("abc", 1, 6, variable);
  EXPECT_EQ(std::string_view(variable.data(), 4), "    ");  // columns 4-7 of the field
  layout::detail::read_alpha("abc", 1, 3, variable);
  EXPECT_EQ(std::string_view(variable.data(), 4), "bc  ");
  layout::detail::read_alpha("abc", 1, 1, variable);
  EXPECT_EQ(std::string_view(variable.data(), 4), "b   ");
}

TEST(LayoutRead, ShortRecordIsPaddedWithBlanks) {
  TextFile file("  7\n");
  int value = -1;
  common::FixedText<5> name("zzzzz");
  EXPECT_EQ(file.reader().read("(I5,A5)", {target(value), target(name)}), ReadStatus::ok);
  EXPECT_EQ(value, 7);
  EXPECT_TRUE(name.is_blank());
}

// A record of ten I4 fields holding first, first + 1, ...
std::string ten_integers(int first) {
  std::string record;
  for (int value = first; value < first + 10; ++value) {
    record += "  " + std::to_string(value);
  }
  return record + "\n";
}

TEST(LayoutRead, ReversionTakesTenIntegersPerRecord) {
  TextFile file(ten_integers(11) + ten_integers(21) + ten_integers(31) + ten_integers(41));
  std::vector<int> values(25, -1);
  EXPECT_EQ(file.reader().read("(10I4)", targets_for(values)), ReadStatus::ok);
  EXPECT_EQ(file.reader().line_number(), 3);
  EXPECT_EQ(values[0], 11);
  EXPECT_EQ(values[9], 20);
  EXPECT_EQ(values[10], 21);
  EXPECT_EQ(values[24], 35);
  int next = -1;
  EXPECT_EQ(file.reader().read("(I4)", {target(next)}), ReadStatus::ok);
  EXPECT_EQ(next, 41);  // the third record was finished: reading goes on at the fourth
}

TEST(LayoutRead, TwelveIntegersConsumeTwoRecords) {
  TextFile file("   1   2   3   4   5   6   7   8   9  10\n  11  12  13\n  14\n");
  std::vector<int> values(12, -1);
  EXPECT_EQ(file.reader().read("(10I4)", targets_for(values)), ReadStatus::ok);
  EXPECT_EQ(file.reader().line_number(), 2);
  EXPECT_EQ(values[11], 12);
}

TEST(LayoutRead, ReversionToTheGroupTakesTwentyPerRecord) {
  const std::string row =
      "    a     b     c     d     e     f     g     h     i     j "
      "    k     l     m     n     o     p     q     r     s     t \n";
  TextFile file(row + row);
  std::vector<common::FixedText<1>> letters(40);
  std::vector<layout::ReadTarget> targets;
  targets.reserve(letters.size());
  for (auto& letter : letters) {
    targets.push_back(target(letter));
  }
  EXPECT_EQ(file.reader().read("(20(4X,A1,1X))", targets), ReadStatus::ok);
  EXPECT_EQ(file.reader().line_number(), 2);
  EXPECT_EQ(letters[0].view(), "a");
  EXPECT_EQ(letters[19].view(), "t");
  EXPECT_EQ(letters[20].view(), "a");
  EXPECT_EQ(letters[39].view(), "t");
}

// A population name and two-character typings, as a phenotype record holds them.
struct PhenotypeRecord {
  common::PopulationName name;
  std::array<common::FixedText<2>, 8> typings;

  // The name and the first `typing_count` typings as read targets.
  std::vector<layout::ReadTarget> targets(std::size_t typing_count) {
    std::vector<layout::ReadTarget> list{target(name)};
    for (std::size_t i = 0; i < typing_count; ++i) {
      list.push_back(target(typings[i]));
    }
    return list;
  }
};

TEST(LayoutRead, DataFileRecordOnOneLine) {
  TextFile file("POP1                A1B2C3D4\n");
  PhenotypeRecord record;
  EXPECT_EQ(file.reader().read("(A20,8A2)", record.targets(4)), ReadStatus::ok);
  EXPECT_EQ(record.name.trimmed(), "POP1");
  EXPECT_EQ(record.typings[3].view(), "D4");
}

TEST(LayoutRead, DataFileRecordOnTwoLines) {
  TextFile file("POP2                A1B2\n                    C3D4\n");
  PhenotypeRecord record;
  EXPECT_EQ(file.reader().read("(A20,2A2/20X,4A2)", record.targets(4)), ReadStatus::ok);
  EXPECT_EQ(record.name.trimmed(), "POP2");
  EXPECT_EQ(record.typings[2].view(), "C3");
  EXPECT_EQ(file.reader().line_number(), 2);
}

TEST(LayoutRead, DataFileRecordWithGroups) {
  TextFile file("POP3                 A1B2 C3D4 E5F6 G7H8\n");
  PhenotypeRecord record;
  EXPECT_EQ(file.reader().read("(A20,4(1X,2A2))", record.targets(8)), ReadStatus::ok);
  EXPECT_EQ(record.name.trimmed(), "POP3");
  EXPECT_EQ(record.typings[0].view(), "A1");
  EXPECT_EQ(record.typings[7].view(), "H8");
}

struct Consumption {
  layout::LayoutText layout;
  int variables = 0;  // integers read
  int needed = 0;     // records the read consumes
};

// Reads with c.layout from files of 0 to c.needed records.
void expect_consumption(const Consumption& c) {
  for (int available = 0; available <= c.needed; ++available) {
    std::string text;
    for (int line = 1; line <= available; ++line) {
      text += std::to_string(line) + "\n";
    }
    TextFile file(text);
    std::vector<int> values(static_cast<std::size_t>(c.variables), 0);
    const ReadStatus status = file.reader().read(c.layout, targets_for(values));
    EXPECT_EQ(status, available >= c.needed ? ReadStatus::ok : ReadStatus::end_of_file)
        << c.layout.text() << " with " << available << " records";
    EXPECT_EQ(file.reader().line_number(), std::min(available, c.needed)) << c.layout.text();
  }
}

TEST(LayoutRead, RecordsConsumed) {
  const Consumption cases[] = {{"(/)", 0, 2},    {"(2(/))", 0, 3},   {"(I5,/)", 1, 2},
                               {"(I5,/)", 0, 1}, {"(/,/,I5)", 1, 3}, {"(/,/,I5)", 0, 3},
                               {"(I4)", 0, 1},   {"(/I1,I1)", 1, 2}};
  for (const Consumption& c : cases) {
    expect_consumption(c);
  }
}

TEST(LayoutRead, ValueBeforeASlashAndValueAfterSlashes) {
  TextFile file("   42\nskipped\n");
  int value = -1;
  EXPECT_EQ(file.reader().read("(I5,/)", {target(value)}), ReadStatus::ok);
  EXPECT_EQ(value, 42);
  EXPECT_EQ(file.reader().line_number(), 2);

  TextFile third("1\n2\n    3\n4\n");
  EXPECT_EQ(third.reader().read("(/,/,I5)", {target(value)}), ReadStatus::ok);
  EXPECT_EQ(value, 3);
  EXPECT_EQ(third.reader().line_number(), 3);
}

TEST(LayoutRead, EndOfFileKeepsValuesReadSoFar) {
  TextFile file("12\n");
  int first = -1;
  int second = -1;
  EXPECT_EQ(file.reader().read("(I2/I2)", {target(first), target(second)}),
            ReadStatus::end_of_file);
  EXPECT_EQ(first, 12);
  EXPECT_EQ(second, -1);
  EXPECT_EQ(file.reader().read("(I2)", {target(second)}), ReadStatus::end_of_file);
  EXPECT_EQ(second, -1);
}

TEST(LayoutRead, EmptyFileHasNoRecords) {
  TextFile file("");
  common::FixedText<40> line("unchanged");
  EXPECT_EQ(file.reader().read("(A40)", {target(line)}), ReadStatus::end_of_file);
  EXPECT_EQ(line.trimmed(), "unchanged");
  EXPECT_EQ(file.reader().line_number(), 0);
}

TEST(LayoutRead, LineEndings) {
  TextFile file("ab\r\ncd\r\ne\rf\nlast\r");
  common::FixedText<5> value;
  EXPECT_EQ(file.reader().read("(A5)", {target(value)}), ReadStatus::ok);
  EXPECT_EQ(value.view(), "ab   ");  // the CR before the LF is not part of the record
  EXPECT_EQ(file.reader().read("(A5)", {target(value)}), ReadStatus::ok);
  EXPECT_EQ(value.view(), "cd   ");
  EXPECT_EQ(file.reader().read("(A5)", {target(value)}), ReadStatus::ok);
  EXPECT_EQ(value.view(), "e\rf  ");  // a CR elsewhere is an ordinary byte
  EXPECT_EQ(file.reader().read("(A5)", {target(value)}), ReadStatus::ok);
  EXPECT_EQ(value.view(), "last\r");  // last line without LF: a record, its CR kept
  EXPECT_EQ(file.reader().read("(A5)", {target(value)}), ReadStatus::end_of_file);
  EXPECT_EQ(file.reader().line_number(), 4);
}

TEST(LayoutRead, LastLineWithoutLineFeedIsARecord) {
  TextFile file("1\n2");
  int value = 0;
  EXPECT_EQ(file.reader().read("(I1)", {target(value)}), ReadStatus::ok);
  EXPECT_EQ(file.reader().read("(I1)", {target(value)}), ReadStatus::ok);
  EXPECT_EQ(value, 2);
  EXPECT_EQ(file.reader().read("(I1)", {target(value)}), ReadStatus::end_of_file);
}

TEST(LayoutRead, FieldErrorsNameFileLineAndColumns) {
  struct Case {
    std::string record;
    layout::LayoutText layout;
    std::string what;
  };
  const Case cases[] = {
      {"12x", "(I5)", "columns 1-5: '12x' is not a valid integer"},
      {"  -  ", "(I5)", "columns 1-5: '  -  ' is not a valid integer"},
      {"+", "(I5)", "columns 1-5: '+' is not a valid integer"},
      {"2147483648", "(I10)", "columns 1-10: '2147483648' is not a valid integer"},
      {"-2147483649", "(I11)", "columns 1-11: '-2147483649' is not a valid integer"},
      {"12ab3", "(I2,I3)", "columns 3-5: 'ab3' is not a valid integer"},
      {"  \t5", "(I4)", "columns 1-4: '  \\x095' is not a valid integer"},
      {"\xff", "(I4)", "columns 1-4: '\\xFF' is not a valid integer"},
  };
  for (const Case& c : cases) {
    TextFile file("  1\n  2\n" + c.record + "\n");
    int a = 0;
    int b = 0;
    ASSERT_EQ(file.reader().read("(I3/I3)", {target(a), target(b)}), ReadStatus::ok);
    expect_file_error(
        [&] {
          (void)file.reader().read(c.layout, {target(a), target(b)});
        },
        "data.txt", 3, c.what);
  }
}

TEST(LayoutRead, ItemMustSuitItsVariable) {
  TextFile file("abcde\n12345\n");
  int number = 0;
  common::FixedText<5> name;
  expect_file_error([&] { (void)file.reader().read("(I5)", {target(name)}); }, "data.txt", 1,
                    "item I5 does not suit a character value");
  expect_file_error([&] { (void)file.reader().read("(A)", {target(number)}); }, "data.txt", 2,
                    "item A does not suit an integer value");
}

TEST(LayoutRead, LayoutsThatCannotRead) {
  TextFile file("abc\n");
  int value = 0;
  expect_file_error([&] { (void)file.reader().read("('abc',I2)", {target(value)}); }, "data.txt", 1,
                    "the text item 'abc' cannot be used for reading");
  expect_file_error([&] { (void)file.reader().read("(2(F5.3))", {target(value)}); }, "data.txt", 1,
                    "the item F5.3 cannot be used for reading");
  EXPECT_EQ(file.reader().line_number(), 0);  // nothing was consumed
  EXPECT_EQ(layout::read_layout_problem(layout::parsed("(A20,4(1X,2A2))")), "");
  expect_file_error([&] { (void)file.reader().read("(/)", {target(value)}); }, "data.txt", 1,
                    "the layout (/) has no data item for the remaining variables");
}

TEST(LayoutRead, ReversionWithoutDataItemIsAnError) {
  TextFile file("1\n2\n3\n");
  int a = 0;
  int b = 0;
  EXPECT_EQ(file.reader().read("(I1,2(1X))", {target(a)}), ReadStatus::ok);
  expect_file_error(
      [&] {
        (void)file.reader().read("(I1,2(1X))", {target(a), target(b)});
      },
      "data.txt", 2, "the layout (I1,2(1X)) has no data item for the remaining variables");
}

TEST(LayoutRead, HugeCountsDoNotLoop) {
  TextFile file("12345\n");
  int value = -1;
  const layout::ParseResult result = layout::parse_layout("(32767(32767(32767(32767X))),I32767)");
  ASSERT_TRUE(result.list.has_value());
  const std::array<layout::ReadTarget, 1> targets{target(value)};
  EXPECT_EQ(file.reader().read(*result.list, targets), ReadStatus::ok);
  EXPECT_EQ(value, 0);
}

TEST(LayoutRead, PrintableEscapesUnprintableBytes) {
  EXPECT_EQ(layout::printable("ab c~"), "ab c~");
  EXPECT_EQ(layout::printable(std::string_view("a\0b\x7f\xff\n", 6)), "a\\x00b\\x7F\\xFF\\x0A");
}

}  // namespace
