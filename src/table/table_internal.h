#pragma once

#include <cstddef>
#include <cstdint>
#include <istream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/text.h"
#include "table/table.h"

// The parts of the table reader its unit test reaches directly.

namespace table::detail {

// The table's messages join their parts with the program's one joiner.
using common::join;

// A name from the table as a message quotes it: printable, in quotes.
[[nodiscard]] std::string quoted(std::string_view name);

// The text without its leading and trailing blanks (spaces).
[[nodiscard]] std::string_view trim_blanks(std::string_view text);

// Whether the two texts are equal when ASCII letters of either case count as one.
[[nodiscard]] bool equal_ignoring_case(std::string_view a, std::string_view b);

// Bytes that are not UTF-8 replaced: each maximal start of a sequence that
// cannot be completed, and each byte that starts none, becomes one U+FFFD.
// Returns whether anything was replaced.
[[nodiscard]] bool replace_invalid_utf8(std::string& text);

// Splits a table into the fields of its lines. Lines end at LF, with one CR
// before it (or at the end of the input) dropped; a leading UTF-8 byte-order
// mark is skipped; blank lines (nothing but spaces and tabs) are passed over.
// A field is trimmed of blanks; a field whose first non-blank byte is a quote
// is quoted (RFC 4180): the delimiter and line-end bytes inside it are data,
// a doubled quote is one quote, and only blanks may follow its closing quote.
// Bytes that are not UTF-8 are replaced (replace_invalid_utf8), which one
// line to note says, at the first line that has them.
class FieldReader {
 public:
  FieldReader(std::istream& in, std::string name, char delimiter, NoteWriter note = {});

  // Reads the next line that is not blank; false at the end of the input.
  // Throws common::FileError naming the line for a UTF-16 table, a line
  // longer than MAX_TABLE_LINE, more than MAX_BLANK_LINES blank lines in a
  // row, or when the input cannot be read further.
  [[nodiscard]] bool next_record();

  // The line last read, as it stands (a byte-order mark and line end removed).
  [[nodiscard]] std::string_view line() const { return line_; }

  // The fields of the line last read. Throws common::FileError naming the
  // line for a line end inside quotes or text after a closing quote.
  [[nodiscard]] std::vector<std::string> split() const;

  // The fields of the next line that is not blank, or nothing at the end of
  // the input: next_record, then split.
  [[nodiscard]] std::optional<std::vector<std::string>> next_fields();

  // The delimiter of the lines split from now on (chosen once the header is seen).
  void use_delimiter(char delimiter) { delimiter_ = delimiter; }

  // 1-based number of the line last returned.
  [[nodiscard]] std::int64_t line_number() const { return line_number_; }

 private:
  std::istream& in_;
  std::string name_;
  char delimiter_;
  NoteWriter note_;
  std::int64_t line_number_ = 0;
  std::string line_;
  bool utf8_replaced_ = false;  // whether a line has had bytes replaced

  // Reads the next line into line_; false at the end of the input.
  [[nodiscard]] bool next_line();
  // The bytes of the next line, up to one more than MAX_TABLE_LINE, into
  // line_; false at the end of the input.
  [[nodiscard]] bool read_line_bytes();
  // Refuses a first line written in UTF-16.
  void check_not_utf16() const;
  // Replaces the bytes of line_ that are not UTF-8, noting the first line.
  void repair_utf8();
  // The first byte at or after pos that is not a blank (the delimiter
  // excepted), within line_.
  [[nodiscard]] std::size_t skip_blanks(std::size_t pos) const;
  // The quoted field whose opening quote stands at pos; moves pos to the
  // delimiter after it or the line's end.
  [[nodiscard]] std::string quoted_field(std::size_t& pos, std::size_t field_number) const;
  [[noreturn]] void fail(const std::string& what) const;
};

// Where the columns of the header go (0-based columns).
struct ColumnPlan {
  int population = 0;
  std::optional<int> id;
  std::optional<int> row_names;  // column 0 when its name is empty, as R's write.csv leaves it
  std::vector<Locus> loci;
};

// The columns of a header. The population column is the one --population-column
// names, else the first named "population" or "pop" in any case, else the
// first column that is not row names; then the id column is the one
// --id-column names, else the first other column named "id", "individual",
// "ind", "sample" or "name" in any case, else none. Every other column but
// the row names belongs to a locus. Throws common::FileError{table_name, 1,
// what} for a column an option names that is missing or not unique, an id
// column that is the population column, columns that do not pair into loci
// (naming the option and column when a column an option names pairs with a
// locus column beside it, else the population and id columns taken), or a
// locus twice.
[[nodiscard]] ColumnPlan plan_columns(const std::vector<std::string>& header,
                                      const TableOptions& options, const std::string& table_name);

// The locus name of two adjacent columns, or nothing when they do not pair:
// equal names, or equal after removing the suffixes "a1"/"a2", "1"/"2" or
// "a"/"b" (tried in this order), each after the same separator in both ("_",
// ".", "-", a blank, tried in this order, then none); a rule that would leave
// an empty name does not apply.
[[nodiscard]] std::optional<std::string> locus_of_columns(std::string_view first,
                                                          std::string_view second);

// The 5-character typing that stands for 0-based allele a: "00001" for a = 0.
[[nodiscard]] std::string synthetic_typing(int a);

// The code letter of 0-based allele a: the bytes 33..126 except '?' and '^',
// then 128..255, then 1..31; a < MAX_TABLE_ALLELES.
[[nodiscard]] char allele_code_of(int a);

}  // namespace table::detail
