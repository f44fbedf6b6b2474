// The VCF reader: a VCF or BCF file read through htslib, the field's library
// for them. Each record is a multi-allelic locus named by its ID (or
// CHROM:POS), each sample an individual whose population --populations
// gives; GT gives its two alleles, each named by its sequence (a symbolic
// allele <NAME> by NAME).

#include <htslib/hts_log.h>
#include <htslib/vcf.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <new>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/stop.h"
#include "formats/formats_internal.h"
#include "formats/vcf_internal.h"
#include "genotypes/lines.h"
#include "layout/layout.h"

namespace formats::detail {
namespace {

using genotypes::join;
using genotypes::quoted;

// What to do about two records of one name.
constexpr std::string_view TELL_APART =
    "; give the records IDs of their own, join them into one multi-allelic record, or choose "
    "one with --region or --loci";

// The name of an allele: its sequence as written, a symbolic allele <NAME> by NAME.
[[nodiscard]] std::string allele_name(std::string_view allele) {
  if (allele.size() > 2 && allele.starts_with('<') && allele.ends_with('>')) {
    return std::string(allele.substr(1, allele.size() - 2));
  }
  return std::string(allele);
}

// A GT as written, without its phase: "0/1", "./.", "1".
[[nodiscard]] std::string genotype_text(std::span<const std::int32_t> values) {
  std::string text;
  for (const std::int32_t value : values) {
    text += text.empty() ? "" : "/";
    text += value == bcf_int32_missing || bcf_gt_is_missing(value)
                ? std::string(".")
                : std::to_string(bcf_gt_allele(value));
  }
  return text;
}

// Turns the records into loci: names each, and gives every sample kept its
// typing of it.
class LocusBuilder {
 public:
  LocusBuilder(const bcf_hdr_t* header, const std::vector<VcfSample>& samples,
               genotypes::GenotypeData& data, genotypes::ReadBudget& budget)
      : header_(header), samples_(samples), data_(data), budget_(budget) {}
  LocusBuilder(const LocusBuilder&) = delete;
  LocusBuilder& operator=(const LocusBuilder&) = delete;
  LocusBuilder(LocusBuilder&&) = delete;
  LocusBuilder& operator=(LocusBuilder&&) = delete;
  ~LocusBuilder() { std::free(genotypes_); }

  // Adds the record (at `line` of a plain-text VCF, else 0) as a locus.
  void add(bcf1_t* record, std::int64_t line) {
    line_ = line;
    if (bcf_unpack(record, BCF_UN_STR) != 0) {
      fail("htslib cannot read its alleles");
    }
    position_ = join({bcf_seqname_safe(header_, record), ":", std::to_string(record->pos + 1)});
    name_locus(record->d.id == nullptr ? "." : record->d.id);
    std::vector<std::string> alleles;
    for (int i = 0; i < record->n_allele; ++i) {
      alleles.push_back(allele_name(record->d.allele[i]));
      if (alleles.back().empty()) {
        fail(join({"allele ", std::to_string(i), " is empty"}));
      }
    }
    const std::span<const std::int32_t> values = genotype_values(record);
    const std::size_t ploidy = values.size() / static_cast<std::size_t>(bcf_hdr_nsamples(header_));
    std::size_t bytes = data_.loci.back().name.size() + data_.loci.back().alias.size();
    for (std::size_t i = 0; i < samples_.size(); ++i) {
      const VcfSample& sample = samples_[i];
      const auto& typing = data_.individuals[i].typings.emplace_back(
          typing_of(values.subspan(static_cast<std::size_t>(sample.column) * ploidy, ploidy),
                    alleles, sample.name));
      bytes += typing[0].size() + typing[1].size();
    }
    budget_.add(line_, bytes, samples_.size());
  }

