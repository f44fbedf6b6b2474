#include <algorithm>
#include <charconv>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/count.h"
#include "common/stop.h"
#include "formats/formats_internal.h"
#include "genotypes/lines.h"
#include "layout/layout.h"

// An Arlequin project: a [Profile] of Key=Value lines, then [Data] with one
// [[Samples]] block per population. Each sample's SampleData = { ... } holds
// two lines per individual: "id count a1 a2 ... aL" with the first allele of
// each locus, then a line of the L second alleles. The count stands for that
// many individuals of the same typings. Arlequin names no loci; they are
// L1, L2, ... in file order.

namespace formats::detail {
namespace {

using common::join;
using genotypes::equal_ignoring_case;
using genotypes::quoted;

// A count larger than this is no number of identical individuals but a
// column read as the count.
constexpr std::int64_t MAX_COPIES = 1'000'000;

// A CR that ends a line of the head is a blank too.
constexpr std::string_view BLANKS = " \t\r";

[[nodiscard]] std::string_view trim(std::string_view text) {
  const std::size_t first = text.find_first_not_of(BLANKS);
  return first == std::string_view::npos
             ? std::string_view()
             : text.substr(first, text.find_last_not_of(BLANKS) + 1 - first);
}

[[nodiscard]] std::vector<std::string_view> split_blanks(std::string_view text) {
  std::vector<std::string_view> tokens;
  for (std::size_t pos = text.find_first_not_of(BLANKS); pos != std::string_view::npos;) {
    const std::size_t end = std::min(text.find_first_of(BLANKS, pos), text.size());
    tokens.push_back(text.substr(pos, end - pos));
    pos = text.find_first_not_of(BLANKS, end);
  }
  return tokens;
}

// The line without its comment: "#" starts one anywhere outside quotes.
[[nodiscard]] std::string_view without_comment(std::string_view line) {
  char open = 0;
  for (std::size_t i = 0; i < line.size(); ++i) {
    const char c = line[i];
    if (open != 0) {
      if (c == open) {
        open = 0;
      }
    } else if (c == '"' || c == '\'') {
      open = c;
    } else if (c == '#') {
      return trim(line.substr(0, i));
    }
  }
  return trim(line);
}

[[nodiscard]] std::optional<std::int64_t> whole_number(std::string_view text) {
  std::int64_t value = 0;
  const char* const end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, value);
  return error == std::errc{} && stop == end && !text.empty() ? std::optional(value) : std::nullopt;
}

// The sections that are read; the others are passed over.
enum class Section { none, profile, samples, other };

// A Key=Value line: the key, and the value without its quotes.
struct KeyValue {
  std::string_view key;
  std::string_view value;
  bool has_equals = false;
};

// What the [Profile] says about the samples; the rest of it (title, phase)
// does not change what is read.
struct Profile {
  bool seen = false;
  bool genotypic = false;
  bool none_separator = false;  // LocusSeparator=NONE: one character an allele
  std::string missing = "?";
  std::optional<std::int64_t> samples;  // NbSamples
  std::int64_t samples_line = 0;
};

// The sample being read: from its SampleName to the end of its SampleData.
struct Sample {
  std::string name;
  std::int64_t name_line = 0;
  std::optional<std::int64_t> size;  // SampleSize
  std::int64_t size_line = 0;
  std::int64_t individuals = 0;
};

// The first line of an individual, waiting for its second.
struct FirstLine {
  std::int64_t line = 0;
  std::string id;
  std::int64_t count = 0;
  std::vector<std::string> alleles;
  std::size_t bytes = 0;
};

class ArlequinReader {
 public:
  ArlequinReader(const Source& source, const ReadOptions& options, const NoteWriter& note)
      : path_(source.path),
        note_(note),
        lines_(source.in, source.path, ' ', note),
        budget_(source.path, options.table.max_bytes) {
    data_.name = source.path;
  }

  [[nodiscard]] GenotypeData read();

 private:
  std::string path_;
  const NoteWriter& note_;
  genotypes::LineReader lines_;
  genotypes::ReadBudget budget_;
  GenotypeData data_;
  Profile profile_;
  Section section_ = Section::none;
  Sample sample_;
  int samples_read_ = 0;
  std::optional<std::size_t> locus_count_;  // from the first individual

  [[noreturn]] void fail(const std::string& what) const { fail_at(lines_.line_number(), what); }
  [[noreturn]] void fail_at(std::int64_t line, const std::string& what) const {
    throw common::FileError{path_, line, what};
  }
  void warn(std::int64_t line, const std::string& what) const {
    if (note_) {
      note_(join(
          {"warning: ", layout::printable(path_), ", line ", std::to_string(line), ": ", what}));
    }
  }

