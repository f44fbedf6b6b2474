#include <string>
#include <string_view>
#include <utility>

#include "input/input.h"
#include "input/input_internal.h"

namespace input {
namespace detail {

void throw_end_of_file(const layout::RecordReader& reader, std::string_view what) {
  // The reader counts the records it consumed; the one it could not get is the next.
  throw common::FileError{reader.name(), reader.line_number() + 1,
                          "unexpected end of file: " + std::string(what)};
}

std::string file_line(const layout::RecordReader& reader, int line) {
  return reader.name() + ", line " + layout::integer_text(line);
}

}  // namespace detail

namespace {

enum class NameUse { required, unused };

// One file name of the control file, read from columns 1 to 40 of its own line.
std::string read_file_name(layout::RecordReader& control, std::string_view what, NameUse use,
                           int& line) {
  common::FileName name;
  if (control.read("(A40)", {layout::target(name)}) == layout::ReadStatus::end_of_file) {
    detail::throw_end_of_file(control, std::string("expected the ") + std::string(what));
  }
  if (use == NameUse::required && name.is_blank()) {
    throw common::FileError{control.name(), control.line_number(),
                            "blank file name (the " + std::string(what) + ")"};
  }
  line = control.line_number();
  return std::string(name.trimmed());
}

}  // namespace

RunFileNames read_file_names(layout::RecordReader& control) {
  if (control.read("(/)") == layout::ReadStatus::end_of_file) {
    detail::throw_end_of_file(control, "expected two free lines before the file names");
  }
  RunFileNames names;
  names.data_file_name =
      read_file_name(control, "data file name", NameUse::required, names.data_file_line);
  names.report_file_name =
      read_file_name(control, "report file name", NameUse::required, names.report_file_line);
  // The third name has no use, but its line must be there.
  int unused_line = 0;
  static_cast<void>(read_file_name(control, "third file name", NameUse::unused, unused_line));
  return names;
}

RunFiles open_run_files(const std::string& control_path) {
  RunFiles files;
  files.control_stream = layout::open_regular_input(control_path);
  files.control = std::make_unique<layout::RecordReader>(*files.control_stream, control_path);
  RunFileNames names = read_file_names(*files.control);
  files.data_file_name = std::move(names.data_file_name);
  files.report_file_name = std::move(names.report_file_name);
  // The data file is opened before the report is created, and neither
  // reads anything of the data file: a report that exists already ends the
  // run with the data file untouched and the existing report unchanged.
  files.data_stream = layout::open_regular_input(files.data_file_name,
                                                 {control_path, names.data_file_line, "data file"});
  files.data = std::make_unique<layout::RecordReader>(*files.data_stream, files.data_file_name);
  files.report = std::make_unique<layout::ReportSink>(
      files.report_file_name, layout::NamedAt{control_path, names.report_file_line, "report file"});
  return files;
}

}  // namespace input
