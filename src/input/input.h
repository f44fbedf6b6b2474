#pragma once

#include <istream>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/tables.h"
#include "layout/layout.h"

// Data input: the control file group.dat, the data file header with its
// allele lists, the phenotype records grouped into sample populations and the
// two groupings.
//
// Indexes are 0-based throughout (populations, records, systems, typings,
// groups, distinct phenotypes); system and group numbers read from the
// control file are stored 0-based, and every number shown in a message is
// 1-based.

namespace input {

// The two file names of the control file that the run uses (lines 3 and 4),
// without their trailing blanks, and the 1-based lines they stand on. The
// third name (line 5) is read and dropped.
struct RunFileNames {
  std::string data_file_name;
  std::string report_file_name;
  int data_file_line = 0;
  int report_file_line = 0;
};

// The open files of a run. The streams outlive their readers (declaration
// order). The control file stays open until the groupings are read; the
// caller closes it by resetting `control` and `control_stream`.
struct RunFiles {
  std::string data_file_name;
  std::string report_file_name;
  std::unique_ptr<std::istream> control_stream;
  std::unique_ptr<layout::RecordReader> control;
  std::unique_ptr<std::istream> data_stream;
  std::unique_ptr<layout::RecordReader> data;
  std::unique_ptr<layout::ReportSink> report;
};

// Reads lines 1 to 5 of the control file: two free lines, then the data file
// name, the report file name and the unused third name, each from columns 1
// to 40. Throws common::FileError naming the control file and the line when
// the file ends before line 5 or the data or report file name is blank (the
// third name may be blank).
[[nodiscard]] RunFileNames read_file_names(layout::RecordReader& control);

// Opens the control file, reads the file names, opens the data file (it must
// exist) and creates the report file (it must not exist, or exist empty; any
// other existing file is left untouched). The control and data files must be
// regular files. Nothing of the data file is read. Throws common::FileError
// for a missing or unreadable control or data file, one that is not a
// regular file, a report file that is refused and the errors of
// read_file_names; the errors about the data and report files are given at
// the control file's line that names them.
[[nodiscard]] RunFiles open_run_files(const std::string& control_path = "group.dat");

// Reads the data file header from its first line through the three free
// lines after the record layout, filling `systems` (record_format included),
// and returns the parsed record layout.
// Stops: 201 (system count outside 2..10), 202 (allele count above 14),
// 203 (name width outside 1..5), all without a message; 207 (a code letter
// that is blank, "?", "^" or repeated within its system; message to the
// console, then the log); 204 when the file ends anywhere from the system
// count through the last code-letter line (END OF FILE message to the
// console, the log and the report, in that order).
// Throws common::FileError when the file ends in the record layout or the
// three lines after it, when the record layout cannot be parsed (naming its
// line), and for a field that is not an integer.
[[nodiscard]] layout::LayoutList read_data_header(layout::RecordReader& data,
                                                  common::SystemTables& systems,
                                                  const layout::Sinks& sinks);

// Reads the phenotype records to the end of the data file with the record
// layout and groups consecutive records of one name into a population; a
// name that comes back after another starts a new population, with a warning
// on the help channel. An incomplete last record is dropped. A 21st
// population writes the population-limit warning (log, then console, then a
// line on the help channel) and ends the reading with 20 populations.
// No record at all: the no-records message (log, then console), stop 205.
void read_phenotype_records(layout::RecordReader& data, const common::SystemTables& systems,
                            const layout::LayoutList& record_layout,
                            common::Populations& populations, const layout::Sinks& sinks);

// Reads the null grouping, passes over one free line and reads the
// alternative grouping from the control file; system numbers are stored
// 0-based. Fills group_value_total of both. Each grouping is checked as it is read: 1 to 10 groups,
// group sizes 1 to 10, system numbers 1 to system_count, no system twice in a grouping, at most 800
// allele combinations per group, and every system in the null grouping; a breach writes a message
// naming the grouping, the group and the rule (console, then log) and stops with 206. The group
// count is checked before the sizes line is read and the sizes before the system lines. Throws
// common::FileError naming the control file and the line when it ends early or a field is not an
// integer.
void read_groupings(layout::RecordReader& control, const common::SystemTables& systems,
                    common::Grouping& null_grouping, common::Grouping& alt_grouping,
                    const layout::Sinks& sinks);

}  // namespace input
