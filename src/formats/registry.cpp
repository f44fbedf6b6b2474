#include <algorithm>
#include <array>
#include <ios>
#include <optional>
#include <streambuf>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "common/stop.h"
#include "common/text.h"
#include "formats/formats.h"
#include "formats/formats_internal.h"
#include "genotypes/lines.h"
#include "layout/layout.h"

namespace formats {
namespace {

using common::join;

constexpr std::array<std::string_view, 3> TABLE_EXTENSIONS = {".csv", ".tsv", ".txt"};
constexpr std::array<std::string_view, 2> GENEPOP_EXTENSIONS = {".gen", ".txt"};
constexpr std::array<std::string_view, 1> ARLEQUIN_EXTENSIONS = {".arp"};
constexpr std::array<std::string_view, 1> FSTAT_EXTENSIONS = {".dat"};
constexpr std::array<std::string_view, 1> GENETIX_EXTENSIONS = {".gtx"};
constexpr std::array<std::string_view, 1> STRUCTURE_EXTENSIONS = {".str"};
constexpr std::array<std::string_view, 1> PYPOP_EXTENSIONS = {".pop"};
constexpr std::array<std::string_view, 4> VCF_EXTENSIONS = {".vcf", ".vcf.gz", ".bcf", ".vcf.bgz"};

// The one table of formats: a new format is a reader file and a line here.
const std::array<Format, 8> FORMATS = {{
    {"table", TABLE_EXTENSIONS, detail::looks_like_table, detail::read_table,
     "CSV/TSV table: a population column, two columns per locus or one of a/b cells"},
    {"genepop", GENEPOP_EXTENSIONS, detail::looks_like_genepop, detail::read_genepop,
     "Genepop: title, loci, Pop lines, 'name , 101102 ...'"},
    {"arlequin", ARLEQUIN_EXTENSIONS, detail::looks_like_arlequin, detail::read_arlequin,
     "Arlequin project: [Profile], [[Samples]] of genotypic data"},
    {"fstat", FSTAT_EXTENSIONS, detail::looks_like_fstat, detail::read_fstat,
     "Fstat: 'np nl nu ndig', locus names, population number and genotypes"},
    {"genetix", GENETIX_EXTENSIONS, detail::looks_like_genetix, detail::read_genetix,
     "Genetix: locus and population counts, alleles per locus, populations"},
    {"structure", STRUCTURE_EXTENSIONS, detail::looks_like_structure, detail::read_structure,
     "Structure: one or two rows per individual, -9 missing"},
    {"pypop", PYPOP_EXTENSIONS, detail::looks_like_pypop, detail::read_pypop,
     "PyPop: tab-separated, locus_1/locus_2 columns, **** missing"},
    {"vcf", VCF_EXTENSIONS, detail::looks_like_vcf, detail::read_vcf,
     "VCF or BCF (plain, bgzip or BCF): one locus per record, GT"},
}};

[[nodiscard]] std::string names_of(const std::vector<const Format*>& formats) {
  std::string names;
  for (const Format* format : formats) {
    names += names.empty() ? "" : ", ";
    names += format->name;
  }
  return names;
}

[[nodiscard]] std::vector<const Format*> every_format() {
  std::vector<const Format*> all;
  all.reserve(FORMATS.size());
  for (const Format& format : FORMATS) {
    all.push_back(&format);
  }
  return all;
}

[[nodiscard]] bool has_extension_of(const Format& format, std::string_view path) {
  return std::any_of(format.extensions.begin(), format.extensions.end(),
                     [&](std::string_view e) { return genotypes::has_extension(path, e); });
}

// A read error met while detection read the first bytes.
struct HeadError {
  std::string what;
  std::error_code code;
};

// Gives back the bytes detection read, then the rest of the file. A read
// error met while the head was read is raised again where the head ends, so
// that the reader reports it at its line as for any other read error.
class ReplayBuffer : public std::streambuf {
 public:
  ReplayBuffer(std::string head, std::optional<HeadError> head_error, std::streambuf* rest)
      : head_(std::move(head)), head_error_(std::move(head_error)), rest_(rest) {
    setg(head_.data(), head_.data(), head_.data() + head_.size());
  }

 protected:
  int_type underflow() override {
    if (head_error_) {
      const HeadError error = *head_error_;
      head_error_.reset();
      throw std::ios_base::failure(error.what, error.code);
    }
    const std::streamsize got =
        rest_->sgetn(buffer_.data(), static_cast<std::streamsize>(buffer_.size()));
    if (got <= 0) {
      return traits_type::eof();
    }
    setg(buffer_.data(), buffer_.data(), buffer_.data() + got);
    return traits_type::to_int_type(buffer_[0]);
  }

 private:
  std::string head_;
  std::optional<HeadError> head_error_;
  std::streambuf* rest_;
  std::array<char, 1 << 16> buffer_{};
};

}  // namespace

std::span<const Format> all_formats() { return FORMATS; }

const Format& format_named(std::string_view name) {
  for (const Format& format : FORMATS) {
    if (format.name == name) {
      return format;
    }
  }
  throw common::FileError{"--format", 0,
                          join({"knows no format ", genotypes::quoted(name), "; the formats are ",
                                names_of(every_format())})};
}

const Format& detect_format(std::string_view path, std::string_view head) {
  std::vector<const Format*> claimed;
  std::vector<const Format*> by_extension;
  for (const Format& format : FORMATS) {
    if (format.detect(head)) {
      claimed.push_back(&format);
    }
    if (has_extension_of(format, path)) {
      by_extension.push_back(&format);
    }
  }
  std::vector<const Format*> chosen = claimed.empty() ? by_extension : claimed;
  if (chosen.size() > 1) {
    std::vector<const Format*> both;
    std::copy_if(chosen.begin(), chosen.end(), std::back_inserter(both),
                 [&](const Format* f) { return has_extension_of(*f, path); });
    if (!both.empty()) {
      chosen = both;
    }
  }
  if (chosen.size() == 1) {
    return *chosen.front();
  }
  throw common::FileError{
      std::string(path), 0,
      chosen.empty()
          ? join({"its format is none that can be told from its first lines or its extension; "
                  "name it with --format (",
                  names_of(every_format()), ")"})
          : join({"its first lines may be ", names_of(chosen), "; name the format with --format"})};
}

ReadGenotypes read_genotypes(const std::string& path, std::string_view format_name,
                             const ReadOptions& options, const genotypes::NoteWriter& note) {
  const std::unique_ptr<std::istream> file = layout::open_input(path);
  std::string head(HEAD_BYTES, '\0');
  std::optional<HeadError> head_error;
  std::streamsize got = 0;
  try {
    got = file->rdbuf()->sgetn(head.data(), static_cast<std::streamsize>(head.size()));
  } catch (const std::ios_base::failure& failure) {
    head_error = HeadError{failure.what(), failure.code()};
  }
  head.resize(static_cast<std::size_t>(std::max<std::streamsize>(got, 0)));
  ReadGenotypes result;
  // A delimiter is the table's option: it names the format.
  if (!format_name.empty() || options.table.delimiter != 0) {
    result.format = &format_named(format_name.empty() ? "table" : format_name);
  } else {
    result.format = &detect_format(path, head);
    result.detected = true;
  }
  ReplayBuffer replay(head, head_error, file->rdbuf());
  std::istream in(&replay);
  in.exceptions(file->exceptions());
  const Source source{path, in, head};
  result.data = result.format->read(source, options, note);
  genotypes::check_names(result.data);
  return result;
}

}  // namespace formats
