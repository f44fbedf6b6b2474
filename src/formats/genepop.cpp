#include <algorithm>
#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/stop.h"
#include "formats/blank_fields.h"
#include "formats/formats_internal.h"
#include "genotypes/lines.h"

// Genepop: a title line; the locus names, one a line or comma-separated; then
// populations, each opened by a line "Pop", of individuals "name , 0102 0303"
// (two alleles of 2 or 3 digits per locus, 00 or 000 missing).

namespace formats::detail {
namespace {

using genotypes::join;
using genotypes::quoted;

constexpr std::string_view DIPLOID =
    " a genotype is two alleles of 2 or 3 digits each, such as 0102 or 101102";
constexpr std::string_view GENOTYPES_END =
    "; its genotypes end where the next individual, Pop line or the end of the file begins";
constexpr std::string_view OR_NUMBERS =
    ", or name the populations 1, 2, ... (--population-names numbers)";

// Detection looks no further than this many lines for the first Pop line.
constexpr std::size_t DETECTION_LINES = 4096;

[[nodiscard]] bool is_pop_line(std::string_view line) {
  return genotypes::equal_ignoring_case(trim_space(line), "pop");
}

[[nodiscard]] bool begins_with_pop_word(std::string_view line) {
  const std::vector<std::string_view> words = blank_fields(line);
  return words.size() > 1 && genotypes::equal_ignoring_case(words.front(), "pop");
}

// A comma followed by blank-separated digit groups: an individual, as no
// title or locus line is.
[[nodiscard]] bool individual_shape(std::string_view line) {
  const std::size_t comma = line.find(',');
  if (comma == std::string_view::npos) {
    return false;
  }
  const std::vector<std::string_view> fields = blank_fields(line.substr(comma + 1));
  return !fields.empty() && std::all_of(fields.begin(), fields.end(), all_digits);
}

// Where a locus's coding (alleles of 2 or 3 digits) was first seen.
struct LocusCoding {
  std::size_t digits = 0;  // 0: no allele typed yet
  std::int64_t line = 0;
};

// A population: its Pop line and its first individual (0-based index).
struct PopulationStart {
  std::int64_t line = 0;
  std::size_t first = 0;
};

class GenepopReader {
 public:
  GenepopReader(const Source& source, const ReadOptions& options, const NoteWriter& note)
      : path_(source.path),
        names_(options.population_names),
        lines_(source.in, source.path, ',', note),
        budget_(source.path, options.table.max_bytes) {
    data_.name = path_;
  }

  [[nodiscard]] GenotypeData read() {
    read_loci();
    read_populations();
    if (names_ == PopulationNames::last) {
      name_by_last_individuals();
    }
    return std::move(data_);
  }

 private:
  std::string path_;
  PopulationNames names_;
  genotypes::LineReader lines_;
  genotypes::ReadBudget budget_;
  GenotypeData data_;
  std::vector<LocusCoding> coding_;
  std::vector<PopulationStart> populations_;

  [[noreturn]] void fail(std::int64_t line, const std::string& what) const {
    throw common::FileError{path_, line, what};
  }

