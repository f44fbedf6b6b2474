#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/count.h"
#include "common/stop.h"
#include "formats/blank_fields.h"
#include "formats/formats_internal.h"
#include "genotypes/lines.h"

// A Structure file: an optional first row of marker names, then one row per
// individual (the loci as column pairs) or two (one column per locus, a row
// for each allele). Each row starts with the individual's label and its
// population, then any other columns the file's user chose (a flag, a
// location, extra columns) before the loci. Alleles are integers, -9 a
// missing one. The file does not say how many rows an individual takes or
// how many columns come before the loci: what can be told from the rows is
// told, the rest comes from --structure-rows and --structure-columns.

namespace formats::detail {
namespace {

using common::join;
using genotypes::quoted;

constexpr std::string_view MISSING = "-9";
constexpr std::string_view TWO_ROWS_ALIKE =
    "; the two rows of an individual begin alike (two rows per individual: --structure-rows)";

[[nodiscard]] std::vector<std::string> split_blanks(std::string_view text) {
  const std::vector<std::string_view> fields = blank_fields(text);
  return {fields.begin(), fields.end()};
}

[[nodiscard]] bool is_digits(std::string_view text) {
  return !text.empty() && text.find_first_not_of("0123456789") == std::string_view::npos;
}

// An allele as Structure writes it: a whole number, -9 when missing.
[[nodiscard]] bool is_allele(std::string_view text) { return text == MISSING || is_digits(text); }

struct Row {
  std::int64_t line = 0;
  std::vector<std::string> fields;
};

// How the rows hold the individuals.
struct Shape {
  int rows = 1;     // rows per individual
  int columns = 2;  // columns before the loci
  int loci = 0;
};

class StructureReader {
 public:
  StructureReader(const Source& source, const ReadOptions& options, const NoteWriter& note)
      : path_(source.path),
        options_(options),
        lines_(source.in, source.path, ' ', note),
        budget_(source.path, options.table.max_bytes) {}

  [[nodiscard]] GenotypeData read();

 private:
  std::string path_;
  const ReadOptions& options_;
  genotypes::LineReader lines_;
  genotypes::ReadBudget budget_;
  std::vector<Row> rows_;
  std::vector<std::string> markers_;

  [[noreturn]] void fail_at(std::int64_t line, const std::string& what) const {
    throw common::FileError{path_, line, what};
  }

