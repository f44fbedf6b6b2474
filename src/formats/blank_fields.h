#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

// What the readers of the blank-separated formats (Genepop, Fstat, Genetix)
// share: fields between spaces and tabs, digit groups and counts, and the
// first lines of a file as detection sees them.

namespace formats::detail {

// The text without its leading and trailing spaces and tabs.
[[nodiscard]] std::string_view trim_space(std::string_view text);

// The fields of a line between runs of spaces and tabs; none for a blank line.
[[nodiscard]] std::vector<std::string_view> blank_fields(std::string_view line);

// Whether the text is one or more ASCII digits and nothing else.
[[nodiscard]] bool all_digits(std::string_view text);

// Whether the text is one or more "0" and nothing else (a missing allele).
[[nodiscard]] bool all_zeros(std::string_view text);

// The largest count a header may give (loci, populations, individuals,
// alleles): far beyond any file, small enough to add and multiply.
inline constexpr std::int64_t MAX_COUNT = 1'000'000'000;

// The value of a field of digits, at most MAX_COUNT; nothing for anything else
// (a sign, a letter, more).
[[nodiscard]] std::optional<std::int64_t> count_value(std::string_view field);

// The lines of the head of a file that are not blank, at most max_lines,
// without a leading byte-order mark and without their line ends. The last
// line may be cut where the head ends.
[[nodiscard]] std::vector<std::string_view> head_lines(std::string_view head,
                                                       std::size_t max_lines);

}  // namespace formats::detail
