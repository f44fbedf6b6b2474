#include "formats/blank_fields.h"

#include <algorithm>
#include <charconv>

namespace formats::detail {
namespace {

[[nodiscard]] bool is_space(char c) { return c == ' ' || c == '\t'; }

}  // namespace

std::string_view trim_space(std::string_view text) {
  while (!text.empty() && is_space(text.front())) {
    text.remove_prefix(1);
  }
  while (!text.empty() && is_space(text.back())) {
    text.remove_suffix(1);
  }
  return text;
}

std::vector<std::string_view> blank_fields(std::string_view line) {
  std::vector<std::string_view> fields;
  std::size_t pos = 0;
  while (pos < line.size()) {
    if (is_space(line[pos])) {
      ++pos;
      continue;
    }
    const std::size_t end =
        std::find_if(line.begin() + static_cast<std::ptrdiff_t>(pos), line.end(), is_space) -
        line.begin();
    fields.push_back(line.substr(pos, end - pos));
    pos = end;
  }
  return fields;
}

bool all_digits(std::string_view text) {
  return !text.empty() &&
         std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool all_zeros(std::string_view text) {
  return !text.empty() && text.find_first_not_of('0') == std::string_view::npos;
}

std::optional<std::int64_t> count_value(std::string_view field) {
  if (!all_digits(field)) {
    return std::nullopt;
  }
  std::int64_t value = 0;
  const auto [end, error] = std::from_chars(field.data(), field.data() + field.size(), value);
  if (error != std::errc{} || end != field.data() + field.size() || value > MAX_COUNT) {
    return std::nullopt;
  }
  return value;
}

std::vector<std::string_view> head_lines(std::string_view head, std::size_t max_lines) {
  if (head.starts_with("\xEF\xBB\xBF")) {
    head.remove_prefix(3);
  }
  std::vector<std::string_view> lines;
  while (!head.empty() && lines.size() < max_lines) {
    const std::size_t end = std::min(head.find('\n'), head.size());
    std::string_view line = head.substr(0, end);
    head.remove_prefix(std::min(end + 1, head.size()));
    if (line.ends_with('\r')) {
      line.remove_suffix(1);
    }
    if (!trim_space(line).empty()) {
      lines.push_back(line);
    }
  }
  return lines;
}

}  // namespace formats::detail
