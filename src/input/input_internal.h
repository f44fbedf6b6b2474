#pragma once

#include <string>
#include <string_view>

#include "common/tables.h"
#include "layout/layout.h"

// Helpers shared by the files of the input module.

namespace input::detail {

// The file ended where `reader` needed another record: a file-layer error
// naming the file and the line that is missing.
[[noreturn]] void throw_end_of_file(const layout::RecordReader& reader, std::string_view what);

// "pheno.dat, line 5": where a message places something of a file.
[[nodiscard]] std::string file_line(const layout::RecordReader& reader, int line);

}  // namespace input::detail
