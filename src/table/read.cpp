#include <string>
#include <vector>

#include "common/stop.h"
#include "layout/layout.h"
#include "table/table.h"
#include "table/table_internal.h"

namespace table {
namespace {

// One line without its LF and a CR before it; false at the end of the input.
// A line is read byte by byte up to the limit, so an endless line cannot
// fill the memory.
bool read_line(std::istream& in, const std::string& name, int line_number, std::string& line) {
  line.clear();
  std::streambuf* buffer = in.rdbuf();
  bool any = false;
  for (;;) {
    const int c = buffer->sbumpc();
    if (c == std::char_traits<char>::eof()) {
      break;
    }
    any = true;
    if (c == '\n') {
      break;
    }
    if (line.size() == MAX_LINE_BYTES) {
      throw common::FileError{name, line_number,
                              "line longer than 1 MiB (1048576 bytes); is this a genotype table?"};
    }
    line.push_back(static_cast<char>(c));
  }
  if (!line.empty() && line.back() == '\r') {
    line.pop_back();
  }
  return any;
}

bool is_blank(char c) { return c == ' ' || c == '\t'; }

}  // namespace

std::string trimmed(std::string_view text) {
  std::size_t begin = 0;
  std::size_t end = text.size();
  while (begin < end && is_blank(text[begin])) {
    ++begin;
  }
  while (end > begin && is_blank(text[end - 1])) {
    --end;
  }
  return std::string(text.substr(begin, end - begin));
}

std::vector<std::string> split_fields(std::string_view line, char delimiter,
                                      const std::string& name, int line_number) {
  std::vector<std::string> fields;
  std::string field;
  std::size_t i = 0;
  for (;;) {
    field.clear();
    // Blanks before an opening quote belong to the cell's padding.
    std::size_t start = i;
    while (start < line.size() && line[start] == ' ' && delimiter != ' ') {
      ++start;
    }
    if (start < line.size() && line[start] == '"') {
      i = start + 1;
      for (;;) {
        if (i >= line.size()) {
          throw common::FileError{name, line_number,
                                  "a quoted field is not closed on its line (a line end inside "
                                  "quotes is not allowed)"};
        }
        if (line[i] == '"') {
          if (i + 1 < line.size() && line[i + 1] == '"') {
            field.push_back('"');
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        field.push_back(line[i++]);
      }
      // Only blanks may follow the closing quote before the delimiter.
      while (i < line.size() && line[i] != delimiter) {
        if (!is_blank(line[i])) {
          throw common::FileError{name, line_number,
                                  "text after the closing quote of field " +
                                      std::to_string(fields.size() + 1)};
        }
        ++i;
      }
    } else {
      while (i < line.size() && line[i] != delimiter) {
        field.push_back(line[i++]);
      }
    }
    fields.push_back(trimmed(field));
    if (i >= line.size()) {
      return fields;
    }
    ++i;  // the delimiter
  }
}

std::vector<Record> read_records(std::istream& in, const std::string& name, char delimiter) {
  std::vector<Record> records;
  std::string line;
  for (int line_number = 1; read_line(in, name, line_number, line); ++line_number) {
    if (line_number == 1 && line.starts_with("\xEF\xBB\xBF")) {
      line.erase(0, 3);
    }
    if (trimmed(line).empty()) {
      continue;
    }
    records.push_back({line_number, split_fields(line, delimiter, name, line_number)});
  }
  if (in.bad()) {
    throw common::FileError{name, 0, "cannot read the table"};
  }
  return records;
}

}  // namespace table