  // Drops each alias that names two records (two records at one position,
  // or a position that is another record's name): an option naming it could
  // mean either. Notes how many records are left with their name alone.
  void drop_shared_aliases(const NoteWriter& note) {
    std::map<std::string, int, std::less<>> uses;
    for (const genotypes::Locus& locus : data_.loci) {
      ++uses[locus.name];
      ++uses[locus.alias];
    }
    int dropped = 0;
    std::string first;
    for (genotypes::Locus& locus : data_.loci) {
      if (!locus.alias.empty() && uses[locus.alias] > 1) {
        first = first.empty() ? locus.alias : first;
        locus.alias.clear();
        ++dropped;
      }
    }
    if (note && dropped > 0) {
      note(join(
          {"warning: ", layout::printable(data_.name), ": ",
           counted(static_cast<std::size_t>(dropped), "record shares its", "records share their"),
           " position with another record's (the first at ", layout::printable(first), "), so ",
           dropped == 1 ? "it is" : "they are", " named by ", dropped == 1 ? "its" : "their",
           " ID alone"}));
    }
  }

 private:
  const bcf_hdr_t* header_;
  const std::vector<VcfSample>& samples_;
  genotypes::GenotypeData& data_;
  genotypes::ReadBudget& budget_;
  void* genotypes_ = nullptr;  // htslib's buffer of GT values, grown by it
  int capacity_ = 0;
  std::int64_t line_ = 0;
  std::string position_;  // CHROM:POS of the record being added
  // Each locus name, with where its record stands.
  std::map<std::string, std::string, std::less<>> named_;

  [[noreturn]] void fail(const std::string& what) const {
    throw common::FileError{data_.name, line_,
                            join({"record ", layout::printable(position_), ": ", what})};
  }

  [[nodiscard]] std::string where() const {
    return line_ == 0 ? layout::printable(position_)
                      : join({layout::printable(position_), " (line ", std::to_string(line_), ")"});
  }

  // The locus of the record, named by its ID, or by CHROM:POS without one.
  void name_locus(std::string_view id) {
    genotypes::Locus locus =
        id == "." ? genotypes::Locus{position_, ""} : genotypes::Locus{std::string(id), position_};
    const auto [at, added] = named_.emplace(locus.name, where());
    if (!added) {
      fail(join({"its locus name ", quoted(locus.name), " is also that of the record at ",
                 at->second, TELL_APART}));
    }
    data_.loci.push_back(std::move(locus));
  }

  // Every sample's GT values, bcf_hdr_nsamples(header_) runs of the same length.
  [[nodiscard]] std::span<const std::int32_t> genotype_values(bcf1_t* record) {
    // htslib reads as many samples' values as the header has, whatever the record holds.
    if (static_cast<int>(record->n_sample) != bcf_hdr_nsamples(header_)) {
      fail(join({"it has ", std::to_string(record->n_sample), " samples, the header ",
                 std::to_string(bcf_hdr_nsamples(header_))}));
    }
    // htslib ends the process on GT values of a type other than its integers.
    const bcf_fmt_t* field = bcf_get_fmt(header_, record, "GT");
    if (field != nullptr &&
        (field->n <= 0 || (field->type != BCF_BT_INT8 && field->type != BCF_BT_INT16 &&
                           field->type != BCF_BT_INT32))) {
      fail("htslib cannot read its GT values");
    }
    const int count =
        bcf_get_format_values(header_, record, "GT", &genotypes_, &capacity_, BCF_HT_INT);
    if (count == -2) {
      fail("the header declares its GT field with a type other than String");
    }
    if (count <= 0) {
      fail("it has no GT field: the test needs every sample's genotype");
    }
    if (count % bcf_hdr_nsamples(header_) != 0) {
      fail("htslib cannot read its GT values");
    }
    return {static_cast<const std::int32_t*>(genotypes_), static_cast<std::size_t>(count)};
  }

