// Faulty and unusual genotype tables: read errors, runs of blank lines,
// missing-data codes, text that is not UTF-8, and names the console must not
// show raw.

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdint>
#include <ios>
#include <sstream>
#include <streambuf>
#include <string>
#include <system_error>
#include <type_traits>
#include <vector>

#include "common/stop.h"
#include "layout/layout.h"
#include "support/capture.h"
#include "table/table.h"
#include "table/table_internal.h"

namespace {

using test_support::error_of;
using Cells = std::vector<std::array<std::string, 2>>;

// A table may have more lines than an int counts; its line numbers reach
// messages and the log whole.
static_assert(std::is_same_v<decltype(genotypes::Individual::line), std::int64_t>);
static_assert(std::is_same_v<decltype(genotypes::ExcludedIndividual::line), std::int64_t>);
static_assert(std::is_same_v<decltype(common::FileError::line), std::int64_t>);
static_assert(
    std::is_same_v<decltype(std::declval<genotypes::LineReader>().line_number()), std::int64_t>);

struct Read {
  genotypes::GenotypeData table;
  std::vector<std::string> notes;
};

Read read_with_notes(const std::string& text, table::TableOptions options = {}) {
  std::istringstream in(text);
  options.delimiter = ',';
  Read read;
  read.table = table::read_genotype_table(
      in, "t.csv", options, [&](const std::string& line) { read.notes.push_back(line); });
  return read;
}

std::string error_reading(const std::string& text, table::TableOptions options = {}) {
  return error_of([&] { static_cast<void>(read_with_notes(text, std::move(options))); });
}

// Gives its text, then fails as a file's read(2) does: a file stream throws
// std::ios_base::failure, a stream on a descriptor common::FileError.
class FailingBuffer : public std::streambuf {
 public:
  FailingBuffer(std::string text, bool as_file_stream)
      : text_(std::move(text)), as_file_stream_(as_file_stream) {
    setg(text_.data(), text_.data(), text_.data() + text_.size());
  }

 protected:
  int_type underflow() override {
    if (as_file_stream_) {
      throw std::ios_base::failure("basic_filebuf::underflow error reading the file",
                                   std::error_code(EIO, std::generic_category()));
    }
    throw common::FileError{"t.csv", 0, "cannot read the file (Input/output error)"};
  }