  void check_options() const;
  void read_rows();
  void check_widths() const;
  [[nodiscard]] bool labels_repeat_in_pairs() const;
  [[nodiscard]] int rows_per_individual() const;
  [[nodiscard]] int columns_before_loci(int rows) const;
  [[nodiscard]] Shape shape() const;
  void check_pairs(const Shape& shape) const;
  [[nodiscard]] std::string allele(Row& row, int column) const;
  [[nodiscard]] GenotypeData individuals(const Shape& shape);
};

void StructureReader::check_options() const {
  if (options_.structure_rows < 0 || options_.structure_rows > 2) {
    throw common::FileError{"--structure-rows", 0,
                            "an individual takes 1 or 2 rows of a Structure file"};
  }
  if (options_.structure_columns != -1 && options_.structure_columns < 2) {
    throw common::FileError{
        "--structure-columns", 0,
        "the columns before the loci hold the label and then the population, which the tests "
        "need: at least 2"};
  }
}

void StructureReader::read_rows() {
  while (lines_.next_record()) {
    Row row{lines_.line_number(), split_blanks(lines_.line())};
    budget_.add(row.line, lines_.line().size(), row.fields.size());
    rows_.push_back(std::move(row));
  }
  // A first row shorter than the next holds the marker names: a row of
  // data has at least the label and the population besides them.
  if (rows_.size() >= 2 && rows_[0].fields.size() < rows_[1].fields.size()) {
    markers_ = std::move(rows_[0].fields);
    rows_.erase(rows_.begin());
  }
  if (rows_.empty()) {
    fail_at(0, "the file holds no individuals");
  }
}

void StructureReader::check_widths() const {
  const Row& first = rows_.front();
  for (const Row& row : rows_) {
    if (row.fields.size() != first.fields.size()) {
      fail_at(row.line, join({"the row has ", std::to_string(row.fields.size()),
                              " fields and the first row of individuals (line ",
                              std::to_string(first.line), ") ", std::to_string(first.fields.size()),
                              "; every row of individuals has as many"}));
    }
  }
}

// Rows 1-2, 3-4, ... each repeat a label and no label runs on into the next
// pair: the two rows of one individual each.
bool StructureReader::labels_repeat_in_pairs() const {
  if (rows_.size() % 2 != 0) {
    return false;
  }
  for (std::size_t i = 0; i < rows_.size(); i += 2) {
    if (rows_[i].fields[0] != rows_[i + 1].fields[0]) {
      return false;
    }
    if (i + 2 < rows_.size() && rows_[i + 1].fields[0] == rows_[i + 2].fields[0]) {
      return false;
    }
  }
  return true;
}

int StructureReader::rows_per_individual() const {
  if (options_.structure_rows != 0) {
    return options_.structure_rows;
  }
  return labels_repeat_in_pairs() ? 2 : 1;
}

int StructureReader::columns_before_loci(int rows) const {
  const int width = common::count_of(rows_.front().fields);
  const int markers = common::count_of(markers_);
  if (options_.structure_columns != -1) {
    return options_.structure_columns;
  }
  if (markers_.empty()) {
    fail_at(rows_.front().line,
            "the file has no row of marker names, so the columns before the loci cannot be "
            "told; give --structure-columns N (the label, the population, then any other "
            "columns) and, if the rows do not show it, --structure-rows 1 or 2");
  }
  const int columns = width - (rows == 1 ? 2 : 1) * markers;
  if (columns < 2) {
    fail_at(rows_.front().line,
            join({"the marker row names ", std::to_string(markers), " loci, which in ",
                  rows == 1 ? "one row per individual (two columns a locus)"
                            : "two rows per individual (one column a locus)",
                  " leave ", std::to_string(columns), " of the row's ", std::to_string(width),
                  " fields for the label and the population; give --structure-rows"}));
  }
  return columns;
}

Shape StructureReader::shape() const {
  Shape shape;
  shape.rows = rows_per_individual();
  shape.columns = columns_before_loci(shape.rows);
  const int width = common::count_of(rows_.front().fields);
  const int allele_columns = width - shape.columns;
  const std::int64_t line = rows_.front().line;
  // With one row an individual each locus takes two columns.
  if (allele_columns <= 0 || (shape.rows == 1 && allele_columns % 2 != 0)) {
    fail_at(line, join({"a row of ", std::to_string(width), " fields with ",
                        std::to_string(shape.columns), " columns before the loci leaves ",
                        allele_columns <= 0 ? "no allele columns"
                                            : "an odd number of allele columns, but with one row "
                                              "an individual each locus takes two",
                        " (check --structure-columns and --structure-rows)"}));
  }
  shape.loci = shape.rows == 1 ? allele_columns / 2 : allele_columns;
  if (!markers_.empty() && shape.loci != common::count_of(markers_)) {
    fail_at(line, join({"the marker row names ", std::to_string(markers_.size()), " loci and the ",
                        std::to_string(shape.columns), " columns before the loci leave room for ",
                        std::to_string(shape.loci),
                        " (check --structure-columns and --structure-rows)"}));
  }
  return shape;
}

// The two rows of an individual are one label with its population and
// other columns.
void StructureReader::check_pairs(const Shape& shape) const {
  if (shape.rows == 1) {
    return;
  }
  if (rows_.size() % 2 != 0) {
    fail_at(rows_.back().line,
            "the last individual has one row; with two rows per individual each takes two");
  }
  for (std::size_t i = 0; i < rows_.size(); i += 2) {
    const Row& a = rows_[i];
    const Row& b = rows_[i + 1];
    for (int c = 0; c < shape.columns; ++c) {
      if (a.fields[c] != b.fields[c]) {
        fail_at(b.line, join({"column ", std::to_string(c + 1), c == 0 ? " (the label)" : "",
                              " is ", quoted(b.fields[c]), " but ", quoted(a.fields[c]),
                              " on line ", std::to_string(a.line), TWO_ROWS_ALIKE}));
      }
    }
  }
}

std::string StructureReader::allele(Row& row, int column) const {
  std::string& text = row.fields[column];
  if (!is_allele(text)) {
    fail_at(row.line,
            join({"column ", std::to_string(column + 1), " holds ", quoted(text),
                  text.starts_with('-') && is_digits(std::string_view(text).substr(1))
                      ? "; a negative allele is -9, a missing one, and no other"
                      : ", which is no allele; Structure alleles are whole numbers, -9 a missing "
                        "one"}));
  }
  return text == MISSING ? std::string() : std::move(text);
}

GenotypeData StructureReader::individuals(const Shape& shape) {
  GenotypeData data;
  data.name = path_;
  for (int l = 0; l < shape.loci; ++l) {
    data.loci.push_back({markers_.empty() ? join({"L", std::to_string(l + 1)}) : markers_[l], ""});
  }
  for (std::size_t i = 0; i < rows_.size(); i += shape.rows) {
    Row& first = rows_[i];
    Row& second = rows_[i + shape.rows - 1];
    genotypes::Individual individual{
        first.line, std::move(first.fields[1]), std::move(first.fields[0]), {}};
    individual.typings.resize(shape.loci);
    for (int l = 0; l < shape.loci; ++l) {
      if (shape.rows == 1) {
        individual.typings[l] = {allele(first, shape.columns + 2 * l),
                                 allele(first, shape.columns + 2 * l + 1)};
      } else {
        individual.typings[l] = {allele(first, shape.columns + l),
                                 allele(second, shape.columns + l)};
      }
    }
    data.individuals.push_back(std::move(individual));
  }
  return data;
}

GenotypeData StructureReader::read() {
  check_options();
  read_rows();
  check_widths();
  const Shape found = shape();
  check_pairs(found);
  return individuals(found);
}

// The complete lines of the head, without a line the head cuts.
[[nodiscard]] std::vector<std::vector<std::string>> head_rows(std::string_view head) {
  if (head.size() >= HEAD_BYTES) {
    head = head.substr(0, head.rfind('\n') == std::string_view::npos ? 0 : head.rfind('\n'));
  }
  std::vector<std::vector<std::string>> rows;
  for (const std::string_view line : head_lines(head, head.size())) {
    rows.push_back(split_blanks(line));
  }
  return rows;
}

}  // namespace

// After an optional shorter row of marker names, rows of one width (at
// least four fields) whose fields after the label are whole numbers or -9:
// the population number, any numeric columns, the alleles.
bool looks_like_structure(std::string_view head) {
  std::vector<std::vector<std::string>> rows = head_rows(head);
  if (rows.size() >= 2 && rows[0].size() < rows[1].size()) {
    rows.erase(rows.begin());
  }
  if (rows.size() < 2 || rows[0].size() < 4) {
    return false;
  }
  return std::all_of(rows.begin(), rows.end(), [&](const std::vector<std::string>& row) {
    return row.size() == rows[0].size() && std::all_of(row.begin() + 1, row.end(), is_allele);
  });
}

GenotypeData read_structure(const Source& source, const ReadOptions& options,
                            const NoteWriter& note) {
  StructureReader reader(source, options, note);
  return reader.read();
}

}  // namespace formats::detail
