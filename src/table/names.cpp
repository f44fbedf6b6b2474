#include <array>
#include <string>
#include <utility>

#include "table/table.h"
#include "table/table_internal.h"

namespace table::detail {

std::optional<std::string> locus_of_columns(std::string_view first, std::string_view second) {
  if (first == second) {
    return first.empty() ? std::nullopt : std::optional<std::string>(first);
  }
  constexpr std::array<std::pair<std::string_view, std::string_view>, 3> suffixes = {
      {{"a1", "a2"}, {"1", "2"}, {"a", "b"}}};
  constexpr std::array<std::string_view, 5> separators = {"_", ".", "-", " ", ""};
  for (const auto& [suffix_first, suffix_second] : suffixes) {
    for (const std::string_view separator : separators) {
      const std::string end_first = join({separator, suffix_first});
      const std::string end_second = join({separator, suffix_second});
      if (!first.ends_with(end_first) || !second.ends_with(end_second)) {
        continue;
      }
      const std::string_view stem = first.substr(0, first.size() - end_first.size());
      if (!stem.empty() && stem == second.substr(0, second.size() - end_second.size())) {
        return std::string(stem);
      }
    }
  }
  return std::nullopt;
}

}  // namespace table::detail
