#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <iosfwd>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "common/stop.h"
#include "common/text.h"

// Fixed-column records: the layout-list notation, the record reader, the
// record writer and the output sinks. Every byte the program reads or writes
// passes through this module.
//
// A layout list is a parenthesised, comma-separated list of items:
//   'text'  (two apostrophes inside stand for one)   nX   /   Aw   A   Iw   Fw.d
//   n(...)  nAw  nIw  (repeat counts on items and groups; groups nest)
// Blanks are ignored, item letters are case-insensitive, and the comma next
// to a slash may be left out. Anything else (T, TL, E, G, L, P, ...) is
// rejected with the layout text and the offending position.

namespace layout {

// ---------------------------------------------------------------- parsing

struct Item {
  enum class Kind { text, skip, slash, alpha, integer, fixed, group };
  Kind kind = Kind::text;
  int repeat = 1;           // repeat count of the item or group
  int width = 0;            // X: count; A: 0 means "as wide as the variable"; I, F: field width
  int decimals = 0;         // F only
  std::string text;         // text items: the characters, apostrophes undoubled
  std::vector<Item> items;  // group items: the parenthesised list
};

struct LayoutList {
  std::vector<Item> items;  // the top-level list
  std::string source;       // the text as given
};

struct LayoutParseError {
  int position = 0;  // 1-based character position in the layout text
  std::string what;  // what is wrong there
};

// Parses a layout list. On failure the result holds the error, never throws.
struct ParseResult {
  std::optional<LayoutList> list;
  LayoutParseError error;
};
[[nodiscard]] ParseResult parse_layout(std::string_view text);

// True when text is a valid layout list; usable at compile time.
[[nodiscard]] constexpr bool layout_is_valid(std::string_view text);

// A layout list written in the program's code. The constructor runs the
// validating parser at compile time, so a typo in a layout fails the build.
class LayoutText {
 public:
  consteval LayoutText(const char* text)  // NOLINT(google-explicit-constructor)
      : text_(text) {
    if (!layout_is_valid(text_)) {
      throw "invalid layout list";  // reached only at compile time: a build error
    }
  }
  [[nodiscard]] constexpr std::string_view text() const { return text_; }

 private:
  std::string_view text_;
};

// The parsed form of a layout written in the code (never fails). Parsed
// anew on every call and returned by value: there is no cache, because a
// cache would be mutable global state. Bind it to a const reference or pass
// it straight on.
[[nodiscard]] LayoutList parsed(LayoutText text);

// ---------------------------------------------------------------- writing

// One value for a data item: Iw takes int, Fw.d takes double, Aw and A take text.
using WriteValue = std::variant<int, double, std::string_view>;

// Where records go. A sink owns the record ending: LF on the console, CR LF in files.
class Sink {
 public:
  virtual ~Sink() = default;
  // Writes one complete record (without its ending).
  virtual void write_record(std::string_view record) = 0;
};

// The records a write operation produces, without record endings.
[[nodiscard]] std::vector<std::string> format_records(const LayoutList& layout,
                                                      std::span<const WriteValue> values);

// Writes one write operation's records to the sink.
void write(Sink& sink, const LayoutList& layout, std::span<const WriteValue> values = {});
void write(Sink& sink, LayoutText layout, std::span<const WriteValue> values = {});
inline void write(Sink& sink, LayoutText layout, std::initializer_list<WriteValue> values) {
  write(sink, layout, std::span<const WriteValue>(values.begin(), values.size()));
}

// Single field formatters, as the writer uses them.
[[nodiscard]] std::string format_integer(int value, int width);  // Iw
// An integer as its digits (and sign) without padding, for message texts.
[[nodiscard]] std::string integer_text(std::int64_t value);
[[nodiscard]] std::string format_fixed(double value, int width, int decimals);  // Fw.d
[[nodiscard]] std::string format_alpha(std::string_view value, int width);      // Aw

enum class LineEnd { lf, crlf };

// What a StreamSink does when its stream fails. The console's lines are part
// of the run's result, so a write error there must end the run; the help
// channel (standard error) only informs, and a run is not given up because
// it cannot be told about.
enum class WriteFailure { stops_the_run, ignored };

// A sink over a stream: the console (LF) or an open file (CR LF). Every record
// is flushed at once, so that the console shows progress as it is made and a
// write error (standard output on a full disk, a closed descriptor) shows at
// the record that meets it. With WriteFailure::stops_the_run such an error
// throws common::FileError{name, 0, ...}.
class StreamSink final : public Sink {
 public:
  StreamSink(std::ostream& out, LineEnd end, std::string name = "standard output",
             WriteFailure failure = WriteFailure::stops_the_run);
  void write_record(std::string_view record) override;

