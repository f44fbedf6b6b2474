#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "layout/layout.h"

// Single-field rules of the reader and the sinks' record endings, open to
// the unit tests.

namespace layout::detail {

// The system's words for an errno value, for the messages of the file layer.
[[nodiscard]] std::string system_reason(int error);

// The characters that end a record in a sink: "\n" or "\r\n".
[[nodiscard]] std::string_view record_ending(LineEnd end);

// Iw on input, the program's one integer parser: blanks anywhere are ignored,
// then an optional sign and decimal digits; an all-blank field is 0. Empty
// result for a lone sign, any other character, or a value outside 32 bits.
[[nodiscard]] std::optional<int> parse_integer(std::string_view field);

// Aw on input: the field of width columns from 0-based column start of the
// record (blank beyond its end) goes into variable. When width is at least
// the variable's length, the rightmost characters are kept; otherwise the
// field is stored left-justified and followed by blanks.
void read_alpha(std::string_view record, std::int64_t start, std::int64_t width,
                std::span<char> variable);

}  // namespace layout::detail
