#pragma once

#include <iosfwd>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
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
  int repeat = 1;             // repeat count of the item or group
  int width = 0;              // X: count; A: 0 means "as wide as the variable"; I, F: field width
  int decimals = 0;           // F only
  std::string text;           // text items: the characters, apostrophes undoubled
  std::vector<Item> items;    // group items: the parenthesised list
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

// The parsed form of a layout written in the code (never fails).
[[nodiscard]] const LayoutList& parsed(LayoutText text);

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
[[nodiscard]] std::string format_integer(int value, int width);              // Iw
[[nodiscard]] std::string format_fixed(double value, int width, int decimals);  // Fw.d
[[nodiscard]] std::string format_alpha(std::string_view value, int width);   // Aw

enum class LineEnd { lf, crlf };

// A sink over a stream: the console (LF) or an open file (CR LF).
class StreamSink final : public Sink {
 public:
  StreamSink(std::ostream& out, LineEnd end);
  void write_record(std::string_view record) override;

 private:
  std::ostream& out_;
  LineEnd end_;
};

// A sink that keeps its records in memory (tests, buffered task output).
class MemorySink final : public Sink {
 public:
  void write_record(std::string_view record) override;
  [[nodiscard]] const std::vector<std::string>& records() const { return records_; }

 private:
  std::vector<std::string> records_;
};

// The report file: created when opened, and it must not exist yet
// (throws common::FileError naming the file; an existing file is untouched).
// Records end with CR LF.
class ReportSink final : public Sink {
 public:
  explicit ReportSink(const std::string& path);
  ~ReportSink() override;
  ReportSink(const ReportSink&) = delete;
  ReportSink& operator=(const ReportSink&) = delete;
  void write_record(std::string_view record) override;

 private:
  struct File;
  std::unique_ptr<File> file_;
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

 private:
  struct File;
  std::unique_ptr<File> file_;
  std::string path_;
};

// The three destinations of messages, passed together to routines that
// write messages in a stated order.
struct Sinks {
  Sink& console;
  Sink& log;
  Sink& report;
};

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

// Reads records from a stream. Lines end at LF; one CR before the LF is
// dropped; a last line without LF is still a record. Bytes are taken as they are.
class RecordReader {
 public:
  RecordReader(std::istream& in, std::string display_name);

  // One read operation: fills the targets in order and consumes whole records.
  // Returns end_of_file when a record is needed and none is left (targets
  // filled so far keep their values). Throws common::FileError naming the
  // file and line when a field is not a valid 32-bit integer or an item does
  // not suit its variable.
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
  // further private state as the implementation needs
};

// Opens an input file by name; throws common::FileError if it cannot be read.
[[nodiscard]] std::unique_ptr<std::istream> open_input(const std::string& path);

// Input text made safe to echo in a message: unprintable bytes become \xNN.
[[nodiscard]] std::string printable(std::string_view text);

}  // namespace layout
