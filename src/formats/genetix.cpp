#include <algorithm>
#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/stop.h"
#include "formats/blank_fields.h"
#include "formats/formats_internal.h"
#include "genotypes/lines.h"

// Genetix: the number of loci, the number of populations (each line may go on
// with a comment), per locus its name and a line "count allele allele ...",
// then per population its name, its individual count and one line per
// individual: a name in 10 characters, then per locus 6 digits, two alleles
// of 3 (000 missing).

namespace formats::detail {
namespace {

using genotypes::join;
using genotypes::quoted;

// The width of an individual's name field.
constexpr std::size_t NAME_WIDTH = 10;
constexpr std::size_t ALLELE_DIGITS = 3;

[[nodiscard]] bool is_genotype(std::string_view field) {
  return field.size() == 2 * ALLELE_DIGITS && all_digits(field);
}

[[nodiscard]] bool all_genotypes(std::span<const std::string_view> fields) {
  return std::all_of(fields.begin(), fields.end(), is_genotype);
}

// A number, then nothing or a comment that does not begin with a digit (so
// that four numbers, an Fstat header, are no count).
[[nodiscard]] bool count_line(std::string_view line) {
  const std::vector<std::string_view> fields = blank_fields(line);
  return !fields.empty() && all_digits(fields[0]) &&
         (fields.size() == 1 || !all_digits(fields[1].substr(0, 1)));
}

// "count code code ...": as many 3-digit codes as the count says.
[[nodiscard]] bool allele_line(std::string_view line) {
  const std::vector<std::string_view> fields = blank_fields(line);
  return !fields.empty() &&
         count_value(fields[0]) == static_cast<std::int64_t>(fields.size()) - 1 &&
         std::all_of(fields.begin() + 1, fields.end(),
                     [](std::string_view f) { return f.size() == ALLELE_DIGITS && all_digits(f); });
}

struct LocusAlleles {
  std::vector<std::string> codes;  // sorted
  std::int64_t line = 0;           // of the allele line
};

// An individual's line as a name and its genotypes.
struct IndividualFields {
  std::string_view name;
  std::vector<std::string_view> genotypes;
};

struct PopulationHead {
  std::string name;
  std::int64_t line = 0;  // of its name
  std::int64_t count = 0;
};

class GenetixReader {
 public:
  GenetixReader(const Source& source, const ReadOptions& options, const NoteWriter& note)
      : path_(source.path),
        lines_(source.in, source.path, ' ', note),
        budget_(source.path, options.table.max_bytes) {
    data_.name = path_;
  }

  [[nodiscard]] GenotypeData read() {
    const std::int64_t loci = read_count("the number of loci");
    const std::int64_t populations = read_count("the number of populations");
    for (std::int64_t k = 0; k < loci; ++k) {
      read_locus();
    }
    for (std::int64_t p = 0; p < populations; ++p) {
      read_population();
    }
    if (lines_.next_record()) {
      fail(lines_.line_number(),
           join({"the file goes on after the ", std::to_string(populations),
                 " populations the second line gives; is a count of the file right?"}));
    }
    return std::move(data_);
  }

 private:
  std::string path_;
  genotypes::LineReader lines_;
  genotypes::ReadBudget budget_;
  GenotypeData data_;
  std::vector<LocusAlleles> alleles_;
  std::map<std::string, std::int64_t, std::less<>> population_lines_;  // name -> its line

  [[noreturn]] void fail(std::int64_t line, const std::string& what) const {
    throw common::FileError{path_, line, what};
  }

