#pragma once

#include <string>
#include <string_view>

#include "layout/layout.h"

// Helpers shared by the files of the input module.

namespace input::detail {

// The file ended where `reader` needed another record: a file-layer error
// naming the file and the line that is missing.
[[noreturn]] void throw_end_of_file(const layout::RecordReader& reader, std::string_view what);

}  // namespace input::detail
