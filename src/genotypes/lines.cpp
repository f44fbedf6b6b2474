#include "genotypes/lines.h"

#include <algorithm>
#include <ios>
#include <streambuf>
#include <string>
#include <system_error>
#include <utility>

#include "common/stop.h"
#include "genotypes/genotypes.h"
#include "layout/layout.h"

namespace genotypes {

std::string quoted(std::string_view name) { return join({"\"", layout::printable(name), "\""}); }

std::string_view trim_blanks(std::string_view text) {
  while (!text.empty() && text.front() == ' ') {
    text.remove_prefix(1);
  }
  while (!text.empty() && text.back() == ' ') {
    text.remove_suffix(1);
  }
  return text;
}

bool equal_ignoring_case(std::string_view a, std::string_view b) {
  const auto lower = [](char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
  };
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                            [&](char x, char y) { return lower(x) == lower(y); });
}

namespace {

constexpr std::string_view BYTE_ORDER_MARK = "\xEF\xBB\xBF";
constexpr std::string_view REPLACEMENT_CHARACTER = "\xEF\xBF\xBD";  // U+FFFD
constexpr std::string_view NOT_UTF8 =
    ": the table is not all UTF-8; each byte sequence that is not is read as the replacement"
    " character U+FFFD, here and in any later line (save the table as UTF-8 to keep its names)";

[[nodiscard]] bool is_blank_line(std::string_view line) {
  return line.find_first_not_of(" \t") == std::string_view::npos;
}

// The UTF-8 sequence at pos: its length and whether it is valid; when it is
// not, the length of its longest start that could still have been valid (at
// least 1), which one U+FFFD replaces.
struct Utf8Step {
  std::size_t length;
  bool valid;
};

[[nodiscard]] Utf8Step utf8_step(std::string_view text, std::size_t pos) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(pos);
  if (lead < 0x80) {
    return {1, true};
  }
  std::size_t continuations = 0;
  // The range of the first continuation byte excludes overlong forms,
  // surrogates and code points above U+10FFFF.
  unsigned char low = 0x80;
  unsigned char high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    continuations = 1;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    continuations = 2;
    low = lead == 0xE0 ? 0xA0 : low;
    high = lead == 0xED ? 0x9F : high;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    continuations = 3;
    low = lead == 0xF0 ? 0x90 : low;
    high = lead == 0xF4 ? 0x8F : high;
  } else {
    return {1, false};
  }
  for (std::size_t length = 1; length <= continuations; ++length) {
    if (pos + length >= text.size() || byte(pos + length) < low || byte(pos + length) > high) {
      return {length, false};
    }
    low = 0x80;
    high = 0xBF;
  }
  return {continuations + 1, true};
}

// A spreadsheet saving "Unicode text" writes UTF-16: two bytes a character,
// one of them 0 for ASCII, after a byte-order mark unless it is left out.
[[nodiscard]] bool looks_utf16(std::string_view first_line) {
  if (first_line.starts_with("\xFF\xFE") || first_line.starts_with("\xFE\xFF")) {
    return true;
  }
  const auto zeros =
      static_cast<std::size_t>(std::count(first_line.begin(), first_line.end(), '\0'));
  return zeros >= 2 && 4 * zeros >= first_line.size();
}

[[nodiscard]] std::string read_failure_reason(const std::ios_base::failure& failure) {
  const std::error_category& category = failure.code().category();
  if (category == std::generic_category() || category == std::system_category()) {
    return failure.code().message();
  }
  return failure.what();
}

}  // namespace

bool replace_invalid_utf8(std::string& text) {
  std::string repaired;
  bool replaced = false;
  std::size_t copied = 0;  // bytes of text already in repaired
  for (std::size_t pos = 0; pos < text.size();) {
    const Utf8Step step = utf8_step(text, pos);
    if (!step.valid) {
      repaired.append(text, copied, pos - copied);
      repaired.append(REPLACEMENT_CHARACTER);
      copied = pos + step.length;
      replaced = true;
    }
    pos += step.length;
  }
  if (replaced) {
    repaired.append(text, copied, std::string::npos);
    text = std::move(repaired);
  }
  return replaced;
}

LineReader::LineReader(std::istream& in, std::string name, char delimiter, NoteWriter note)
    : in_(in), name_(std::move(name)), delimiter_(delimiter), note_(std::move(note)) {}

void LineReader::fail(const std::string& what) const {
  throw common::FileError{name_, line_number_, what};
}

bool LineReader::read_line_bytes() {
  // Byte by byte from the buffer, so that an endless line (a pipe without
  // line ends) ends in the error below, not in an allocation that fails.
  using Traits = std::streambuf::traits_type;
  std::streambuf* const buffer = in_.rdbuf();
  line_.clear();
  if (buffer == nullptr) {
    return false;
  }
  Traits::int_type c = buffer->sbumpc();
  if (Traits::eq_int_type(c, Traits::eof())) {
    return false;
  }
  for (; !Traits::eq_int_type(c, Traits::eof()); c = buffer->sbumpc()) {
    if (Traits::eq_int_type(c, Traits::to_int_type('\n'))) {
      break;
    }
    // One byte more than the limit may be the CR of a CR LF.
    if (line_.size() > static_cast<std::size_t>(MAX_LINE)) {
      break;
    }
    line_.push_back(Traits::to_char_type(c));
  }
  return true;
}

