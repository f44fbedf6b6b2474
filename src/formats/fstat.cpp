#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/stop.h"
#include "formats/blank_fields.h"
#include "formats/formats_internal.h"
#include "genotypes/lines.h"

// Fstat: a line "np nl nu ndig" (populations, loci, highest allele number,
// digits per allele), nl lines of locus names, then one line per individual:
// its population number and per locus the two alleles of ndig digits written
// together (0 or zeros: missing).

namespace formats::detail {
namespace {

using genotypes::join;
using genotypes::quoted;

struct FstatHeader {
  std::int64_t populations = 0;
  std::int64_t loci = 0;
  std::int64_t highest_allele = 0;
  std::size_t digits = 0;  // of one allele: 1, 2 or 3
};

class FstatReader {
 public:
  FstatReader(const Source& source, const ReadOptions& options, const NoteWriter& note)
      : path_(source.path),
        lines_(source.in, source.path, ' ', note),
        budget_(source.path, options.table.max_bytes) {
    data_.name = path_;
  }

  [[nodiscard]] GenotypeData read() {
    read_header();
    read_locus_names();
    while (lines_.next_record()) {
      read_individual();
    }
    if (data_.individuals.empty()) {
      fail(lines_.line_number(), join({"the file has no individuals after its ",
                                       std::to_string(header_.loci), " locus names"}));
    }
    return std::move(data_);
  }

 private:
  std::string path_;
  genotypes::LineReader lines_;
  genotypes::ReadBudget budget_;
  FstatHeader header_;
  GenotypeData data_;

  [[noreturn]] void fail(std::int64_t line, const std::string& what) const {
    throw common::FileError{path_, line, what};
  }

  void read_header();
  void read_locus_names();
  void read_individual();
  [[nodiscard]] std::array<std::string, 2> typing(std::string_view field, std::size_t locus) const;
  [[nodiscard]] std::string allele(std::string_view digits, std::size_t locus) const;
};

void FstatReader::read_header() {
  if (!lines_.next_record()) {
    fail(0, "the file is empty; an Fstat file begins with the line \"np nl nu ndig\"");
  }
  const std::vector<std::string_view> fields = blank_fields(lines_.line());
  std::array<std::int64_t, 4> values{};
  for (std::size_t k = 0; k < values.size() && k < fields.size(); ++k) {
    values.at(k) = count_value(fields[k]).value_or(0);
  }
  if (fields.size() != values.size() ||
      std::any_of(values.begin(), values.end(), [](std::int64_t v) { return v <= 0; })) {
    fail(lines_.line_number(),
         join({"the first line ", quoted(lines_.line()),
               " is not four positive whole numbers: the populations, the loci, the highest"
               " allele number and the digits of an allele (np nl nu ndig)"}));
  }
  if (values[3] > 3) {
    fail(lines_.line_number(), join({"alleles of ", std::to_string(values[3]),
                                     " digits: Fstat codes an allele with 1, 2 or 3 digits"}));
  }
  header_ = {values[0], values[1], values[2], static_cast<std::size_t>(values[3])};
}

void FstatReader::read_locus_names() {
  for (std::int64_t k = 0; k < header_.loci; ++k) {
    if (!lines_.next_record()) {
      fail(lines_.line_number(),
           join({"the file ends after ", std::to_string(k), " locus names; the first line gives ",
                 std::to_string(header_.loci)}));
    }
    const std::vector<std::string_view> fields = blank_fields(lines_.line());
    // A line of nl + 1 numbers is an individual: the names are fewer than nl.
    if (static_cast<std::int64_t>(fields.size()) == header_.loci + 1 &&
        std::all_of(fields.begin(), fields.end(), all_digits)) {
      fail(lines_.line_number(), join({"this line is an individual, but the first line gives ",
                                       std::to_string(header_.loci), " loci and only ",
                                       std::to_string(k), " locus names stand before it"}));
    }
    const std::string_view name = trim_space(lines_.line());
    data_.loci.push_back(genotypes::Locus{std::string(name), {}});
    budget_.add(lines_.line_number(), name.size(), 0);
  }
}

void FstatReader::read_individual() {
  const std::vector<std::string_view> fields = blank_fields(lines_.line());
  if (static_cast<std::int64_t>(fields.size()) != header_.loci + 1) {
    fail(lines_.line_number(),
         join({"the line has ", std::to_string(fields.size()),
               " fields; an individual is its population number and one genotype for each of the ",
               std::to_string(header_.loci), " loci"}));
  }
  const std::optional<std::int64_t> population = count_value(fields[0]);
  if (!population || *population < 1 || *population > header_.populations) {
    fail(lines_.line_number(),
         join({"the population number ", quoted(fields[0]), " is not one of 1 to ",
               std::to_string(header_.populations), ", the populations the first line gives"}));
  }
  genotypes::Individual individual;
  individual.line = lines_.line_number();
  individual.population = std::to_string(*population);
  individual.typings.reserve(fields.size() - 1);
  for (std::size_t l = 1; l < fields.size(); ++l) {
    individual.typings.push_back(typing(fields[l], l - 1));
  }
  budget_.add(individual.line, lines_.line().size(), individual.typings.size());
  data_.individuals.push_back(std::move(individual));
}

std::array<std::string, 2> FstatReader::typing(std::string_view field, std::size_t locus) const {
  if (field == "0") {
    return {};
  }
  if (!all_digits(field) || field.size() != 2 * header_.digits) {
    fail(lines_.line_number(),
         join({"the genotype ", quoted(field), " of locus ", quoted(data_.loci[locus].name),
               " is not ", std::to_string(2 * header_.digits),
               " digits: two alleles of the first line's ", std::to_string(header_.digits),
               " digits (0: missing)"}));
  }
  return {allele(field.substr(0, header_.digits), locus),
          allele(field.substr(header_.digits), locus)};
}

std::string FstatReader::allele(std::string_view digits, std::size_t locus) const {
  if (all_zeros(digits)) {
    return {};
  }
  if (count_value(digits).value_or(0) > header_.highest_allele) {
    fail(lines_.line_number(),
         join({"the allele ", quoted(digits), " of locus ", quoted(data_.loci[locus].name),
               " is above ", std::to_string(header_.highest_allele),
               ", the highest allele number the first line gives"}));
  }
  return std::string(digits);
}

}  // namespace

// The first line is four whole numbers.
bool looks_like_fstat(std::string_view head) {
  const std::vector<std::string_view> lines = head_lines(head, 1);
  if (lines.empty()) {
    return false;
  }
  const std::vector<std::string_view> fields = blank_fields(lines.front());
  return fields.size() == 4 && std::all_of(fields.begin(), fields.end(), all_digits);
}

GenotypeData read_fstat(const Source& source, const ReadOptions& options, const NoteWriter& note) {
  return FstatReader(source, options, note).read();
}

}  // namespace formats::detail
