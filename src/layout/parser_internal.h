#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>

#include "layout/layout.h"

// The layout-list parser itself. It is a template in a header because
// LayoutText runs it at compile time wherever a layout is written in the
// code: layout/layout.h includes this file at its end for that reason only.
// Other modules name nothing in it; layout's own sources and its unit test
// use what is in detail.

namespace layout {

namespace detail {

// Widths, counts and repeat counts above this are rejected: the program's
// layouts need at most 100, and the bound keeps every position and product
// of counts far from overflow.
inline constexpr int MAX_LAYOUT_NUMBER = 32767;
// Groups may nest this deep inside the outer parentheses.
inline constexpr int MAX_GROUP_DEPTH = 10;

// Character classes on plain char, independent of locale and of the sign of char.
[[nodiscard]] constexpr bool is_digit(char c) { return c >= '0' && c <= '9'; }
[[nodiscard]] constexpr char to_upper(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}
[[nodiscard]] constexpr bool is_letter(char c) {
  const char upper = to_upper(c);
  return upper >= 'A' && upper <= 'Z';
}

// One byte as a message shows it: itself when printable ASCII, else \xNN.
[[nodiscard]] inline std::string shown_byte(char c) {
  const auto byte = static_cast<unsigned char>(c);
  if (byte >= 0x20 && byte <= 0x7E) {
    return std::string(1, c);
  }
  constexpr std::string_view hex = "0123456789ABCDEF";
  return std::string{'\\', 'x', hex[byte / 16], hex[byte % 16]};
}

// The builder of a parse that only validates: it keeps nothing, so the parse
// needs no std::string or std::vector and runs at compile time on GCC and clang.
struct NoBuild {
  constexpr void slash() {}
  constexpr void skip(int /*count*/) {}
  constexpr void data(Item::Kind /*kind*/, int /*repeat*/, int /*width*/, int /*decimals*/) {}
  constexpr void text(std::string_view /*raw*/) {}
  constexpr void open_group(int /*repeat*/) {}
  constexpr void close_group() {}
};

// The one layout-list parser, run at compile time for layouts written in the
// code and at run time for layouts read from files. It hands each item to
// the builder in order: slash(), skip(count), data(kind, repeat, width,
// decimals), text(raw) with apostrophes still doubled, and open_group(repeat)
// ... close_group() around a group's items. Blanks outside text items are
// ignored everywhere, also inside numbers, as the notation allows.
template <class Builder>
class LayoutParser {
 public:
  constexpr LayoutParser(std::string_view text, Builder& builder)
      : text_(text), builder_(builder) {}

  // Parses the whole text. On failure returns false and error() tells where
  // and what; the builder may then hold part of the list.
  [[nodiscard]] constexpr bool parse() {
    skip_blanks();
    if (at_end() || text_[pos_] != '(') {
      return fail(pos_, "a layout list must start with '('");
    }
    ++pos_;
    if (!parse_list(0)) {
      return false;
    }
    skip_blanks();
    if (!at_end()) {
      return fail(pos_, "unexpected ", " after the closing ')'");
    }
    return true;
  }

  // The error of a failed parse, with a 1-based position (run time only).
  [[nodiscard]] LayoutParseError error() const {
    std::string what(error_before_);
    if (error_shows_byte_) {
      what += '\'';
      what += shown_byte(text_[error_at_]);
      what += '\'';
    }
    what += error_after_;
    return LayoutParseError{static_cast<int>(error_at_) + 1, std::move(what)};
  }

 private:
  enum class Last { start, comma, slash, item };

  constexpr void skip_blanks() {
    while (pos_ < text_.size() && text_[pos_] == ' ') {
      ++pos_;
    }
  }
  [[nodiscard]] constexpr bool at_end() const { return pos_ >= text_.size(); }
  [[nodiscard]] static constexpr bool starts_item(char c) {
    return is_digit(c) || is_letter(c) || c == '(' || c == '\'';
  }
  [[nodiscard]] constexpr bool digit_follows() {
    skip_blanks();
    return !at_end() && is_digit(text_[pos_]);
  }

  // Records an error at a 0-based position. The message is kept in pieces
  // and put together by error() at run time, so that a failing parse is still
  // a constant expression.
  [[nodiscard]] constexpr bool fail(std::size_t position, std::string_view what) {
    return fail(position, what, false, "");
  }
  // The same, quoting the byte at the position between before and after.
  [[nodiscard]] constexpr bool fail(std::size_t position, std::string_view before,
                                    std::string_view after) {
    return fail(position, before, true, after);
  }
  [[nodiscard]] constexpr bool fail(std::size_t position, std::string_view before, bool shows_byte,
                                    std::string_view after) {
    error_at_ = position;
    error_before_ = before;
    error_shows_byte_ = shows_byte;
    error_after_ = after;
    return false;
  }

  // The items up to and including the ')' that closes the '(' just consumed.
  [[nodiscard]] constexpr bool parse_list(int depth) {
    const std::size_t open = pos_ - 1;
    Last last = Last::start;
    while (true) {
      skip_blanks();
      if (at_end()) {
        return fail(open, "this '(' has no matching ')'");
      }
      if (text_[pos_] == ')') {
        if (last == Last::comma) {
          return fail(pos_, "an item is missing after ','");
        }
        if (last == Last::start && depth > 0) {
          return fail(pos_, "a group must hold at least one item");
        }
        ++pos_;
        return true;
      }
      if (!parse_element(last, depth)) {
        return false;
      }
    }
  }

