#pragma once

#include <cstddef>
#include <cstdint>
#include <istream>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/text.h"
#include "genotypes/genotypes.h"

// What the readers of genotype files share: reading a file line by line
// within the limits every reader keeps (line length, blank lines, UTF-16
// refused, bytes that are not UTF-8 replaced), splitting a line into fields,
// quoting names in messages, and counting what is read against the memory
// budget.

namespace genotypes {

// The longest line of a file, in bytes without its line end.
inline constexpr int MAX_LINE = 1 << 20;  // 1 MiB
// Blank lines a file may have in a row; more are not a genotype file (a
// device or a file of line ends) and end the reading.
inline constexpr int MAX_BLANK_LINES = 1'000'000;

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

// Reads a file line by line and splits a line into the fields of a table. Lines end at LF, with one
// CR before it (or at the end of the input) dropped; a leading UTF-8 byte-order mark is skipped;
// blank lines (nothing but spaces and tabs) are passed over. A field is trimmed of blanks; a field
// whose first non-blank byte is a quote is quoted (RFC 4180): the delimiter and line-end bytes
// inside it are data, a doubled quote is one quote, and only blanks may follow its closing quote.
// Bytes that are not UTF-8 are replaced (replace_invalid_utf8), which one
// line to note says, at the first line that has them.
class LineReader {
 public:
  LineReader(std::istream& in, std::string name, char delimiter, NoteWriter note = {});

  // Reads the next line that is not blank; false at the end of the input.
  // Throws common::FileError naming the line for a UTF-16 table, a line
  // longer than MAX_LINE, more than MAX_BLANK_LINES blank lines in a
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
  // The bytes of the next line, up to one more than MAX_LINE, into
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

// Counts what a reader holds against the memory budget (0: none), so that
// an endless file on a pipe ends in a clear error, not in exhausted memory.
class ReadBudget {
 public:
  ReadBudget(std::string name, std::int64_t max_bytes) : name_(std::move(name)), max_(max_bytes) {}
  // What an individual read at `line` takes: its text and its typings' strings.
  void add(std::int64_t line, std::size_t text_bytes, std::size_t typings);

 private:
  std::string name_;
  std::int64_t max_;
  std::int64_t held_ = 0;
};

// Whether the file name ends with the extension (".gen"), in either case.
[[nodiscard]] bool has_extension(std::string_view path, std::string_view extension);

}  // namespace genotypes
