// The texts of messages: input echoed safely, systems and records as
// messages name them, and the one-line forms of file-layer errors and stops.

#include <string>
#include <string_view>
#include <system_error>

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

std::string escape_controls(std::string_view text) {
  std::string shown;
  shown.reserve(text.size());
  for (std::size_t k = 0; k < text.size(); ++k) {
    const auto byte = static_cast<unsigned char>(text[k]);
    // U+0080 to U+009F are C2 80 to C2 9F in UTF-8.
    const bool c1_control = byte == 0xC2 && k + 1 < text.size() &&
                            static_cast<unsigned char>(text[k + 1]) >= 0x80 &&
                            static_cast<unsigned char>(text[k + 1]) <= 0x9F;
    if (c1_control) {
      shown += detail::shown_byte(text[k]);
      shown += detail::shown_byte(text[++k]);
    } else if (byte < 0x20 || byte == 0x7F) {
      shown += detail::shown_byte(text[k]);
    } else {
      shown += text[k];
    }
  }
  return shown;
}

std::string titled(std::string_view name, std::string_view title) {
  const std::size_t first = title.find_first_not_of(' ');
  if (first == std::string_view::npos) {
    return std::string(name);
  }
  const std::size_t last = title.find_last_not_of(' ');
  return common::join({name, " (", printable(title.substr(first, last + 1 - first)), ")"});
}

std::string system_text(const common::SystemTables& systems, int s) {
  const auto index = static_cast<std::size_t>(s);
  return titled(common::join({"system ", integer_text(s + 1)}),
                index < systems.system_title.size() ? systems.system_title[index].view()
                                                    : std::string_view());
}

std::string record_text(int p, int r) {
  return common::join(
      {"record ", integer_text(r + 1), " of population number ", integer_text(p + 1)});
}

std::string record_text(int p, int r, const common::PopulationName& name) {
  return common::join({"record ", integer_text(r + 1), " of population \"",
                       printable(name.trimmed()), "\" (number ", integer_text(p + 1), ")"});
}

std::string detail::system_reason(int error) { return std::generic_category().message(error); }

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
  return printable(common::join(
      {"stop code ", integer_text(common::stop_number(stop.code)), ": ", stop.explanation}));
}

}  // namespace layout