  void read_loci();
  void add_locus_names(std::string_view line);
  void read_populations();
  void close_population() const;
  [[nodiscard]] bool read_individual();
  void add_genotypes(std::string_view text, genotypes::Individual& individual);
  [[nodiscard]] std::array<std::string, 2> typing(std::string_view genotype, std::size_t locus);
  void check_coding(std::size_t locus, std::size_t digits);
  [[nodiscard]] std::string several_names_hint() const;
  void name_by_last_individuals();
};

void GenepopReader::read_loci() {
  if (!lines_.next_record()) {
    fail(0,
         "the file is empty; a Genepop file is a title line, the locus names, then a Pop line"
         " before each population");
  }
  // The title is the first line whatever it says; when it is blank the
  // reader has passed over it, and the line read is already a locus line.
  bool more = lines_.line_number() != 1 || lines_.next_record();
  std::int64_t pop_and_more = 0;  // the first line that begins with the word Pop and goes on
  while (more && !is_pop_line(lines_.line())) {
    if (pop_and_more == 0 && begins_with_pop_word(lines_.line())) {
      pop_and_more = lines_.line_number();
    }
    add_locus_names(lines_.line());
    more = lines_.next_record();
  }
  if (!more && pop_and_more != 0) {
    fail(pop_and_more,
         "the file has no Pop line, and this line begins with Pop but goes on: a Pop line holds"
         " the word Pop alone");
  }
  if (!more) {
    fail(0,
         "the file has no Pop line; a line \"Pop\" ends the locus names and opens each"
         " population");
  }
  if (data_.loci.empty()) {
    fail(lines_.line_number(),
         "no locus names stand between the title line and the first Pop"
         " line");
  }
  coding_.resize(data_.loci.size());
}

void GenepopReader::add_locus_names(std::string_view line) {
  // One name a line, or several separated by commas; a comma at the end of a
  // line names nothing.
  std::size_t text = 0;
  while (true) {
    const std::size_t comma = std::min(line.find(','), line.size());
    const std::string_view name = trim_space(line.substr(0, comma));
    if (!name.empty()) {
      data_.loci.push_back(genotypes::Locus{std::string(name), {}});
      text += name.size();
    }
    if (comma == line.size()) {
      break;
    }
    line.remove_prefix(comma + 1);
  }
  budget_.add(lines_.line_number(), text, 0);
}

void GenepopReader::read_populations() {
  // The line read is the first Pop line.
  bool more = true;
  while (more) {
    if (is_pop_line(lines_.line())) {
      close_population();
      populations_.push_back({lines_.line_number(), data_.individuals.size()});
      more = lines_.next_record();
    } else {
      more = read_individual();
    }
  }
  close_population();
}

void GenepopReader::close_population() const {
  if (!populations_.empty() && populations_.back().first == data_.individuals.size()) {
    fail(populations_.back().line,
         join({"population ", std::to_string(populations_.size()),
               " has no individuals: its Pop line is followed by ",
               populations_.back().line == lines_.line_number() ? "the end of the file"
                                                                : "another Pop line",
               "; remove the Pop line or add the population's individuals"}));
  }
}

// Reads the individual whose first line is the line read, with the lines its
// genotypes continue on; returns whether a line follows it.
bool GenepopReader::read_individual() {
  const std::string_view line = lines_.line();
  const std::size_t comma = line.find(',');
  if (comma == std::string_view::npos) {
    fail(lines_.line_number(),
         join({"an individual is written \"name , genotypes\" and this line has no comma",
               genotypes::equal_ignoring_case(trim_space(line).substr(0, 3), "pop")
                   ? "; a Pop line holds the word Pop alone"
                   : ""}));
  }
  genotypes::Individual individual;
  individual.line = lines_.line_number();
  individual.population = std::to_string(populations_.size());
  individual.id = std::string(trim_space(line.substr(0, comma)));
  std::size_t text = line.size();
  add_genotypes(line.substr(comma + 1), individual);
  bool more = lines_.next_record();
  // Genotypes go on over the next lines until every locus has one; a line
  // with a comma or a Pop line begins something else.
  while (individual.typings.size() < data_.loci.size()) {
    if (!more || is_pop_line(lines_.line()) || lines_.line().find(',') != std::string_view::npos) {
      fail(individual.line, join({"the individual ", quoted(individual.id), " has ",
                                  std::to_string(individual.typings.size()), " genotypes for the ",
                                  std::to_string(data_.loci.size()), " loci", GENOTYPES_END}));
    }
    text += lines_.line().size();
    add_genotypes(lines_.line(), individual);
    more = lines_.next_record();
  }
  budget_.add(individual.line, text, individual.typings.size());
  data_.individuals.push_back(std::move(individual));
  return more;
}

void GenepopReader::add_genotypes(std::string_view text, genotypes::Individual& individual) {
  for (const std::string_view genotype : blank_fields(text)) {
    if (individual.typings.size() == data_.loci.size()) {
      fail(lines_.line_number(),
           join({"the individual ", quoted(individual.id), " has more genotypes than the ",
                 std::to_string(data_.loci.size()), " loci", several_names_hint()}));
    }
    individual.typings.push_back(typing(genotype, individual.typings.size()));
  }
}

std::array<std::string, 2> GenepopReader::typing(std::string_view genotype, std::size_t locus) {
  const std::string& name = data_.loci[locus].name;
  if (!all_digits(genotype)) {
    fail(lines_.line_number(), join({"the genotype ", quoted(genotype), " of locus ", quoted(name),
                                     " is not all digits;", DIPLOID, " (00 or 000: missing)"}));
  }
  if (genotype.size() == 2 || genotype.size() == 3) {
    fail(lines_.line_number(),
         join({"the genotype ", quoted(genotype), " of locus ", quoted(name),
               " is one allele (haploid data); only diploid genotypes are read:", DIPLOID}));
  }
  if (genotype.size() != 4 && genotype.size() != 6) {
    fail(lines_.line_number(),
         join({"the genotype ", quoted(genotype), " of locus ", quoted(name), " has ",
               std::to_string(genotype.size()),
               " digits; a diploid genotype has 4 (two alleles of 2 digits) or 6 (two of 3)"}));
  }
  const std::size_t digits = genotype.size() / 2;
  const std::string_view first = genotype.substr(0, digits);
  const std::string_view second = genotype.substr(digits);
  // A genotype missing both alleles says nothing of the locus's coding.
  if (!all_zeros(genotype)) {
    check_coding(locus, digits);
  }
  return {all_zeros(first) ? std::string() : std::string(first),
          all_zeros(second) ? std::string() : std::string(second)};
}

// Locus names written on one line with blanks between them are one name.
std::string GenepopReader::several_names_hint() const {
  const auto spaced = std::find_if(data_.loci.begin(), data_.loci.end(), [](const auto& locus) {
    return locus.name.find_first_of(" \t") != std::string::npos;
  });
  return spaced == data_.loci.end()
             ? std::string()
             : join({"; is the locus name ", quoted(spaced->name),
                     " several names? Names stand one a line or are separated by commas"});
}

void GenepopReader::check_coding(std::size_t locus, std::size_t digits) {
  LocusCoding& coding = coding_[locus];
  if (coding.digits == 0) {
    coding = {digits, lines_.line_number()};
  } else if (coding.digits != digits) {
    fail(lines_.line_number(),
         join({"locus ", quoted(data_.loci[locus].name), " has alleles of ", std::to_string(digits),
               " digits here but of ", std::to_string(coding.digits), " at line ",
               std::to_string(coding.line),
               "; a locus codes all its alleles with the same number of digits"}));
  }
}

// The Genepop convention: a population is named after its last individual.
// Two populations of one name would be merged, so that is refused.
void GenepopReader::name_by_last_individuals() {
  std::map<std::string, std::size_t, std::less<>> named;  // name -> 1-based population
  for (std::size_t p = 0; p < populations_.size(); ++p) {
    const std::size_t end =
        p + 1 < populations_.size() ? populations_[p + 1].first : data_.individuals.size();
    const genotypes::Individual& last = data_.individuals[end - 1];
    const std::string name = last.id;
    if (name.empty()) {
      fail(last.line, join({"the last individual of population ", std::to_string(p + 1),
                            " has no name to name the population after; name it", OR_NUMBERS}));
    }
    if (const auto [it, added] = named.emplace(name, p + 1); !added) {
      fail(last.line, join({"populations ", std::to_string(it->second), " and ",
                            std::to_string(p + 1), " would both be named ", quoted(name),
                            " after their last individuals; rename one", OR_NUMBERS}));
    }
    for (std::size_t i = populations_[p].first; i < end; ++i) {
      data_.individuals[i].population = name;
    }
  }
}

}  // namespace

// A title line, lines that are no individual, a Pop line, then an individual.
bool looks_like_genepop(std::string_view head) {
  const std::vector<std::string_view> lines = head_lines(head, DETECTION_LINES);
  for (std::size_t i = 1; i < lines.size(); ++i) {
    if (is_pop_line(lines[i])) {
      return i + 1 < lines.size() && individual_shape(lines[i + 1]);
    }
    if (individual_shape(lines[i])) {
      return false;
    }
  }
  return false;
}

GenotypeData read_genepop(const Source& source, const ReadOptions& options,
                          const NoteWriter& note) {
  return GenepopReader(source, options, note).read();
}

}  // namespace formats::detail
