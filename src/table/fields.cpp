#include <algorithm>
#include <streambuf>
#include <string>
#include <utility>

#include "common/stop.h"
#include "layout/layout.h"
#include "table/table.h"
#include "table/table_internal.h"

namespace table::detail {

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

[[nodiscard]] bool is_blank_line(std::string_view line) {
  return line.find_first_not_of(" \t") == std::string_view::npos;
}

}  // namespace

FieldReader::FieldReader(std::istream& in, std::string name, char delimiter)
    : in_(in), name_(std::move(name)), delimiter_(delimiter) {}

void FieldReader::fail(const std::string& what) const {
  throw common::FileError{name_, line_number_, what};
}

bool FieldReader::next_line() {
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
  ++line_number_;
  for (; !Traits::eq_int_type(c, Traits::eof()); c = buffer->sbumpc()) {
    if (Traits::eq_int_type(c, Traits::to_int_type('\n'))) {
      break;
    }
    // One byte more than the limit may be the CR of a CR LF.
    if (line_.size() > static_cast<std::size_t>(MAX_TABLE_LINE)) {
      break;
    }
    line_.push_back(Traits::to_char_type(c));
  }
  if (!line_.empty() && line_.back() == '\r') {
    line_.pop_back();
  }
  if (line_.size() > static_cast<std::size_t>(MAX_TABLE_LINE)) {
    fail(join({"the line is longer than ", std::to_string(MAX_TABLE_LINE),
               " bytes (1 MiB), the longest line a table may have; is this the right file?"}));
  }
  if (line_number_ == 1 && line_.starts_with(BYTE_ORDER_MARK)) {
    line_.erase(0, BYTE_ORDER_MARK.size());
  }
  return true;
}

bool FieldReader::next_record() {
  while (next_line()) {
    if (!is_blank_line(line_)) {
      return true;
    }
  }
  if (in_.bad()) {
    throw common::FileError{name_, line_number_, "the table cannot be read further"};
  }
  return false;
}

std::optional<std::vector<std::string>> FieldReader::next_fields() {
  if (!next_record()) {
    return std::nullopt;
  }
  return split();
}

std::size_t FieldReader::skip_blanks(std::size_t pos) const {
  while (pos < line_.size() && line_[pos] == ' ' && line_[pos] != delimiter_) {
    ++pos;
  }
  return pos;
}

std::string FieldReader::quoted_field(std::size_t& pos, std::size_t field_number) const {
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

std::vector<std::string> FieldReader::split() const {
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

}  // namespace table::detail
