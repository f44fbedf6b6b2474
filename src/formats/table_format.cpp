#include <algorithm>
#include <string>
#include <string_view>

#include "formats/formats_internal.h"
#include "genotypes/lines.h"

namespace formats::detail {
namespace {

// The first line that is not blank, without a byte-order mark or line end.
[[nodiscard]] std::string_view first_line(std::string_view head, std::string_view* rest = nullptr) {
  if (head.starts_with("\xEF\xBB\xBF")) {
    head.remove_prefix(3);
  }
  while (!head.empty()) {
    const std::size_t end = std::min(head.find('\n'), head.size());
    std::string_view line = head.substr(0, end);
    head.remove_prefix(std::min(end + 1, head.size()));
    if (line.ends_with('\r')) {
      line.remove_suffix(1);
    }
    if (line.find_first_not_of(" \t") != std::string_view::npos) {
      if (rest != nullptr) {
        *rest = head;
      }
      return line;
    }
  }
  return {};
}

// The delimiter a header shows: a tab, else a comma, else a semicolon; 0: none.
[[nodiscard]] char delimiter_of(std::string_view header) {
  for (const char c : {'\t', ',', ';'}) {
    if (header.find(c) != std::string_view::npos) {
      return c;
    }
  }
  return 0;
}

[[nodiscard]] std::size_t field_count(std::string_view line, char delimiter) {
  return static_cast<std::size_t>(std::count(line.begin(), line.end(), delimiter)) + 1;
}

}  // namespace

// A header of at least three fields (population and a locus) and a first
// row of as many.
bool looks_like_table(std::string_view head) {
  std::string_view rest;
  const std::string_view header = first_line(head, &rest);
  const char delimiter = delimiter_of(header);
  if (delimiter == 0 || field_count(header, delimiter) < 3) {
    return false;
  }
  const std::string_view row = first_line(rest);
  return row.empty() || field_count(row, delimiter) == field_count(header, delimiter);
}

GenotypeData read_table(const Source& source, const ReadOptions& options, const NoteWriter& note) {
  table::TableOptions table_options = options.table;
  // A name without an extension that gives the delimiter (a pipe, a .dat)
  // is read with the delimiter its header shows.
  const bool named = genotypes::has_extension(source.path, ".csv") ||
                     genotypes::has_extension(source.path, ".tsv") ||
                     genotypes::has_extension(source.path, ".txt");
  if (table_options.delimiter == 0 && !named) {
    const char shown = delimiter_of(first_line(source.head));
    table_options.delimiter = shown == 0 ? '\t' : shown;
  }
  return table::read_genotype_table(source.in, source.path, table_options, note);
}

}  // namespace formats::detail