  // A comma, a slash or an item, following `last`, which it updates.
  [[nodiscard]] constexpr bool parse_element(Last& last, int depth) {
    const char c = text_[pos_];
    if (c == ',') {
      if (last == Last::start || last == Last::comma) {
        return fail(pos_, "an item is missing before ','");
      }
      last = Last::comma;
      ++pos_;
      return true;
    }
    if (c == '/') {  // needs no comma on either side
      builder_.slash();
      last = Last::slash;
      ++pos_;
      return true;
    }
    if (!starts_item(c)) {
      return fail(pos_, "unexpected ", "");
    }
    if (last == Last::item) {
      return fail(pos_, "',' is missing between two items");
    }
    last = Last::item;
    return parse_item(depth);
  }

  // One item other than '/', with its repeat count or X count.
  [[nodiscard]] constexpr bool parse_item(int depth) {
    const std::size_t start = pos_;
    int count = 0;
    const bool counted = is_digit(text_[pos_]);
    if (counted && !parse_number(count, 1, "a count")) {
      return false;
    }
    skip_blanks();
    if (at_end()) {
      return fail(start, "the count is not followed by an item");
    }
    const int repeat = counted ? count : 1;
    const char c = text_[pos_];
    switch (to_upper(c)) {
      case '(':
        return parse_group(repeat, depth);
      case '\'':
        if (counted) {
          return fail(start, "a text item cannot have a repeat count");
        }
        return parse_text();
      case '/':
        return fail(start, "'/' cannot have a repeat count");
      case ',':
      case ')':
        return fail(start, "the count is not followed by an item");
      case 'X':
        if (!counted) {
          return fail(pos_, "X needs the number of columns in front, as in 1X");
        }
        ++pos_;
        builder_.skip(count);
        return true;
      case 'A':
      case 'I':
      case 'F':
        ++pos_;
        return parse_data_item(to_upper(c), repeat);
      default:
        if (is_letter(c)) {
          return fail(pos_, "", " is not a supported item");
        }
        return fail(pos_, "unexpected ", "");
    }
  }

  // Aw or A, Iw, Fw.d after the letter.
  [[nodiscard]] constexpr bool parse_data_item(char letter, int repeat) {
    int width = 0;
    int decimals = 0;
    if (letter == 'A') {
      if (digit_follows() && !parse_number(width, 1, "a field width")) {
        return false;
      }
      builder_.data(Item::Kind::alpha, repeat, width, 0);
    } else if (letter == 'I') {
      if (!parse_width(width, "I needs a field width, as in I5")) {
        return false;
      }
      builder_.data(Item::Kind::integer, repeat, width, 0);
    } else {
      if (!parse_fixed(width, decimals)) {
        return false;
      }
      builder_.data(Item::Kind::fixed, repeat, width, decimals);
    }
    return true;
  }

  [[nodiscard]] constexpr bool parse_group(int repeat, int depth) {
    if (depth + 1 > MAX_GROUP_DEPTH) {
      return fail(pos_, "groups are nested too deeply");
    }
    ++pos_;
    builder_.open_group(repeat);
    if (!parse_list(depth + 1)) {
      return false;
    }
    builder_.close_group();
    return true;
  }

  // 'text', where two apostrophes stand for one; blanks are kept.
  [[nodiscard]] constexpr bool parse_text() {
    const std::size_t open = pos_;
    ++pos_;
    while (true) {
      if (at_end()) {
        return fail(open, "this text has no closing apostrophe");
      }
      if (text_[pos_++] == '\'') {
        if (at_end() || text_[pos_] != '\'') {
          break;
        }
        ++pos_;
      }
    }
    builder_.text(text_.substr(open + 1, pos_ - open - 2));
    return true;
  }

  [[nodiscard]] constexpr bool parse_width(int& width, std::string_view missing) {
    if (!digit_follows()) {
      return fail(pos_, missing);
    }
    return parse_number(width, 1, "a field width");
  }

  // Fw.d: both numbers required, d may be 0.
  [[nodiscard]] constexpr bool parse_fixed(int& width, int& decimals) {
    if (!parse_width(width, "F needs a field width and decimals, as in F5.3")) {
      return false;
    }
    skip_blanks();
    if (at_end() || text_[pos_] != '.') {
      return fail(pos_, "F needs '.' and the number of decimals, as in F5.3");
    }
    ++pos_;
    if (!digit_follows()) {
      return fail(pos_, "F needs the number of decimals after '.', as in F5.3");
    }
    return parse_number(decimals, 0, "the number of decimals");
  }

  // Decimal digits, blanks between them ignored; what names the number in
  // messages, least is 0 or 1.
  [[nodiscard]] constexpr bool parse_number(int& value, int least, std::string_view what) {
    const std::size_t start = pos_;
    int number = 0;
    bool too_large = false;
    while (!at_end() && (is_digit(text_[pos_]) || text_[pos_] == ' ')) {
      if (text_[pos_] != ' ') {
        number = number * 10 + (text_[pos_] - '0');
        if (number > MAX_LAYOUT_NUMBER) {
          too_large = true;
          number = MAX_LAYOUT_NUMBER;
        }
      }
      ++pos_;
    }
    if (too_large) {
      return fail(start, what, false, " must be at most 32767");
    }
    if (number < least) {
      return fail(start, what, false, " must be at least 1");
    }
    value = number;
    return true;
  }

  std::string_view text_;
  Builder& builder_;
  std::size_t pos_ = 0;
  std::size_t error_at_ = 0;
  std::string_view error_before_;
  bool error_shows_byte_ = false;
  std::string_view error_after_;
};

static_assert(MAX_LAYOUT_NUMBER == 32767, "the parser's message names the bound");

}  // namespace detail

constexpr bool layout_is_valid(std::string_view text) {
  detail::NoBuild none;
  return detail::LayoutParser<detail::NoBuild>(text, none).parse();
}

}  // namespace layout
