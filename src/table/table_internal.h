#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "table/table.h"

namespace table {

// One non-blank line of the table split into its fields.
struct Record {
  int line = 0;
  std::vector<std::string> fields;
};

// The text without surrounding blanks and tabs.
[[nodiscard]] std::string trimmed(std::string_view text);

// The fields of one line: quoted fields may hold the delimiter and doubled
// quotes; every field is trimmed.
[[nodiscard]] std::vector<std::string> split_fields(std::string_view line, char delimiter,
                                                    const std::string& name, int line_number);

// Every non-blank line of the input; a leading UTF-8 byte-order mark is
// dropped, and a CR before the LF.
[[nodiscard]] std::vector<Record> read_records(std::istream& in, const std::string& name,
                                               char delimiter);

// The locus name of two adjacent column names, or "" when they do not pair.
[[nodiscard]] std::string locus_of_columns(std::string_view first, std::string_view second);

}  // namespace table
