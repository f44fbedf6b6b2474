#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/count.h"
#include "common/stop.h"
#include "formats/formats_internal.h"
#include "genotypes/lines.h"
#include "table/table.h"

// A PyPop file: tab-separated; an optional population header (a line of
// field names, a line of their values) describing the one population the
// file was collected from, then the sample header and one row per
// individual. The sample header names each locus by two columns, A_1 and
// A_2, beside a population column and an id column as a table names them;
// other columns (a collection site, a date) are passed over. "****" or an
// empty cell is a missing allele.

namespace formats::detail {
namespace {

using common::join;
using genotypes::equal_ignoring_case;
using genotypes::quoted;

constexpr std::string_view MISSING = "****";

// The locus of a column that ends in "_1" whose neighbour is its "_2".
[[nodiscard]] std::optional<std::string_view> locus_of_pair(std::string_view first,
                                                            std::string_view second) {
  if (first.size() < 3 || !first.ends_with("_1") || !second.ends_with("_2")) {
    return std::nullopt;
  }
  const std::string_view base = first.substr(0, first.size() - 2);
  if (second.substr(0, second.size() - 2) != base) {
    return std::nullopt;
  }
  return base;
}

// PyPop's own files head the population column "populat".
[[nodiscard]] bool names_population(std::string_view name) {
  return table::population_column_name(name) || equal_ignoring_case(name, "populat");
}

using Fields = std::vector<std::string>;

// Where the columns of the sample header go (0-based).
struct Columns {
  std::optional<int> population;
  std::optional<int> id;
  std::vector<int> loci;  // the column of each locus's first allele
  int count = 0;
};

class PypopReader {
 public:
  PypopReader(const Source& source, const ReadOptions& options, const NoteWriter& note)
      : path_(source.path),
        lines_(source.in, source.path, '\t', note),
        budget_(source.path, options.table.max_bytes) {
    data_.name = source.path;
  }

  [[nodiscard]] GenotypeData read();

 private:
  std::string path_;
  genotypes::LineReader lines_;
  genotypes::ReadBudget budget_;
  GenotypeData data_;
  std::string header_population_;  // from the population header; "": none
  std::int64_t header_line_ = 0;   // of the sample header

  [[noreturn]] void fail(const std::string& what) const {
    throw common::FileError{path_, lines_.line_number(), what};
  }

