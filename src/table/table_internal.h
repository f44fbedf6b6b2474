#pragma once

#include <cstddef>
#include <istream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/text.h"

// The parts of the table reader its unit test reaches directly.

namespace table::detail {

// The table's messages join their parts with the program's one joiner.
using common::join;

// A name from the table as a message quotes it: printable, in quotes.
[[nodiscard]] std::string quoted(std::string_view name);

// The text without its leading and trailing blanks (spaces).
[[nodiscard]] std::string_view trim_blanks(std::string_view text);

// Splits a table into the fields of its lines. Lines end at LF, with one CR
// before it (or at the end of the input) dropped; a leading UTF-8 byte-order
// mark is skipped; blank lines (nothing but spaces and tabs) are passed over.
// A field is trimmed of blanks; a field whose first non-blank byte is a quote
// is quoted (RFC 4180): the delimiter and line-end bytes inside it are data,
// a doubled quote is one quote, and only blanks may follow its closing quote.
class FieldReader {
 public:
  FieldReader(std::istream& in, std::string name, char delimiter);

  // The fields of the next line that is not blank, or nothing at the end of
  // the input. Throws common::FileError naming the line for a line longer
  // than MAX_TABLE_LINE, a line end inside quotes or text after a closing quote.
  [[nodiscard]] std::optional<std::vector<std::string>> next_fields();

  // 1-based number of the line last returned.
  [[nodiscard]] int line_number() const { return line_number_; }

 private:
  std::istream& in_;
  std::string name_;
  char delimiter_;
  int line_number_ = 0;
  std::string line_;

  // Reads the next line into line_; false at the end of the input.
  [[nodiscard]] bool next_line();
  [[nodiscard]] std::vector<std::string> split() const;
  // The first byte at or after pos that is not a blank (the delimiter
  // excepted), within line_.
  [[nodiscard]] std::size_t skip_blanks(std::size_t pos) const;
  // The quoted field whose opening quote stands at pos; moves pos to the
  // delimiter after it or the line's end.
  [[nodiscard]] std::string quoted_field(std::size_t& pos, std::size_t field_number) const;
  [[noreturn]] void fail(const std::string& what) const;
};

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
