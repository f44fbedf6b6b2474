// The texts of messages: input echoed safely, numbered things with their
// titles, and the one-line forms of file-layer errors and stops.

#include <string>
#include <string_view>

#include "layout/fields_internal.h"
#include "layout/parser_internal.h"

namespace layout {

std::string printable(std::string_view text) {
  std::string shown;
  shown.reserve(text.size());
  for (const char c : text) {
    shown += detail::shown_byte(c);
  }
  return shown;
}

std::string titled(std::string_view name, std::string_view title) {
  const std::size_t first = title.find_first_not_of(' ');
  if (first == std::string_view::npos) {
    return std::string(name);
  }
  const std::size_t last = title.find_last_not_of(' ');
  return detail::join({name, " (", printable(title.substr(first, last + 1 - first)), ")"});
}

std::string file_error_line(const common::FileError& error) {
  std::string line = error.file;
  if (!line.empty() && error.line > 0) {
    line += ':' + integer_text(error.line);
  }
  if (!line.empty()) {
    line += ": ";
  }
  return printable(line + error.what);
}

std::string stop_help_line(const common::Stop& stop) {
  return printable(detail::join(
      {"stop code ", integer_text(common::stop_number(stop.code)), ": ", stop.explanation}));
}

}  // namespace layout