 private:
  std::string text_;
  bool as_file_stream_;
};

TEST(TableFaults, ReadErrorNamesTheLine) {
  struct Case {
    std::string text;
    bool as_file_stream;
    std::string message;
  };
  const std::vector<Case> cases = {
      {"", true, "t.csv:1: the table cannot be read further (Input/output error)"},
      {"pop,A,A\nP,x,y\n", true, "t.csv:3: the table cannot be read further (Input/output error)"},
      {"pop,A,A\nP,x", true, "t.csv:2: the table cannot be read further (Input/output error)"},
      {"pop,A,A\n", false, "t.csv:2: cannot read the file (Input/output error)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    FailingBuffer buffer(c.text, c.as_file_stream);
    std::istream in(&buffer);
    table::TableOptions options;
    options.delimiter = ',';
    EXPECT_EQ(
        error_of([&] { static_cast<void>(table::read_genotype_table(in, "t.csv", options)); }),
        c.message);
  }
}

TEST(TableFaults, RunOfBlankLines) {
  const std::string most(genotypes::MAX_BLANK_LINES, '\n');
  const Read read = read_with_notes("pop,A,A\n" + most + "P,x,y\n");
  ASSERT_EQ(read.table.individuals.size(), 1U);
  EXPECT_EQ(read.table.individuals[0].line, genotypes::MAX_BLANK_LINES + 2);
  // Blank lines of blanks count alike, and so do those at the end.
  EXPECT_EQ(error_reading("pop,A,A\n \t\n" + most + "P,x,y\n"),
            "t.csv:1000002: more than 1000000 blank lines in a row; is this the right file?");
  EXPECT_EQ(error_reading("pop,A,A\nP,x,y\n" + most + "\n").substr(0, 14), "t.csv:1000003:");
}

TEST(TableFaults, DefaultMissingCodes) {
  const Read read = read_with_notes("pop,A,A,B,B\nP,-9,.,NaN,N/A\nP,na,00,000,0000\nP,0,NA,-,?\n");
  for (const genotypes::Individual& row : read.table.individuals) {
    EXPECT_EQ(row.typings, (Cells{{"", ""}, {"", ""}})) << row.line;
  }
  EXPECT_TRUE(read.notes.empty());
}

TEST(TableFaults, ValuesThatLookMissing) {
  struct Case {
    std::string cell;
    bool lookalike;  // and not in the default list
  };
  const std::vector<Case> cases = {
      {"-1", true},      {"-99", true},   {"-10", true},   {"-100", false},    {"-01", false},
      {"-", false},      {"-9", false},   {"NULL", true},  {"null", true},     {"None", true},
      {"MISSING", true}, {"nan", true},   {"NAN", true},   {"NaN", false},     {"n/a", true},
      {"N/a", true},     {"N/A", false},  {"?", false},    {"??", true},       {"?????", true},
      {"0", false},      {"0000", false}, {"00000", true}, {"x", true},        {"X", true},
      {"xx", false},     {"01", false},   {"?0", false},   {"A*01:01", false}, {"nonempty", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.cell);
    const Read read = read_with_notes("pop,A,A\nP,a," + c.cell + "\n");
    EXPECT_EQ(genotypes::missing_code_notes(read.table).size(), c.lookalike ? 1U : 0U);
  }
}

TEST(TableFaults, LookalikeNotedOnceALocus) {
  const std::string text = "pop,A,A,B,B\nP,-1,x,b,b\nP,a,NULL,b,-1\nP,-1,a,b,b\n";
  const Read read = read_with_notes(text);
  EXPECT_EQ(genotypes::missing_code_notes(read.table),
            (std::vector<std::string>{
                "warning: t.csv, line 2: locus \"A\": the value \"-1\" looks like a missing-data"
                " code; it is analysed as an allele (name the codes with --missing)",
                "warning: t.csv, line 3: locus \"B\": the value \"-1\" looks like a missing-data"
                " code; it is analysed as an allele (name the codes with --missing)"}));
  EXPECT_EQ(read.table.individuals[0].typings[0][0], "-1");
  // Named with --missing, the codes are missing and nothing is said.
  table::TableOptions options;
  options.missing_tokens = table::parse_missing_tokens("-1,x,NULL");
  const Read named = read_with_notes(text, options);
  EXPECT_TRUE(genotypes::missing_code_notes(named.table).empty());
  EXPECT_EQ(named.table.individuals[0].typings, (Cells{{"", ""}, {"b", "b"}}));
}

TEST(TableFaults, InvalidUtf8Replaced) {
  const std::string fffd = "\xEF\xBF\xBD";
  struct Case {
    std::string text;
    std::string repaired;
  };
  const std::vector<Case> cases = {
      {"plain", "plain"},
      {"\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80", "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80"},
      {"a\x80z", "a" + fffd + "z"},
      {"a\xC3", "a" + fffd},
      {"\xE2\x82z", fffd + "z"},                        // a sequence cut short is one replacement
      {"\xF0\x9F\x98", fffd},                           //
      {"\xC0\xAF", fffd + fffd},                        // overlong
      {"\xE0\x80\x80", fffd + fffd + fffd},             // overlong
      {"\xED\xA0\x80", fffd + fffd + fffd},             // a surrogate
      {"\xF4\x90\x80\x80", fffd + fffd + fffd + fffd},  // above U+10FFFF
      {"\xFF\xFE", fffd + fffd},
  };
  for (const Case& c : cases) {
    std::string text = c.text;
    EXPECT_EQ(genotypes::replace_invalid_utf8(text), c.text != c.repaired) << c.text;
    EXPECT_EQ(text, c.repaired);
  }
  const Read read = read_with_notes("pop,A,A\nP,a,b\nP\xE9,a\xFF,b\nQ,\xFE,b\n");
  EXPECT_EQ(read.table.individuals[1].population, "P" + fffd);
  EXPECT_EQ(read.table.individuals[1].typings[0][0], "a" + fffd);
  EXPECT_EQ(read.table.individuals[2].typings[0][0], fffd);
  EXPECT_EQ(read.notes, std::vector<std::string>{
                            "warning: t.csv, line 3: the table is not all UTF-8; each byte"
                            " sequence that is not is read as the replacement character U+FFFD,"
                            " here and in any later line (save the table as UTF-8 to keep its"
                            " names)"});
}

TEST(TableFaults, Utf16Refused) {
  using namespace std::string_literals;
  const std::string refused =
      "t.csv:1: the table is UTF-16 encoded; save it as UTF-8 (or ASCII) and run again";
  for (const std::string& text :
       {"\xFF\xFEp\0o\0p\0,\0A\0,\0A\0\r\0\n\0"s, "\xFE\xFF\0p\0o\0p\0,\0A\0,\0A\0\n"s,
        "p\0o\0p\0,\0A\0,\0A\0\n\0"s, "\0p\0o\0p\0,\0A\0,\0A\n"s}) {
    EXPECT_EQ(error_reading(text), refused);
  }
  // A NUL byte or two in a UTF-8 header is read as it is.
  EXPECT_EQ(read_with_notes("pop,Locus\0,Locus\0\nP,a,b\n"s).table.loci[0].name, "Locus\0"s);
}

TEST(TableFaults, OptionColumnsNamed) {
  struct Case {
    std::string population_column;
    std::string id_column;
    std::string message;
  };
  const std::string header = "pop,A_1,A_2,B_1,B_2\n";
  const std::vector<Case> cases = {
      {"A_1", "",
       "t.csv:1: --population-column \"A_1\" names column 2, which pairs with column 3 (\"A_2\")"
       " as the locus \"A\"; name a column that holds no typings"},
      {"B_2", "",
       "t.csv:1: --population-column \"B_2\" names column 5, which pairs with column 4 (\"B_1\")"
       " as the locus \"B\"; name a column that holds no typings"},
      {"", "A_2",
       "t.csv:1: --id-column \"A_2\" names column 3, which pairs with column 2 (\"A_1\") as the"
       " locus \"A\"; name a column that holds no typings"},
      {"pop", "B_1",
       "t.csv:1: --id-column \"B_1\" names column 4, which pairs with column 5 (\"B_2\") as the"
       " locus \"B\"; name a column that holds no typings"},
      {"pop", "pop",
       "t.csv:1: --id-column names the population column, column 1 (\"pop\"), as"
       " --population-column does; the two need columns of their own"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.population_column + "|" + c.id_column);
    table::TableOptions options;
    options.population_column = c.population_column;
    options.id_column = c.id_column;
    EXPECT_EQ(error_reading(header, options), c.message);
  }
  // A column between the two of a locus is named for what it was taken as.
  table::TableOptions options;
  options.id_column = "id";
  const std::string between =
      "t.csv:1: column 2 (\"A\") does not pair with the next, column 3 (\"id\"), the id column"
      " (--id-column); a locus takes";
  EXPECT_EQ(error_reading("pop,A,id,A\n", options).substr(0, between.size()), between);
}

TEST(TableFaults, ControlsEscapedForTheConsole) {
  struct Case {
    std::string text;
    std::string shown;
  };
  const std::vector<Case> cases = {
      {"North", "North"},
      {"Z\xC3\xBCrich \xC2\xA0\xE2\x82\xAC", "Z\xC3\xBCrich \xC2\xA0\xE2\x82\xAC"},
      {"a\rb", "a\\x0Db"},
      {std::string("a\0b", 3), "a\\x00b"},
      {"\x1B[2J\x7F\t", "\\x1B[2J\\x7F\\x09"},
      {"\xC2\x9B"
       "1m\xC2\x85",
       "\\xC2\\x9B1m\\xC2\\x85"},
      {"\xC2", "\xC2"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(layout::escape_controls(c.text), c.shown) << c.shown;
    EXPECT_EQ(layout::escape_controls(c.shown), c.shown);
  }
}

}  // namespace