  [[nodiscard]] KeyValue key_value(std::string_view text) const;
  void enter_section(std::string_view text);
  void profile_key(const KeyValue& kv);
  void profile_choice(const KeyValue& kv);
  void sample_key(const KeyValue& kv, std::string_view text);
  void end_of_sample_header() const;
  void skip_block(std::string_view value);
  void read_sample_data(std::string_view after_brace);
  [[nodiscard]] std::vector<std::string> alleles_of(std::span<const std::string_view> tokens) const;
  [[nodiscard]] FirstLine first_line(std::string_view text) const;
  void second_line(const FirstLine& first, std::string_view text);
  void end_of_sample_data(const std::optional<FirstLine>& first);
  void section_line(std::string_view text);
};

KeyValue ArlequinReader::key_value(std::string_view text) const {
  const std::size_t equals = text.find('=');
  if (equals == std::string_view::npos) {
    return {trim(text), {}, false};
  }
  std::string_view value = trim(text.substr(equals + 1));
  if (!value.empty() && (value.front() == '"' || value.front() == '\'')) {
    const std::size_t close = value.find(value.front(), 1);
    if (close == std::string_view::npos) {
      fail(join({"the value of ", quoted(trim(text.substr(0, equals))),
                 " opens a quote that does not close on its line"}));
    }
    value = value.substr(1, close - 1);
  }
  return {trim(text.substr(0, equals)), value, true};
}

void ArlequinReader::enter_section(std::string_view text) {
  if (equal_ignoring_case(text, "[Profile]")) {
    profile_.seen = true;
    section_ = Section::profile;
    return;
  }
  const bool samples = equal_ignoring_case(text, "[[Samples]]");
  end_of_sample_header();
  sample_ = Sample{};
  section_ = samples ? Section::samples : Section::other;
  if (!samples && !equal_ignoring_case(text, "[Data]")) {
    return;
  }
  // At the samples the profile must have said they are genotypes.
  if (!profile_.seen) {
    fail(
        "the samples come before any [Profile]; an Arlequin project starts with a [Profile] "
        "section (GenotypicData=1, DataType, MissingData)");
  }
  if (!profile_.genotypic) {
    fail(
        "the [Profile] does not say GenotypicData=1; the samples are read as genotypes, two "
        "lines per individual, only when the profile says so");
  }
}

void ArlequinReader::profile_key(const KeyValue& kv) {
  if (!kv.has_equals) {
    fail(join({"the [Profile] line ", quoted(kv.key), " is no Key=Value"}));
  }
  if (equal_ignoring_case(kv.key, "GenotypicData")) {
    if (kv.value == "0") {
      fail(
          "GenotypicData=0: the samples are haplotypes, one allele per locus; this program "
          "reads genotypes, two alleles per locus (GenotypicData=1)");
    }
    if (kv.value != "1") {
      fail(join({"GenotypicData is ", quoted(kv.value), "; it is 1 for genotypes"}));
    }
    profile_.genotypic = true;
  } else if (equal_ignoring_case(kv.key, "MissingData")) {
    profile_.missing = std::string(kv.value);  // "": no allele is missing
  } else if (equal_ignoring_case(kv.key, "NbSamples")) {
    profile_.samples = whole_number(kv.value);
    profile_.samples_line = lines_.line_number();
  } else {
    profile_choice(kv);
  }
}

// The keys whose values choose what the samples are; refused choices are
// named in the message.
void ArlequinReader::profile_choice(const KeyValue& kv) {
  const auto is = [&](std::string_view word) { return equal_ignoring_case(kv.value, word); };
  if (equal_ignoring_case(kv.key, "DataType")) {
    if (!is("STANDARD") && !is("MICROSAT")) {
      fail(join({"DataType=", layout::printable(kv.value),
                 ": only STANDARD and MICROSAT data are read (alleles as names), not DNA, RFLP "
                 "or FREQUENCY data"}));
    }
  } else if (equal_ignoring_case(kv.key, "LocusSeparator")) {
    if (!is("WHITESPACE") && !is("TAB") && !is("NONE")) {
      fail(join({"LocusSeparator=", layout::printable(kv.value),
                 ": the separators are WHITESPACE, TAB and NONE"}));
    }
    profile_.none_separator = is("NONE");
  } else if (equal_ignoring_case(kv.key, "FrequencyData") && kv.value != "0") {
    fail(join({"FrequencyData=", layout::printable(kv.value),
               ": the samples are frequencies, not individuals; the tests need individuals"}));
  } else if (equal_ignoring_case(kv.key, "RecessiveData") && kv.value != "0") {
    fail(join({"RecessiveData=", layout::printable(kv.value),
               ": a recessive allele hides in its heterozygotes; the tests need codominant "
               "typings"}));
  }
}

void ArlequinReader::sample_key(const KeyValue& kv, std::string_view text) {
  if (!kv.has_equals) {
    fail(join({"the line ", quoted(text), " is no Key=Value of a sample"}));
  }
  if (equal_ignoring_case(kv.key, "SampleName")) {
    end_of_sample_header();
    sample_.name = kv.value;
    sample_.name_line = lines_.line_number();
  } else if (equal_ignoring_case(kv.key, "SampleSize")) {
    const std::optional<std::int64_t> size = whole_number(kv.value);
    if (!size || *size < 0) {
      fail(join({"SampleSize is ", quoted(kv.value), "; it is a whole number"}));
    }
    sample_.size = size;
    sample_.size_line = lines_.line_number();
  } else if (equal_ignoring_case(kv.key, "SampleData")) {
    if (sample_.name_line == 0) {
      fail("the SampleData has no SampleName before it; the name is the population's");
    }
    if (!kv.value.starts_with('{')) {
      fail("SampleData= is followed by '{', the sample's individuals and a closing '}'");
    }
    read_sample_data(kv.value.substr(1));
  }
}

// A sample named but never given its data leaves nobody out silently.
void ArlequinReader::end_of_sample_header() const {
  if (sample_.name_line != 0) {
    fail_at(sample_.name_line,
            join({"the sample ", quoted(sample_.name), " has no SampleData={ ... }"}));
  }
}

// A value of a section that is not read: a { ... } block may take lines.
void ArlequinReader::skip_block(std::string_view value) {
  if (!value.starts_with('{') || value.find('}') != std::string_view::npos) {
    return;
  }
  const std::int64_t open_line = lines_.line_number();
  while (lines_.next_record()) {
    if (without_comment(lines_.line()).find('}') != std::string_view::npos) {
      return;
    }
  }
  fail_at(open_line, "the '{' opened here is not closed with '}' before the end of the file");
}

void ArlequinReader::read_sample_data(std::string_view after_brace) {
  const std::int64_t open_line = lines_.line_number();
  std::optional<FirstLine> first;
  std::string_view text = without_comment(after_brace);
  while (true) {
    const std::size_t close = text.find('}');
    const std::string_view data = trim(text.substr(0, close));
    if (!data.empty() && first) {
      second_line(*first, data);
      first.reset();
    } else if (!data.empty()) {
      first = first_line(data);
    }
    if (close != std::string_view::npos) {
      if (!trim(text.substr(close + 1)).empty()) {
        fail("text after the '}' that closes the sample data; put it on a line of its own");
      }
      end_of_sample_data(first);
      return;
    }
    if (!lines_.next_record()) {
      fail_at(open_line, join({"the SampleData of sample ", quoted(sample_.name),
                               " opened here is not closed with '}' before the end of the file"}));
    }
    text = without_comment(lines_.line());
    if (text.starts_with('[')) {
      fail(join({"the SampleData opened at line ", std::to_string(open_line),
                 " is not closed with '}' before this section"}));
    }
  }
}

// The alleles of a line: its tokens, or with LocusSeparator=NONE each
// character (a UTF-8 sequence) of them; the missing code becomes "".
std::vector<std::string> ArlequinReader::alleles_of(
    std::span<const std::string_view> tokens) const {
  std::vector<std::string> alleles;
  for (const std::string_view token : tokens) {
    if (!profile_.none_separator) {
      alleles.emplace_back(token);
      continue;
    }
    for (const char c : token) {
      const bool continuation = (static_cast<unsigned char>(c) & 0xC0U) == 0x80U;
      if (continuation && !alleles.empty()) {
        alleles.back().push_back(c);
      } else {
        alleles.emplace_back(1, c);
      }
    }
  }
  std::replace(alleles.begin(), alleles.end(), profile_.missing, std::string());
  return alleles;
}

FirstLine ArlequinReader::first_line(std::string_view text) const {
  const std::vector<std::string_view> tokens = split_blanks(text);
  if (tokens.size() < 3) {
    fail(
        "an individual's first line is its id, its count and the first allele of each locus; "
        "this line has fewer than three fields");
  }
  const std::optional<std::int64_t> count = whole_number(tokens[1]);
  if (!count || *count < 1 || *count > MAX_COPIES) {
    fail(join({"the count of individual ", quoted(tokens[0]), " is ", quoted(tokens[1]),
               "; it is a whole number from 1 to ", std::to_string(MAX_COPIES),
               " (how many individuals have these typings)"}));
  }
  FirstLine first{lines_.line_number(), std::string(tokens[0]), *count, {}, text.size()};
  first.alleles = alleles_of(std::span(tokens).subspan(2));
  if (locus_count_ && first.alleles.size() != *locus_count_) {
    fail(join({"individual ", quoted(first.id), " has ", std::to_string(first.alleles.size()),
               " alleles on its first line; the first individual has ",
               std::to_string(*locus_count_), ", one for each locus"}));
  }
  return first;
}

void ArlequinReader::second_line(const FirstLine& first, std::string_view text) {
  const std::vector<std::string> alleles = alleles_of(split_blanks(text));
  if (alleles.size() != first.alleles.size()) {
    fail(join({"the second line of individual ", quoted(first.id), " has ",
               std::to_string(alleles.size()), " alleles and its first line (line ",
               std::to_string(first.line), ") ", std::to_string(first.alleles.size()),
               "; each line holds one allele of every locus"}));
  }
  if (!locus_count_) {
    locus_count_ = alleles.size();
    for (std::size_t l = 1; l <= alleles.size(); ++l) {
      data_.loci.push_back({join({"L", std::to_string(l)}), ""});
    }
  }
  genotypes::Individual individual{first.line, sample_.name, first.id, {}};
  for (std::size_t l = 0; l < alleles.size(); ++l) {
    individual.typings.push_back({first.alleles[l], alleles[l]});
  }
  // Copies after the first are told apart by their number: id_2, id_3, ...
  // Each holds its own copy of the sample's name and of the id.
  const std::size_t bytes = first.bytes + text.size() + sample_.name.size() + first.id.size();
  for (std::int64_t copy = 1; copy <= first.count; ++copy) {
    budget_.add(first.line, bytes, alleles.size());
    data_.individuals.push_back(individual);
    if (copy > 1) {
      data_.individuals.back().id = join({first.id, "_", std::to_string(copy)});
    }
  }
  sample_.individuals += first.count;
}

void ArlequinReader::end_of_sample_data(const std::optional<FirstLine>& first) {
  if (first) {
    fail(join({"the sample data end after the first line of individual ", quoted(first->id),
               " (line ", std::to_string(first->line),
               "); each individual takes two lines, the second with its second alleles"}));
  }
  if (sample_.size && *sample_.size != sample_.individuals) {
    warn(sample_.size_line,
         join({"sample ", quoted(sample_.name), ": SampleSize=", std::to_string(*sample_.size),
               " but its data hold ", std::to_string(sample_.individuals),
               " individuals; the individuals are read"}));
  }
  ++samples_read_;
  sample_ = Sample{};
}

void ArlequinReader::section_line(std::string_view text) {
  if (section_ == Section::none) {
    fail("text before the [Profile] section; an Arlequin project starts with [Profile]");
  }
  if (section_ == Section::profile) {
    profile_key(key_value(text));
  } else if (section_ == Section::samples) {
    sample_key(key_value(text), text);
  } else {
    // Keys of sections that are not read, quotes and all, are passed over.
    const std::size_t equals = text.find('=');
    skip_block(equals == std::string_view::npos ? text : trim(text.substr(equals + 1)));
  }
}

GenotypeData ArlequinReader::read() {
  while (lines_.next_record()) {
    const std::string_view text = without_comment(lines_.line());
    if (text.starts_with('[')) {
      enter_section(text);
    } else if (!text.empty()) {
      section_line(text);
    }
  }
  end_of_sample_header();
  if (!profile_.seen) {
    fail_at(0, "the file has no [Profile] section; is it an Arlequin project?");
  }
  if (data_.individuals.empty()) {
    fail_at(0, "the project holds no individuals ([[Samples]] with SampleData={ ... })");
  }
  if (profile_.samples && *profile_.samples != samples_read_) {
    warn(profile_.samples_line,
         join({"NbSamples=", std::to_string(*profile_.samples), " but the project holds ",
               std::to_string(samples_read_), " samples; every sample is read"}));
  }
  return std::move(data_);
}

}  // namespace

// The first line that is not blank or a comment is [Profile].
bool looks_like_arlequin(std::string_view head) {
  if (head.starts_with("\xEF\xBB\xBF")) {
    head.remove_prefix(3);
  }
  while (!head.empty()) {
    const std::size_t end = std::min(head.find('\n'), head.size());
    const std::string_view line = without_comment(head.substr(0, end));
    head.remove_prefix(std::min(end + 1, head.size()));
    if (!line.empty()) {
      return equal_ignoring_case(line, "[Profile]");
    }
  }
  return false;
}

GenotypeData read_arlequin(const Source& source, const ReadOptions& options,
                           const NoteWriter& note) {
  ArlequinReader reader(source, options, note);
  return reader.read();
}

}  // namespace formats::detail