 private:
  std::ostream& out_;
  LineEnd end_;
  std::string name_;
  WriteFailure failure_;
};

// A sink that keeps its records in memory (tests, buffered task output).
class MemorySink final : public Sink {
 public:
  void write_record(std::string_view record) override;
  [[nodiscard]] const std::vector<std::string>& records() const { return records_; }

 private:
  std::vector<std::string> records_;
};

// Where a file name was read: the file and 1-based line that named it, and
// what the named file is for ("data file"). An error about the named file is
// then a common::FileError at that line, whose text names the file:
//   group.dat:3: data file "pheno.dat": cannot open it for reading (...)
// Left empty (file ""), errors name the file itself with line 0.
struct NamedAt {
  std::string file;
  int line = 0;
  std::string role;
};

// The report file, opened as create_output_file opens an output file: created
// when it does not exist, taken as the new file when it exists and is empty,
// refused otherwise (throws common::FileError, at the line of named_at when
// given; the existing file is untouched). Records end with CR LF and are
// flushed one by one; a write error throws common::FileError.
class ReportSink final : public Sink {
 public:
  explicit ReportSink(const std::string& path, const NamedAt& named_at = {});
  ~ReportSink() override;
  ReportSink(const ReportSink&) = delete;
  ReportSink& operator=(const ReportSink&) = delete;
  void write_record(std::string_view record) override;

 private:
  std::unique_ptr<std::ostream> out_;
  std::string path_;
};

// The log: a text file created on its first write and appended to if it
// exists already; nothing is created while nothing is written. Records end
// with CR LF. Throws common::FileError if the file cannot be opened.
class LogSink final : public Sink {
 public:
  explicit LogSink(std::string path);
  ~LogSink() override;
  LogSink(const LogSink&) = delete;
  LogSink& operator=(const LogSink&) = delete;
  void write_record(std::string_view record) override;
  // Whether a record has been written (the file then exists).
  [[nodiscard]] bool written() const { return file_ != nullptr; }

 private:
  struct File;
  std::unique_ptr<File> file_;
  std::string path_;
};

// The three destinations of messages, passed together to routines that
// write messages in a stated order, and the help channel.
struct Sinks {
  Sink& console;
  Sink& log;
  Sink& report;
  // Standard error, the user's help channel: one plain line for each
  // condition the run survives but the user must know about. Never part of
  // the console output; null when nobody listens (tests, fuzzing).
  Sink* help = nullptr;
};

// Writes one line to the help channel of sinks, if it has one, with
// unprintable bytes shown as \xNN.
void write_help(const Sinks& sinks, std::string_view line);

// One write operation of a message: a layout and the values it takes.
struct MessagePart {
  LayoutText layout;
  std::span<const WriteValue> values = {};
};

// Writes a message, its parts in order, to each of the sinks in turn: a sink
// gets the whole message before the next sink gets any of it.
void write_message(std::initializer_list<MessagePart> message, std::initializer_list<Sink*> sinks);

// A stop that announces itself: writes the message as write_message does,
// then throws stop. The caller states the message, the sinks and their order,
// and the stop in one place.
[[noreturn]] void write_then_stop(std::initializer_list<MessagePart> message,
                                  std::initializer_list<Sink*> sinks, common::Stop stop);

// ---------------------------------------------------------------- reading

// A receiving variable: an int (for Iw) or a blank-padded character variable
// whose length is the span's size (for Aw and A).
using ReadTarget = std::variant<int*, std::span<char>>;

template <std::size_t N>
[[nodiscard]] ReadTarget target(common::FixedText<N>& text) {
  return std::span<char>(text.chars);
}
[[nodiscard]] inline ReadTarget target(int& value) { return &value; }

enum class ReadStatus { ok, end_of_file };

// The longest line a RecordReader takes, in bytes without its line ending.
// The program's records are at most a few hundred columns wide; a longer line
// means a file that is not what it was named for.
inline constexpr std::size_t MAX_LINE_LENGTH = std::size_t{1} << 20;  // 1 MiB

// Reads records from a stream. Lines end at LF; one CR before the LF is
// dropped; a last line without LF is still a record. Bytes are taken as they
// are. A line longer than MAX_LINE_LENGTH throws common::FileError naming the
// file, the line and the limit; the reader never holds more than that.
class RecordReader {
 public:
  RecordReader(std::istream& in, std::string display_name);

