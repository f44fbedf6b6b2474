#pragma once

#include <htslib/bgzf.h>
#include <htslib/hfile.h>
#include <htslib/hts.h>
#include <htslib/tbx.h>
#include <htslib/vcf.h>

#include <cstdint>
#include <cstdlib>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "formats/formats_internal.h"
#include "genotypes/lines.h"

// What the VCF reader's files share: htslib's handles, owned; the samples'
// populations of --populations; the records --region and --loci choose.

namespace formats::detail {

// Closes or frees each htslib handle with its own function.
struct HtslibClose {
  void operator()(hFILE* file) const { hclose_abruptly(file); }
  void operator()(BGZF* file) const { static_cast<void>(bgzf_close(file)); }
  void operator()(htsFile* file) const { static_cast<void>(hts_close(file)); }
  void operator()(bcf_hdr_t* header) const { bcf_hdr_destroy(header); }
  void operator()(bcf1_t* record) const { bcf_destroy(record); }
  void operator()(tbx_t* index) const { tbx_destroy(index); }
  void operator()(hts_idx_t* index) const { hts_idx_destroy(index); }
  void operator()(hts_itr_t* iterator) const { hts_itr_destroy(iterator); }
  void operator()(char* bytes) const { std::free(bytes); }
};
template <typename T>
using Owned = std::unique_ptr<T, HtslibClose>;

// "1 sample", "2 samples": a count with its noun.
[[nodiscard]] inline std::string counted(std::size_t count, std::string_view one,
                                         std::string_view many) {
  return std::to_string(count) + " " + std::string(count == 1 ? one : many);
}

// The population of each sample --populations names, and its line there.
struct SamplePopulations {
  struct Entry {
    std::string population;
    std::int64_t line = 0;
  };
  std::map<std::string, Entry, std::less<>> of_sample;
  std::vector<std::string> listed;  // the samples in the file's order
};

// Reads --populations FILE: one "sample population" line per sample, the two
// separated by tabs (then either may hold spaces) or else by blanks; blank
// lines and lines starting with "#" are passed over. Throws
// common::FileError{path, line, what} for a line of another shape or a
// sample listed twice, or when the file cannot be read.
[[nodiscard]] SamplePopulations read_sample_populations(const std::string& path,
                                                        genotypes::ReadBudget& budget,
                                                        const NoteWriter& note);

// A sample of the VCF that is an individual of the run.
struct VcfSample {
  int column = 0;  // 0-based, among the VCF's samples
  std::string name;
  std::string population;
};

// The VCF's samples (in its order) that --populations gives a population.
// Notes the samples left out and the listed samples the VCF does not have,
// one line each. Throws common::FileError{vcf_path, 0, what} when no sample
// is left.
[[nodiscard]] std::vector<VcfSample> keep_vcf_samples(std::span<const std::string_view> samples,
                                                      const SamplePopulations& populations,
                                                      const std::string& vcf_path,
                                                      const std::string& populations_path,
                                                      const NoteWriter& note);

// A stretch of one contig, 1-based, both ends included.
struct VcfRegion {
  std::string chrom;
  std::int64_t from = 1;
  std::int64_t to = HTS_POS_MAX;
};

// --region: "" (none), CHROM, or CHROM:FROM-TO (the numbers may hold
// commas). Throws common::FileError{"--region", 0, what} for a range that
// is empty, starts at 0 or is beyond htslib's positions.
[[nodiscard]] std::optional<VcfRegion> parse_vcf_region(std::string_view text);

// A --loci name of the form CHROM:POS (POS 1-based); nullopt for any other name.
struct VcfPosition {
  std::string chrom;
  std::int64_t pos = 0;
};
[[nodiscard]] std::optional<VcfPosition> vcf_position_of(std::string_view name);

// The records --region and --loci choose.
struct VcfSelection {
  std::optional<VcfRegion> region;
  std::set<std::string, std::less<>> loci;  // by ID or CHROM:POS; empty: every record

  [[nodiscard]] bool chooses_some() const { return region.has_value() || !loci.empty(); }
  // Whether the record at chrom:pos (1-based) with this ID ("." for none) is chosen.
  [[nodiscard]] bool takes(std::string_view chrom, std::int64_t pos, std::string_view id) const;
};

// The lines of a text VCF, plain or compressed, read through htslib's BGZF
// layer in blocks, so that no line takes more than the memory budget; a CR
// before the LF is dropped.
class VcfTextLines {
 public:
  // max_line: the longest line, in bytes (0: no limit).
  VcfTextLines(BGZF* in, std::string name, std::int64_t max_line);

  // Reads the next line; false at the end of the file. Throws
  // common::FileError naming the line for a line longer than max_line or
  // compressed data that cannot be read.
  [[nodiscard]] bool next();
  [[nodiscard]] const std::string& line() const { return line_; }
  // 1-based number of the line last read.
  [[nodiscard]] std::int64_t number() const { return number_; }

 private:
  BGZF* in_;
  std::string name_;
  std::int64_t max_line_;
  std::vector<char> block_;
  std::size_t start_ = 0;  // the unread bytes of block_: [start_, end_)
  std::size_t end_ = 0;
  std::string line_;
  std::int64_t number_ = 0;
};

// Reads the header of a text VCF, its lines up to the #CHROM line, and has
// htslib parse it into header (made by bcf_hdr_init). Throws
// common::FileError{path, line (plain text only, else 0), what} for a file
// that ends or has a record before the #CHROM line, a #CHROM line without
// its tab-separated columns, FORMAT and samples, a sample named twice, or a
// header htslib cannot parse.
void read_vcf_text_header(VcfTextLines& lines, bcf_hdr_t* header, const std::string& path,
                          bool plain, genotypes::ReadBudget& budget);

// A VCF or BCF file opened through htslib, its header read: plain or
// compressed text, or BCF; a regular file by its name (so that an index
// beside it, .tbi or .csi, can be used), anything else from the bytes of
// source.in, held in memory and counted against the budget. Gives the records
// the selection chooses, in file order: through the index when the selection
// names a region or positions and there is one, else read through.
class VcfRecords {
 public:
  // Opens the file and reads its header. Throws common::FileError{path, line,
  // what} for a file that is no VCF or BCF, or a header htslib cannot read
  // or that has no samples or a sample twice.
  VcfRecords(const Source& source, const VcfSelection& selection, std::int64_t max_bytes,
             genotypes::ReadBudget& budget);
  VcfRecords(const VcfRecords&) = delete;
  VcfRecords& operator=(const VcfRecords&) = delete;
  VcfRecords(VcfRecords&&) = delete;
  VcfRecords& operator=(VcfRecords&&) = delete;
  ~VcfRecords();

  [[nodiscard]] const bcf_hdr_t* header() const;
  // Reads the next chosen record into `record`, unpacked up to its alleles;
  // false at the end. Throws common::FileError for a record htslib cannot read.
  [[nodiscard]] bool next(bcf1_t* record);
  // The line of the record last read in a plain-text VCF; 0 in any other.
  [[nodiscard]] std::int64_t line() const;
  // Whether the records are taken through an index.
  [[nodiscard]] bool indexed() const;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace formats::detail
