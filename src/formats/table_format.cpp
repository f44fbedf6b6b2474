#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "formats/blank_fields.h"
#include "formats/formats_internal.h"
#include "genotypes/lines.h"

namespace formats::detail {
namespace {

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
  const std::vector<std::string_view> lines = head_lines(head, 2);
  const char delimiter = lines.empty() ? '\0' : delimiter_of(lines[0]);
  if (delimiter == 0 || field_count(lines[0], delimiter) < 3) {
    return false;
  }
  return lines.size() < 2 || field_count(lines[1], delimiter) == field_count(lines[0], delimiter);
}

GenotypeData read_table(const Source& source, const ReadOptions& options, const NoteWriter& note) {
  table::TableOptions table_options = options.table;
  // A name without an extension that gives the delimiter (a pipe, a .dat)
  // is read with the delimiter its header shows.
  const bool named = genotypes::has_extension(source.path, ".csv") ||
                     genotypes::has_extension(source.path, ".tsv") ||
                     genotypes::has_extension(source.path, ".txt");
  if (table_options.delimiter == 0 && !named) {
    const std::vector<std::string_view> lines = head_lines(source.head, 1);
    const char shown = lines.empty() ? '\0' : delimiter_of(lines[0]);
    table_options.delimiter = shown == 0 ? '\t' : shown;
  }
  return table::read_genotype_table(source.in, source.path, table_options, note);
}

}  // namespace formats::detail
