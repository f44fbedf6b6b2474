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
#include <variant>
#include <vector>

#include "common/stop.h"
#include "common/tables.h"
#include "common/text.h"

// Fixed-column records: the layout-list notation, the record writer and
// reader, the output sinks, the opening of files and the texts of messages.
// Every byte the program reads or writes passes through this module. This is
// its one public header, in sections by concern; the sources follow the same
// split (parse.cpp, write.cpp, read.cpp, sinks.cpp, files.cpp, messages.cpp).
//
// A layout list is a parenthesised, comma-separated list of items:
//   'text'  (two apostrophes inside stand for one)   nX   /   Aw   A   Iw   Fw.d
//   n(...)  nAw  nIw  (repeat counts on items and groups; groups nest)
// Blanks are ignored, item letters are case-insensitive, and the comma next
// to a slash may be left out. Anything else (T, TL, E, G, L, P, ...) is
// rejected with the layout text and the offending position.

namespace layout {

// ---------------------------------------------------------------- notation

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

// True when text is a valid layout list; usable at compile time (defined in
// layout/parser_internal.h, included at the end of this header).
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

// Writes a line of free text (a log or console line the program composes) as
// one record of its own, as the layout (A) writes it.
void write_line(Sink& sink, std::string_view line);

// Single field formatters, as the writer uses them.
[[nodiscard]] std::string format_integer(int value, int width);  // Iw
// An integer as its digits (and sign) without padding, for message texts.
[[nodiscard]] std::string integer_text(std::int64_t value);
[[nodiscard]] std::string format_fixed(double value, int width, int decimals);  // Fw.d
[[nodiscard]] std::string format_alpha(std::string_view value, int width);      // Aw

// ---------------------------------------------------------------- sinks

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
  // Writes the records kept, in order, to sink: the output of a task that
  // ran aside, handed on in its place.
  void write_to(Sink& sink) const;

 private:
  std::vector<std::string> records_;
};

// A sink that takes records and keeps none: for the messages a caller does
// not show (the engine's summary of each locus pair, benchmarks, fuzzing).
class DiscardSink final : public Sink {
 public:
  void write_record(std::string_view /*record*/) override {}
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
  // A report written to a stream already open (a result file's temporary);
  // errors name path.
  ReportSink(std::unique_ptr<std::ostream> out, std::string path);
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
// With EmptyFiles::refused an existing empty file is refused too (result
// files written whole under a temporary name and moved to theirs).
enum class EmptyFiles { taken, refused };
void check_output_files(std::span<const std::string> paths, EmptyFiles empty = EmptyFiles::taken);

// Opens one output file by the rule above, positioned at its end (which is
// its start, since it is new or empty). Throws common::FileError, at the line
// of named_at when given, when it is refused or cannot be created. Writes are
// buffered: the caller flushes the stream and checks it after the last write.
[[nodiscard]] std::unique_ptr<std::ostream> create_output_file(const std::string& path,
                                                               const NamedAt& named_at = {});

// A new file, never an existing name (not even through a link), open for
// writing; nullptr when the name exists. Throws common::FileError when it
// cannot be created.
[[nodiscard]] std::unique_ptr<std::ostream> create_new_file(const std::string& path);

// The log may be appended to only as a regular file: a symbolic link, a FIFO
// or any other kind is refused (common::FileError); a missing one is fine.
void check_log_file(const std::string& path);

// The descriptor of the log, opened for appending (created if need be), not
// through a link, refused unless it is a regular file.
[[nodiscard]] int open_log_descriptor(const std::string& path);

// ---------------------------------------------------------------- messages

// Input text made safe to echo in a message: unprintable bytes become \xNN.
// Its result is printable, so applying it twice changes nothing.
[[nodiscard]] std::string printable(std::string_view text);

// Text of a genotype table made safe for the console and standard error, its
// UTF-8 kept: each byte of a control character (bytes 0 to 31 and 127, and
// U+0080 to U+009F) becomes \xNN, as printable() shows it. Applying it twice
// changes nothing.
[[nodiscard]] std::string escape_controls(std::string_view text);

// What a message calls a numbered thing with its title, such as
// "system 3 (TRANSFERRIN)": the title without its leading and trailing
// blanks and made printable, left out when it is blank.
[[nodiscard]] std::string titled(std::string_view name, std::string_view title);

// How a message names system s (0-based; shown 1-based) with its title, as
// titled() shows it: "system 2 (TRANSFERRIN)", without the title when the
// tables hold none for s.
[[nodiscard]] std::string system_text(const common::SystemTables& systems, int s);

// How a message names record r of population p (both 0-based; shown 1-based):
// "record 8 of population number 2", or with the population's name (made
// printable, trailing blanks dropped) "record 8 of population "North" (number 2)".
[[nodiscard]] std::string record_text(int p, int r);
[[nodiscard]] std::string record_text(int p, int r, const common::PopulationName& name);

// A file-layer error as its one line on standard error: "file:line: what",
// "file: what" without a line, or "what" alone without a file; unprintable
// bytes (of a file name read from the control file) shown as \xNN.
[[nodiscard]] std::string file_error_line(const common::FileError& error);

// A stop as its one line on standard error, after the "Return code" line:
// "stop code N: " and the stop's explanation, unprintable bytes shown as \xNN.
[[nodiscard]] std::string stop_help_line(const common::Stop& stop);

}  // namespace layout

// The parser that LayoutText runs at compile time.
#include "layout/parser_internal.h"