void LineReader::check_not_utf16() const {
  if (looks_utf16(line_)) {
    fail("the table is UTF-16 encoded; save it as UTF-8 (or ASCII) and run again");
  }
}

void LineReader::repair_utf8() {
  if (!replace_invalid_utf8(line_) || utf8_replaced_) {
    return;
  }
  utf8_replaced_ = true;
  if (note_) {
    note_(join({"warning: ", layout::printable(name_), ", line ", std::to_string(line_number_),
                NOT_UTF8}));
  }
}

bool LineReader::next_line() {
  // The line being read counts from its first byte, so that a read error
  // names it.
  ++line_number_;
  bool read = false;
  try {
    read = read_line_bytes();
  } catch (const std::ios_base::failure& failure) {
    // A file stream reports a failing read(2) so, not as the end of the file.
    fail(join({"the table cannot be read further (", read_failure_reason(failure), ")"}));
  } catch (common::FileError& error) {
    // A stream on a descriptor names the file but not the line.
    error.line = error.line == 0 ? line_number_ : error.line;
    throw;
  }
  if (!read) {
    --line_number_;
    return false;
  }
  if (!line_.empty() && line_.back() == '\r') {
    line_.pop_back();
  }
  if (line_number_ == 1) {
    check_not_utf16();
  }
  if (line_.size() > static_cast<std::size_t>(MAX_LINE)) {
    fail(join({"the line is longer than ", std::to_string(MAX_LINE),
               " bytes (1 MiB), the longest line a table may have; is this the right file?"}));
  }
  if (line_number_ == 1 && line_.starts_with(BYTE_ORDER_MARK)) {
    line_.erase(0, BYTE_ORDER_MARK.size());
  }
  repair_utf8();
  return true;
}

bool LineReader::next_record() {
  int blank_lines = 0;
  while (next_line()) {
    if (!is_blank_line(line_)) {
      return true;
    }
    if (++blank_lines > MAX_BLANK_LINES) {
      fail(join({"more than ", std::to_string(MAX_BLANK_LINES),
                 " blank lines in a row; is this the right file?"}));
    }
  }
  if (in_.bad()) {
    throw common::FileError{name_, line_number_, "the table cannot be read further"};
  }
  return false;
}

std::optional<std::vector<std::string>> LineReader::next_fields() {
  if (!next_record()) {
    return std::nullopt;
  }
  return split();
}

std::size_t LineReader::skip_blanks(std::size_t pos) const {
  while (pos < line_.size() && line_[pos] == ' ' && line_[pos] != delimiter_) {
    ++pos;
  }
  return pos;
}

std::string LineReader::quoted_field(std::size_t& pos, std::size_t field_number) const {
  const std::string_view line = line_;
  const std::size_t opened = pos++;
  std::string field;
  while (true) {
    const std::size_t quote = line.find('"', pos);
    if (quote == std::string_view::npos) {
      fail(join({"the quoted field opened at byte ", std::to_string(opened + 1),
                 " does not close on its line; a line end inside quotes is not allowed"}));
    }
    field.append(line.substr(pos, quote - pos));
    pos = quote + 1;
    if (pos >= line.size() || line[pos] != '"') {
      break;
    }
    field.push_back('"');  // a doubled quote
    ++pos;
  }
  pos = skip_blanks(pos);
  if (pos < line.size() && line[pos] != delimiter_) {
    fail(join({"field ", std::to_string(field_number),
               " has text after its closing quote; a quote inside a quoted field is doubled"}));
  }
  return std::string(trim_blanks(field));
}

std::vector<std::string> LineReader::split() const {
  std::vector<std::string> fields;
  const std::string_view line = line_;
  std::size_t pos = 0;
  while (true) {
    pos = skip_blanks(pos);
    if (pos < line.size() && line[pos] == '"') {
      fields.push_back(quoted_field(pos, fields.size() + 1));
    } else {
      const std::size_t end = std::min(line.find(delimiter_, pos), line.size());
      fields.emplace_back(trim_blanks(line.substr(pos, end - pos)));
      pos = end;
    }
    if (pos >= line.size()) {
      return fields;
    }
    ++pos;  // the delimiter
  }
}

namespace {

// Besides its text an individual holds its record and one string per typing.
constexpr std::size_t INDIVIDUAL_BYTES = 128;
constexpr std::size_t TYPING_BYTES = 32;

}  // namespace

void ReadBudget::add(std::int64_t line, std::size_t text_bytes, std::size_t typings) {
  held_ += static_cast<std::int64_t>(text_bytes + INDIVIDUAL_BYTES + TYPING_BYTES * typings);
  if (max_ > 0 && held_ > max_) {
    throw common::FileError{
        name_, line,
        join({"the file read so far needs more memory than the budget of ", std::to_string(max_),
              " bytes; raise --max-memory, or split the file"})};
  }
}

bool has_extension(std::string_view path, std::string_view extension) {
  return path.size() >= extension.size() &&
         equal_ignoring_case(path.substr(path.size() - extension.size()), extension);
}

}  // namespace genotypes