  // One read operation: fills the targets in order and consumes whole records.
  // Returns end_of_file when a record is needed and none is left (targets
  // filled so far keep their values). Throws common::FileError naming the
  // file and line when a field is not a valid 32-bit integer, an item does
  // not suit its variable, the layout holds a text or Fw.d item
  // (read_layout_problem), or variables remain and the part of the layout to
  // repeat holds no data item.
  [[nodiscard]] ReadStatus read(const LayoutList& layout, std::span<const ReadTarget> targets = {});
  [[nodiscard]] ReadStatus read(LayoutText layout, std::span<const ReadTarget> targets = {});
  [[nodiscard]] ReadStatus read(LayoutText layout, std::initializer_list<ReadTarget> targets) {
    return read(layout, std::span<const ReadTarget>(targets.begin(), targets.size()));
  }

  // 1-based number of the last record consumed (0 before the first).
  [[nodiscard]] int line_number() const { return line_number_; }
  [[nodiscard]] const std::string& name() const { return name_; }

 private:
  std::istream& in_;
  std::string name_;
  int line_number_ = 0;
  std::string record_;  // the record being read, without its line ending

  friend class ReadOperation;
  // Moves to the next record; false when the file has none left.
  [[nodiscard]] bool next_record();
  [[noreturn]] void throw_line_too_long() const;
};

// Empty when the layout suits reading; otherwise what makes it unsuitable
// (a text item or an Fw.d item, which have no meaning on input). A read with
// such a layout throws common::FileError with this text; a layout read from a
// file can be checked with it before the first record.
[[nodiscard]] std::string read_layout_problem(const LayoutList& layout);

// Input text made safe to echo in a message: unprintable bytes become \xNN.
// Its result is printable, so applying it twice changes nothing.
[[nodiscard]] std::string printable(std::string_view text);

// What a message calls a numbered thing with its title, such as
// "system 3 (TRANSFERRIN)": the title without its leading and trailing
// blanks and made printable, left out
// when it is blank.
[[nodiscard]] std::string titled(std::string_view name, std::string_view title);

// ---------------------------------------------------------------- files

// Opens an input file by name; it may be a pipe or a device. Throws
// common::FileError if it cannot be opened or is a directory.
[[nodiscard]] std::unique_ptr<std::istream> open_input(const std::string& path);

// Opens a classic input file (the control file, the data file), which must be
// a regular file: it is checked before it is opened, so that a FIFO cannot
// block the run in open() and a device cannot feed it endless data, and the
// open descriptor is checked again. Throws common::FileError when the file is
// missing, unreadable or not a regular file; a read error later throws
// common::FileError from the stream's reads (see RecordReader).
[[nodiscard]] std::unique_ptr<std::istream> open_regular_input(const std::string& path,
                                                               const NamedAt& named_at = {});

// The rule for output files (the report, the genotype mode's report and
// result tables): a file that does not exist is created; one that exists as
// an empty regular file (0 bytes, such as the report of a run that stopped
// before writing to it) is taken as the new file; any other existing file
// (not empty, a directory, a symbolic link, a FIFO, a device) is refused and
// never opened for writing, truncated or overwritten. Logs do not follow this
// rule: they are appended to (LogSink).
//
// Checks the paths by that rule before any of them is created, so that a run
// with several output files is refused before it writes any. Throws one
// common::FileError naming every refused file with its reason.
void check_output_files(std::span<const std::string> paths);

// Opens one output file by the rule above, positioned at its end (which is
// its start, since it is new or empty). Throws common::FileError, at the line
// of named_at when given, when it is refused or cannot be created. Writes are
// buffered: the caller flushes the stream and checks it after the last write.
[[nodiscard]] std::unique_ptr<std::ostream> create_output_file(const std::string& path,
                                                               const NamedAt& named_at = {});

// ---------------------------------------------------------------- help texts

// A file-layer error as its one line on standard error: "file:line: what",
// "file: what" without a line, or "what" alone without a file; unprintable
// bytes (of a file name read from the control file) shown as \xNN.
[[nodiscard]] std::string file_error_line(const common::FileError& error);

// A stop as its one line on standard error, after the "Return code" line:
// "stop code N: " and the stop's explanation, unprintable bytes shown as \xNN.
[[nodiscard]] std::string stop_help_line(const common::Stop& stop);

// ---------------------------------------------------------------- parser internals

// The parser itself. It stays in this header because LayoutText runs it at
// compile time wherever a layout is written in the code; only layout's own
// sources name what is in detail.

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