  void next_line(const std::string& what) {
    if (!lines_.next_record()) {
      fail(lines_.line_number(), join({"the file ends before ", what}));
    }
  }
  [[nodiscard]] std::int64_t read_count(const std::string& what);
  void read_locus();
  void read_population();
  void read_individual(const PopulationHead& population);
  [[nodiscard]] IndividualFields individual_fields(const PopulationHead& population) const;
  [[noreturn]] void fail_genotypes(std::span<const std::string_view> fields) const;
  [[nodiscard]] std::string allele(std::string_view code, std::size_t locus) const;
};

// A line that begins with a count; what follows it is a comment.
std::int64_t GenetixReader::read_count(const std::string& what) {
  next_line(what);
  const std::vector<std::string_view> fields = blank_fields(lines_.line());
  const std::optional<std::int64_t> count = count_value(fields.front());
  if (!count || *count == 0) {
    fail(lines_.line_number(),
         join({"the line should begin with ", what, ", a whole number from 1, but begins with ",
               quoted(fields.front())}));
  }
  return *count;
}

void GenetixReader::read_locus() {
  const std::string what = join({"the name of locus ", std::to_string(data_.loci.size() + 1)});
  next_line(what);
  data_.loci.push_back(genotypes::Locus{std::string(trim_space(lines_.line())), {}});
  const std::string& name = data_.loci.back().name;
  next_line(join({"the alleles of locus ", quoted(name)}));
  const std::vector<std::string_view> fields = blank_fields(lines_.line());
  const std::optional<std::int64_t> count = count_value(fields.front());
  if (!count || *count != static_cast<std::int64_t>(fields.size()) - 1) {
    fail(lines_.line_number(),
         join({"the allele line of locus ", quoted(name),
               " is its number of alleles then as many allele codes; it holds ",
               quoted(fields.front()), " then ", std::to_string(fields.size() - 1), " codes"}));
  }
  LocusAlleles alleles{{}, lines_.line_number()};
  for (std::size_t k = 1; k < fields.size(); ++k) {
    if (fields[k].size() != ALLELE_DIGITS || !all_digits(fields[k])) {
      fail(lines_.line_number(), join({"the allele code ", quoted(fields[k]), " of locus ",
                                       quoted(name), " is not 3 digits"}));
    }
    alleles.codes.emplace_back(fields[k]);
  }
  std::sort(alleles.codes.begin(), alleles.codes.end());
  budget_.add(alleles.line, name.size() + lines_.line().size(), 0);
  alleles_.push_back(std::move(alleles));
}

void GenetixReader::read_population() {
  next_line(join({"the name of population ", std::to_string(population_lines_.size() + 1)}));
  PopulationHead population{std::string(trim_space(lines_.line())), lines_.line_number(), 0};
  // Two populations of one name would be merged into one.
  if (const auto [it, added] = population_lines_.emplace(population.name, population.line);
      !added) {
    fail(population.line,
         join({"the population name ", quoted(population.name), " stands at line ",
               std::to_string(it->second), " too; each population needs its own name"}));
  }
  next_line(join({"the individual count of population ", quoted(population.name)}));
  const std::vector<std::string_view> fields = blank_fields(lines_.line());
  const std::optional<std::int64_t> count = count_value(fields.front());
  if (!count) {
    fail(lines_.line_number(),
         join({"the line should begin with the individual count of population ",
               quoted(population.name), " (line ", std::to_string(population.line),
               "), but begins with ", quoted(fields.front()),
               "; is the count of the population before it right?"}));
  }
  population.count = *count;
  for (std::int64_t k = 0; k < population.count; ++k) {
    next_line(join({"individual ", std::to_string(k + 1), " of the ",
                    std::to_string(population.count), " of population ", quoted(population.name),
                    " (line ", std::to_string(population.line), ")"}));
    read_individual(population);
  }
}

void GenetixReader::read_individual(const PopulationHead& population) {
  const IndividualFields fields = individual_fields(population);
  genotypes::Individual individual;
  individual.line = lines_.line_number();
  individual.population = population.name;
  individual.id = std::string(fields.name);
  individual.typings.reserve(fields.genotypes.size());
  for (std::size_t l = 0; l < fields.genotypes.size(); ++l) {
    const std::string_view genotype = fields.genotypes[l];
    individual.typings.push_back(
        {allele(genotype.substr(0, ALLELE_DIGITS), l), allele(genotype.substr(ALLELE_DIGITS), l)});
  }
  budget_.add(individual.line, lines_.line().size(), individual.typings.size());
  data_.individuals.push_back(std::move(individual));
}

// The files write the name in a field of 10 characters, then the genotypes;
// some write a name of other width followed by blanks. The name as one field
// is tried first, then the 10 characters (a name with blanks in it, or one
// of 10 characters glued to its first genotype).
IndividualFields GenetixReader::individual_fields(const PopulationHead& population) const {
  const std::string_view line = lines_.line();
  const std::size_t loci = data_.loci.size();
  const std::vector<std::string_view> fields = blank_fields(line);
  const std::span<const std::string_view> after_name = std::span(fields).subspan(1);
  if (fields.size() == loci + 1 && all_genotypes(after_name)) {
    return {fields.front(), {after_name.begin(), after_name.end()}};
  }
  const std::string_view name = trim_space(line.substr(0, std::min(NAME_WIDTH, line.size())));
  const std::vector<std::string_view> rest =
      blank_fields(line.substr(std::min(NAME_WIDTH, line.size())));
  const std::vector<std::string_view> name_words = blank_fields(name);
  // A genotype inside the 10 characters is no part of a name.
  const bool name_holds_genotype =
      name_words.size() > 1 && std::any_of(name_words.begin() + 1, name_words.end(), is_genotype);
  if (rest.size() == loci && !name_holds_genotype) {
    if (all_genotypes(rest)) {
      return {name, rest};
    }
    fail_genotypes(rest);
  }
  if (fields.size() == loci + 1) {
    fail_genotypes(after_name);
  }
  fail(lines_.line_number(),
       join({"the line is no individual of population ", quoted(population.name), " (line ",
             std::to_string(population.line),
             "): a name in its first 10 characters, then a genotype of 6 digits for each of the ",
             std::to_string(loci), " loci; is the population's individual count, ",
             std::to_string(population.count), ", right?"}));
}

void GenetixReader::fail_genotypes(std::span<const std::string_view> fields) const {
  const auto bad = std::find_if_not(fields.begin(), fields.end(), is_genotype);
  const auto locus = static_cast<std::size_t>(bad - fields.begin());
  fail(lines_.line_number(),
       join({"the genotype ", quoted(*bad), " of locus ", quoted(data_.loci[locus].name),
             " is not 6 digits: two alleles of 3 digits (000: missing)"}));
}

std::string GenetixReader::allele(std::string_view code, std::size_t locus) const {
  if (all_zeros(code)) {
    return {};
  }
  const LocusAlleles& alleles = alleles_[locus];
  if (!std::binary_search(alleles.codes.begin(), alleles.codes.end(), code)) {
    fail(lines_.line_number(),
         join({"the allele ", quoted(code), " of locus ", quoted(data_.loci[locus].name),
               " is not among the alleles its allele line (line ", std::to_string(alleles.line),
               ") lists"}));
  }
  return std::string(code);
}

}  // namespace

// A count, a count, a locus name, then the locus's allele line.
bool looks_like_genetix(std::string_view head) {
  const std::vector<std::string_view> lines = head_lines(head, 4);
  return lines.size() == 4 && count_line(lines[0]) && count_line(lines[1]) && allele_line(lines[3]);
}

GenotypeData read_genetix(const Source& source, const ReadOptions& options,
                          const NoteWriter& note) {
  return GenetixReader(source, options, note).read();
}

}  // namespace formats::detail