  // The two alleles of a sample's GT values ("" = missing): "./." and "." are
  // missing, "0/." keeps one allele.
  [[nodiscard]] std::array<std::string, 2> typing_of(std::span<const std::int32_t> values,
                                                     const std::vector<std::string>& alleles,
                                                     std::string_view sample) const {
    std::size_t count = 0;
    while (count < values.size() && values[count] != bcf_int32_vector_end) {
      ++count;
    }
    const std::span<const std::int32_t> written = values.first(count);
    const auto allele = [&](std::int32_t value) {
      if (value == bcf_int32_missing || bcf_gt_is_missing(value)) {
        return std::string();
      }
      const int index = bcf_gt_allele(value);
      if (index < 0 || index >= static_cast<int>(alleles.size())) {
        fail(join({"sample ", quoted(sample), " has the genotype ", genotype_text(written),
                   ", but the record has ", std::to_string(alleles.size()), " alleles"}));
      }
      return alleles[static_cast<std::size_t>(index)];
    };
    if (count > 2) {
      fail(join({"sample ", quoted(sample), " has the genotype ", genotype_text(written),
                 " of more than two alleles; the test takes diploid genotypes"}));
    }
    if (count == 0 || (count == 1 && allele(written[0]).empty())) {
      return {};
    }
    if (count == 1) {
      fail(join({"sample ", quoted(sample), " has the haploid genotype ", genotype_text(written),
                 "; the test takes diploid genotypes (./. for a missing one)"}));
    }
    return {allele(written[0]), allele(written[1])};
  }
};

}  // namespace

// Plain text by its first line; BGZF or gzip and uncompressed BCF by their
// first bytes: no other format is read compressed, so a compressed file is
// claimed here and htslib tells what it holds.
bool looks_like_vcf(std::string_view head) {
  return head.starts_with("##fileformat=VCF") || head.starts_with("\x1f\x8b") ||
         head.starts_with("BCF\x02");
}

GenotypeData read_vcf(const Source& source, const ReadOptions& options, const NoteWriter& note) {
  // htslib would write its own warnings to standard error; whatever it finds
  // wrong reaches the user as this reader's message instead.
  hts_set_log_level(HTS_LOG_OFF);
  const VcfSelection selection{parse_vcf_region(options.region),
                               {options.loci.begin(), options.loci.end()}};
  const std::int64_t max_bytes = options.table.max_bytes;
  genotypes::ReadBudget budget(source.path, max_bytes);
  // The file first: one that is no VCF is told so before it is asked for populations.
  VcfRecords records(source, selection, max_bytes, budget);
  if (options.populations.empty()) {
    throw common::FileError{source.path, 0,
                            "a VCF gives no populations: name a file of 'sample population' "
                            "lines with --populations FILE"};
  }
  const SamplePopulations populations = read_sample_populations(options.populations, budget, note);
  const bcf_hdr_t* header = records.header();
  std::vector<std::string_view> names;
  names.reserve(static_cast<std::size_t>(bcf_hdr_nsamples(header)));
  for (int i = 0; i < bcf_hdr_nsamples(header); ++i) {
    names.emplace_back(header->samples[i]);
  }
  const std::vector<VcfSample> samples =
      keep_vcf_samples(names, populations, source.path, options.populations, note);
  GenotypeData data;
  data.name = source.path;
  for (const VcfSample& sample : samples) {
    data.individuals.push_back({0, sample.population, sample.name, {}});
  }
  LocusBuilder builder(header, samples, data, budget);
  const Owned<bcf1_t> record(bcf_init());
  if (record == nullptr) {
    throw std::bad_alloc();
  }
  while (records.next(record.get())) {
    builder.add(record.get(), records.line());
  }
  builder.drop_shared_aliases(note);
  if (data.loci.empty() && selection.region) {
    throw common::FileError{
        "--region", 0,
        join({quoted(options.region), " chooses no record of ", layout::printable(source.path),
              " (a region is CHROM or CHROM:FROM-TO, 1-based, both ends "
              "included)"})};
  }
  return data;
}

}  // namespace formats::detail
