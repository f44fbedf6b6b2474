#pragma once

#include <initializer_list>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "common/tables.h"
#include "layout/layout.h"

// In-memory control and data files, built from their parts, and a record
// reader over any text.

namespace test_support {

// A text held in memory with a record reader over it; `name` is the file
// name the reader gives in its errors. Not movable: the reader refers to
// the stream.
class TextFile {
 public:
  explicit TextFile(std::string text, std::string name = "memory.txt");
  TextFile(const TextFile&) = delete;
  TextFile& operator=(const TextFile&) = delete;

  [[nodiscard]] layout::RecordReader& reader() { return reader_; }

 private:
  std::istringstream stream_;
  layout::RecordReader reader_;
};

// The lines, each ended by a line feed.
[[nodiscard]] std::string lines(const std::vector<std::string>& text_lines);

// An integer right-justified in `width` columns (test data only).
[[nodiscard]] std::string right(int value, int width);

// Text left-justified and blank-padded to `width` columns (never cut).
[[nodiscard]] std::string left(std::string_view text, int width);

// ------------------------------------------------------------- control file

// A grouping as written in the control file: its groups of 1-based system
// numbers. Produces the count line, the sizes line and one line per group.
[[nodiscard]] std::vector<std::string> grouping_lines(const std::vector<std::vector<int>>& groups);

// The groupings part of a control file: the null grouping, a free line and
// the alternative grouping.
[[nodiscard]] std::vector<std::string> groupings_lines(
    const std::vector<std::vector<int>>& null_groups,
    const std::vector<std::vector<int>>& alt_groups);

// A whole control file: two free lines, the three file names, the groupings.
[[nodiscard]] std::string control_file(std::string_view data_name, std::string_view report_name,
                                       const std::vector<std::vector<int>>& null_groups,
                                       const std::vector<std::vector<int>>& alt_groups);

// The usual groupings for n systems: null {1} {2} ... {n}, alternative {1 .. n}.
[[nodiscard]] std::vector<std::vector<int>> one_group_per_system(int system_count);
[[nodiscard]] std::vector<std::vector<int>> all_systems_in_one_group(int system_count);

// ---------------------------------------------------------------- data file

// One genetic system of a data file header.
struct SystemText {
  std::vector<std::string> names;  // allele names, at most `width` characters each
  int width = 2;
  std::string codes;  // one code letter per allele
  std::string title = "SYSTEM";
};

// A system of width 2 whose n alleles are named 01, 02, ... with the code
// letters A, B, ...
[[nodiscard]] SystemText numbered_system(int allele_count);

// The allele-name line: six columns per allele, the name right-justified in
// the first five; the columns that are not read hold `filler`.
[[nodiscard]] std::string allele_name_line(const std::vector<std::string>& names, int width,
                                           char filler = ' ');

// The code-letter line: letter j in column 6j - 1; other columns hold `filler`.
[[nodiscard]] std::string code_letter_line(std::string_view codes, char filler = ' ');

// The six lines of one system (title, count, width, a free line, names, codes).
[[nodiscard]] std::vector<std::string> system_lines(const SystemText& system);

// A whole header: two free lines, the system count, every system, a free
// line, the record layout and three free lines.
[[nodiscard]] std::vector<std::string> header_lines(const std::vector<SystemText>& systems,
                                                    std::string_view record_layout);

// "(A20,2Aw1,2Aw2,...)": the population name and every typing at its width.
[[nodiscard]] std::string plain_record_layout(const std::vector<SystemText>& systems);

// A record for plain_record_layout: the name in 20 columns, then each typing
// left-justified in its system's width.
[[nodiscard]] std::string record_line(std::string_view population,
                                      const std::vector<std::string>& typings,
                                      const std::vector<SystemText>& systems);

// The system tables the header of these systems declares, without reading
// any text (record_format left blank).
[[nodiscard]] common::SystemTables system_tables(const std::vector<SystemText>& systems);

// Typings for positions 0, 1, ...; the rest blank.
[[nodiscard]] common::RecordTypings typings(const std::vector<std::string>& texts);

}  // namespace test_support