  [[nodiscard]] Fields next_line(std::string_view what);
  [[nodiscard]] Fields sample_header();
  void population_header(const Fields& names, const Fields& values);
  [[nodiscard]] Columns plan(const Fields& header);
  void row(Fields fields, const Columns& columns);
};

Fields PypopReader::next_line(std::string_view what) {
  std::optional<Fields> fields = lines_.next_fields();
  if (!fields) {
    fail(join({"the file ends before ", what}));
  }
  return std::move(*fields);
}

[[nodiscard]] bool has_locus_pair(const Fields& fields) {
  for (std::size_t c = 0; c + 1 < fields.size(); ++c) {
    if (locus_of_pair(fields[c], fields[c + 1])) {
      return true;
    }
  }
  return false;
}

// The sample header is the first line, or the third after the two lines of
// the population header.
Fields PypopReader::sample_header() {
  Fields first = next_line("its sample header (population, id, A_1, A_2, ...)");
  if (!has_locus_pair(first)) {
    const Fields values = next_line("the values of its population header");
    Fields header = next_line("its sample header (population, id, A_1, A_2, ...)");
    if (!has_locus_pair(header)) {
      fail(
          "neither line 1 nor this line is a sample header naming the loci by column pairs such "
          "as A_1, A_2 (the sample header is the first line, or the third after a population "
          "header's names and values)");
    }
    population_header(first, values);
    first = std::move(header);
  }
  header_line_ = lines_.line_number();
  return first;
}

// The population of every individual when the sample header has no
// population column: the header's labcode, else its first value.
void PypopReader::population_header(const Fields& names, const Fields& values) {
  std::size_t taken = 0;
  for (std::size_t c = 0; c < names.size(); ++c) {
    if (equal_ignoring_case(names[c], "labcode")) {
      taken = c;
      break;
    }
  }
  header_population_ = taken < values.size() ? values[taken] : std::string();
}

Columns PypopReader::plan(const Fields& header) {
  Columns columns;
  columns.count = common::count_of(header);
  for (int c = 0; c < columns.count; ++c) {
    const std::string_view name = header[c];
    if (c + 1 < columns.count && locus_of_pair(name, header[c + 1])) {
      columns.loci.push_back(c);
      data_.loci.push_back({std::string(*locus_of_pair(name, header[c + 1])), ""});
      ++c;
    } else if (name.ends_with("_1") || name.ends_with("_2")) {
      fail(join({"column ", std::to_string(c + 1), " (", quoted(name), ") has no ",
                 name.ends_with("_1") ? "column ending _2 after it" : "column ending _1 before it",
                 "; a locus takes two adjacent columns such as A_1, A_2"}));
    } else if (!columns.population && names_population(name)) {
      columns.population = c;
    } else if (!columns.id && table::id_column_name(name)) {
      columns.id = c;
    }
  }
  if (!columns.population && header_population_.empty()) {
    fail(
        "the sample header has no population column (named population or pop) and the file "
        "has no population header naming one (its labcode, or first value, on the line before "
        "the sample header); add a column named population");
  }
  return columns;
}

void PypopReader::row(Fields fields, const Columns& columns) {
  if (common::count_of(fields) != columns.count) {
    fail(join({"the row has ", std::to_string(fields.size()),
               " fields and the sample header (line ", std::to_string(header_line_), ") ",
               std::to_string(columns.count), "; every row has one field for each column"}));
  }
  // The population header's name is copied into every individual.
  budget_.add(lines_.line_number(),
              lines_.line().size() + (columns.population ? 0 : header_population_.size()),
              columns.loci.size());
  genotypes::Individual individual;
  individual.line = lines_.line_number();
  individual.population =
      columns.population ? std::move(fields[*columns.population]) : header_population_;
  individual.id = columns.id ? std::move(fields[*columns.id]) : std::string();
  for (const int c : columns.loci) {
    std::array<std::string, 2> typing = {std::move(fields[c]), std::move(fields[c + 1])};
    for (std::string& allele : typing) {
      if (allele == MISSING) {
        allele.clear();
      }
    }
    individual.typings.push_back(std::move(typing));
  }
  data_.individuals.push_back(std::move(individual));
}

GenotypeData PypopReader::read() {
  const Fields header = sample_header();
  const Columns columns = plan(header);
  while (std::optional<Fields> fields = lines_.next_fields()) {
    row(std::move(*fields), columns);
  }
  if (data_.individuals.empty()) {
    throw common::FileError{path_, header_line_, "the sample header has no rows of individuals"};
  }
  return std::move(data_);
}

// The first lines that are not blank, split at tabs, at most `count` of
// them, without a line the head cuts.
[[nodiscard]] std::vector<Fields> head_lines(std::string_view head, std::size_t count) {
  std::vector<Fields> lines;
  while (!head.empty() && lines.size() < count) {
    const std::size_t end = head.find('\n');
    if (end == std::string_view::npos && head.size() >= HEAD_BYTES) {
      break;
    }
    std::string_view line = head.substr(0, std::min(end, head.size()));
    head.remove_prefix(std::min(end, head.size() - 1) + 1);
    if (line.ends_with('\r')) {
      line.remove_suffix(1);
    }
    if (line.find_first_not_of(" \t") == std::string_view::npos) {
      continue;
    }
    Fields fields;
    for (std::size_t pos = 0; pos <= line.size();) {
      const std::size_t tab = std::min(line.find('\t', pos), line.size());
      fields.emplace_back(genotypes::trim_blanks(line.substr(pos, tab - pos)));
      pos = tab + 1;
    }
    lines.push_back(std::move(fields));
  }
  return lines;
}

}  // namespace

// Tab-separated, with a sample header of A_1, A_2 column pairs: on line 1 in
// a file that writes "****" for a missing allele, or on line 3 after the two
// lines of a population header.
bool looks_like_pypop(std::string_view head) {
  const std::vector<Fields> lines = head_lines(head, 3);
  if (!lines.empty() && lines[0].size() >= 2 && has_locus_pair(lines[0])) {
    return head.find(MISSING) != std::string_view::npos;
  }
  return lines.size() == 3 && lines[0].size() >= 2 && lines[1].size() >= 2 &&
         has_locus_pair(lines[2]);
}

GenotypeData read_pypop(const Source& source, const ReadOptions& options, const NoteWriter& note) {
  PypopReader reader(source, options, note);
  return reader.read();
}

}  // namespace formats::detail
