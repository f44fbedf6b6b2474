// A VCF or BCF file opened through htslib: plain or compressed text, BCF;
// a regular file by its name (an index beside it can be used), anything else
// from the bytes of the stream. Its header read and checked, its records
// given one at a time as --region and --loci choose them.

#include <htslib/bgzf.h>
#include <htslib/hfile.h>
#include <htslib/hts.h>
#include <htslib/hts_log.h>
#include <htslib/kstring.h>
#include <htslib/tbx.h>
#include <htslib/vcf.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <new>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

#include "common/stop.h"
#include "formats/vcf_internal.h"
#include "genotypes/lines.h"
#include "layout/layout.h"

namespace formats::detail {
namespace {

using genotypes::join;

// Bytes by which the memory holding a stream grows, at the least.
constexpr std::size_t MEMORY_STEP = std::size_t{1} << 16;

// A file htslib reads: a BCF, or a text VCF through htslib's BGZF layer
// (which reads plain text as it is), positioned after the header.
struct VcfFile {
  Owned<htsFile> bcf;
  Owned<BGZF> text;
  Owned<bcf_hdr_t> header;
  bool plain = false;  // plain text: errors name the line
  bool bgzf = false;   // BGZF-compressed: an index can point into it
  // The regular file's name as htslib opens it (never taken for a URL); ""
  // when the bytes were read from the stream.
  std::string local;
};

[[noreturn]] void refuse(const std::string& path, std::int64_t line, const std::string& what) {
  throw common::FileError{path, line, what};
}

// The bytes of the stream, held in memory for htslib: a pipe cannot be
// opened a second time, and detection has read its first bytes already.
[[nodiscard]] Owned<hFILE> hold_in_memory(const Source& source, genotypes::ReadBudget& budget) {
  Owned<char> bytes;
  std::size_t size = 0;
  std::size_t capacity = 0;
  while (true) {
    if (size == capacity) {
      const std::size_t grown = std::max(capacity * 2, MEMORY_STEP);
      budget.add(0, grown - capacity, 0);
      void* moved = std::realloc(bytes.get(), grown);
      if (moved == nullptr) {
        throw std::bad_alloc();
      }
      static_cast<void>(bytes.release());
      bytes.reset(static_cast<char*>(moved));
      capacity = grown;
    }
    std::streamsize got = 0;
    try {
      got = source.in.rdbuf()->sgetn(bytes.get() + size,
                                     static_cast<std::streamsize>(capacity - size));
    } catch (const std::ios_base::failure& failure) {
      refuse(source.path, 0, join({"cannot be read further (", failure.what(), ")"}));
    }
    if (got <= 0) {
      break;
    }
    size += static_cast<std::size_t>(got);
  }
  // htslib takes the bytes over with the file and frees them when it is closed.
  Owned<hFILE> file(hopen("mem:", "r:", bytes.get(), size));
  if (file == nullptr) {
    throw std::bad_alloc();
  }
  static_cast<void>(bytes.release());
  return file;
}

// The file for htslib: a regular file by its name, so that an index beside
// it can be used; anything else (a pipe) from the bytes of the stream.
[[nodiscard]] Owned<hFILE> open_bytes(const Source& source, genotypes::ReadBudget& budget,
                                      std::string& local) {
  std::error_code error;
  if (!std::filesystem::is_regular_file(source.path, error)) {
    local.clear();
    return hold_in_memory(source, budget);
  }
  // "./" before a relative name: htslib would take "data:x.vcf" for a URL.
  local = source.path.starts_with('/') ? source.path : "./" + source.path;
  Owned<hFILE> file(hopen(local.c_str(), "r"));
  if (file == nullptr) {
    refuse(source.path, 0,
           join({"cannot open it for reading (", std::generic_category().message(errno), ")"}));
  }
  return file;
}

// htslib allocates what a BCF header or record declares before it reads it:
// the declared bytes, read ahead where the current block holds them, must be
// within the budget, so that a damaged length cannot ask for gigabytes.
void check_declared_bytes(BGZF* in, std::size_t offset, int count, std::int64_t budget,
                          const std::string& path, std::string_view what) {
  if (budget <= 0 || bgzf_peek(in) < 0) {
    return;
  }
  const auto available = static_cast<std::size_t>(in->block_length - in->block_offset);
  if (available < offset + 4 * static_cast<std::size_t>(count)) {
    return;
  }
  const auto* at =
      static_cast<const unsigned char*>(in->uncompressed_block) + in->block_offset + offset;
  std::int64_t declared = 0;
  for (int i = 0; i < count; ++i, at += 4) {
    declared += static_cast<std::int64_t>(at[0] | (at[1] << 8) | (at[2] << 16)) +
                (static_cast<std::int64_t>(at[3]) << 24);
  }
  if (declared > budget) {
    refuse(path, 0,
           join({what, " declares ", std::to_string(declared),
                 " bytes, more than the memory budget of ", std::to_string(budget),
                 " bytes: the file is damaged, or raise --max-memory"}));
  }
}

[[nodiscard]] VcfFile open_vcf(const Source& source, std::int64_t max_bytes,
                               genotypes::ReadBudget& budget, std::optional<VcfTextLines>& lines) {
  VcfFile file;
  Owned<hFILE> bytes = open_bytes(source, budget, file.local);
  htsFormat format{};
  if (hts_detect_format2(bytes.get(), source.path.c_str(), &format) != 0) {
    refuse(source.path, 0, "cannot be read: htslib cannot tell its format");
  }
  file.bgzf = format.compression == bgzf;
  if (format.format == bcf) {
    file.bcf.reset(hts_hopen(bytes.get(), source.path.c_str(), "r"));
    if (file.bcf == nullptr) {
      refuse(source.path, 0, "htslib cannot open it as BCF");
    }
    static_cast<void>(bytes.release());
    check_declared_bytes(file.bcf->fp.bgzf, 5, 1, max_bytes, source.path, "the BCF header");
    file.header.reset(bcf_hdr_read(file.bcf.get()));
    if (file.header == nullptr) {
      refuse(source.path, 0, "htslib cannot read the BCF header");
    }
    return file;
  }
  if (format.format != vcf) {
    const Owned<char> seen(hts_format_description(&format));
    refuse(source.path, 0,
           join({"is not a VCF or BCF file (htslib reads it as ",
                 seen == nullptr ? "unknown" : seen.get(),
                 "); a VCF starts with the line ##fileformat=VCF...",
                 format.compression == no_compression
                     ? ""
                     : ", and no other format is read compressed: give it uncompressed"}));
  }
  file.text.reset(bgzf_hopen(bytes.get(), "r"));
  if (file.text == nullptr) {
    refuse(source.path, 0, "htslib cannot open it as a text VCF");
  }
  static_cast<void>(bytes.release());
  file.plain = format.compression == no_compression;
  file.header.reset(bcf_hdr_init("r"));
  if (file.header == nullptr) {
    throw std::bad_alloc();
  }
  lines.emplace(file.text.get(), source.path, max_bytes);
  read_vcf_text_header(*lines, file.header.get(), source.path, file.plain, budget);
  return file;
}

// What htslib says of a record it cannot read, from its error bits.
[[nodiscard]] std::string record_fault(int errcode) {
  constexpr std::array<std::pair<int, std::string_view>, 7> faults = {{
      {BCF_ERR_NCOLS, "fewer columns than the #CHROM line (columns are separated by tabs)"},
      {BCF_ERR_LIMITS, "a value beyond htslib's limits"},
      {BCF_ERR_CHAR, "a character its field may not hold"},
      {BCF_ERR_CTG_INVALID, "a CHROM that is no contig name"},
      {BCF_ERR_TAG_INVALID, "an INFO or FORMAT value that does not fit its header line"},
      {BCF_ERR_CTG_UNDEF, "a CHROM the header does not define"},
      {BCF_ERR_TAG_UNDEF, "an INFO or FORMAT tag the header does not define"},
  }};
  std::string text;
  for (const auto& [bit, fault] : faults) {
    if ((errcode & bit) != 0) {
      text += text.empty() ? "" : "; ";
      text += fault;
    }
  }
  return text.empty() ? std::string(
                            "a value out of shape (a GT such as 0/1 or 1|2 takes allele "
                            "numbers and '.')")
                      : text;
}

// The first three columns of a record line, CHROM, POS and ID, as written.
struct LineKey {
  std::string_view chrom;
  std::string_view pos;
  std::string_view id;
};

[[nodiscard]] LineKey key_of(std::string_view line) {
  std::array<std::string_view, 3> fields{};
  for (std::string_view& field : fields) {
    const std::size_t tab = std::min(line.find('\t'), line.size());
    field = line.substr(0, tab);
    line.remove_prefix(std::min(tab + 1, line.size()));
  }
  return {fields[0], fields[1], fields[2]};
}

// An index query: a 0-based, half-open stretch of one contig of the index.
struct Query {
  int tid = -1;
  hts_pos_t beg = 0;
  hts_pos_t end = 0;
};

// The queries that take the chosen records from an index: the region, else
// the positions of --loci when every name is a CHROM:POS, in the file's
// order; nullopt when the records are to be read through and chosen.
template <typename ContigId>
[[nodiscard]] std::optional<std::vector<Query>> queries_of(const VcfSelection& selection,
                                                           ContigId contig_id) {
  std::vector<Query> queries;
  if (selection.region) {
    const int tid = contig_id(selection.region->chrom);
    if (tid >= 0) {
      queries.push_back({tid, selection.region->from - 1, selection.region->to});
    }
    return queries;
  }
  for (const std::string& name : selection.loci) {
    const std::optional<VcfPosition> position = vcf_position_of(name);
    if (!position) {
      return std::nullopt;
    }
    const int tid = contig_id(position->chrom);
    if (tid >= 0) {
      queries.push_back({tid, position->pos - 1, position->pos});
    }
  }
  const auto start = [](const Query& query) { return std::pair(query.tid, query.beg); };
  std::sort(queries.begin(), queries.end(),
            [&](const Query& a, const Query& b) { return start(a) < start(b); });
  queries.erase(std::unique(queries.begin(), queries.end(),
                            [&](const Query& a, const Query& b) { return start(a) == start(b); }),
                queries.end());
  return queries;
}

// The records a run takes, one at a time, parsed by htslib: streamed from the
// first, or taken through an index when the selection names a region or
// positions and the file has one.
class RecordStream {
 public:
  RecordStream(VcfFile& file, VcfTextLines* lines, const VcfSelection& selection, std::string path,
               std::int64_t max_bytes)
      : file_(file),
        lines_(lines),
        selection_(selection),
        path_(std::move(path)),
        max_bytes_(max_bytes) {
    if (file_.local.empty() || !file_.bgzf || !selection_.chooses_some()) {
      return;
    }
    if (file_.text != nullptr) {
      tbx_.reset(tbx_index_load3(file_.local.c_str(), nullptr, HTS_IDX_SILENT_FAIL));
      if (tbx_ != nullptr) {
        index_ = tbx_->idx;
        read_record_ = tbx_readrec;
        queries_ = queries_of(selection_, [&](const std::string& chrom) {
          return tbx_name2id(tbx_.get(), chrom.c_str());
        });
      }
      return;
    }
    bcf_index_.reset(bcf_index_load3(file_.local.c_str(), nullptr, HTS_IDX_SILENT_FAIL));
    if (bcf_index_ != nullptr) {
      index_ = bcf_index_.get();
      read_record_ = bcf_readrec;
      queries_ = queries_of(selection_, [&](const std::string& chrom) {
        return bcf_hdr_name2id(file_.header.get(), chrom.c_str());
      });
    }
  }

  RecordStream(const RecordStream&) = delete;
  RecordStream& operator=(const RecordStream&) = delete;
  RecordStream(RecordStream&&) = delete;
  RecordStream& operator=(RecordStream&&) = delete;
  ~RecordStream() { ks_free(&text_); }

  [[nodiscard]] bool next(bcf1_t* record) {
    return file_.text != nullptr ? next_text(record) : next_bcf(record);
  }

  [[nodiscard]] std::int64_t line() const { return line_; }
  [[nodiscard]] bool indexed() const { return queries_.has_value(); }

 private:
  VcfFile& file_;
  VcfTextLines* lines_;
  const VcfSelection& selection_;
  std::string path_;
  std::int64_t max_bytes_;
  Owned<tbx_t> tbx_;
  Owned<hts_idx_t> bcf_index_;
  const hts_idx_t* index_ = nullptr;
  hts_readrec_func* read_record_ = nullptr;
  std::optional<std::vector<Query>> queries_;
  std::size_t next_query_ = 0;
  Owned<hts_itr_t> iterator_;
  kstring_t text_{};  // a record line htslib reads through an index
  std::int64_t line_ = 0;
  std::string last_ = "the header";  // where the last record read stands, for messages

  // The next record an index query gives (step reads it); false when the
  // queries are done.
  template <typename Step>
  [[nodiscard]] bool next_indexed(Step step) {
    while (true) {
      if (iterator_ == nullptr) {
        if (next_query_ == queries_->size()) {
          return false;
        }
        const Query& query = (*queries_)[next_query_++];
        iterator_.reset(hts_itr_query(index_, query.tid, query.beg, query.end, read_record_));
        if (iterator_ == nullptr) {
          throw std::bad_alloc();
        }
      }
      const int got = step(iterator_.get());
      if (got >= 0) {
        return true;
      }
      if (got < -1) {
        refuse(path_, 0,
               join({"htslib cannot read the records its index points to after ", last_,
                     ": the index does not fit the file (make it anew)"}));
      }
      iterator_.reset();
    }
  }

  // The next record line, from the index's queries or read through; nullopt at the end.
  [[nodiscard]] std::optional<std::string_view> next_text_line() {
    if (queries_) {
      if (!next_indexed([&](hts_itr_t* iterator) {
            return hts_itr_next(file_.text.get(), iterator, &text_, tbx_.get());
          })) {
        return std::nullopt;
      }
      return std::string_view(text_.s, text_.l);
    }
    do {
      if (!lines_->next()) {
        return std::nullopt;
      }
      line_ = file_.plain ? lines_->number() : 0;
    } while (lines_->line().empty());
    if (lines_->line().starts_with('#')) {
      refuse(path_, line_, "a header line after the #CHROM line");
    }
    return lines_->line();
  }

  [[nodiscard]] bool next_text(bcf1_t* record) {
    while (const std::optional<std::string_view> line = next_text_line()) {
      const LineKey key = key_of(*line);
      // htslib would read a POS that is no number as a position all the same.
      const std::optional<VcfPosition> position = vcf_position_of(join({"-:", key.pos}));
      if (!position && key.pos != "0") {
        refuse(path_, line_,
               join({"record ", layout::printable(key.chrom), ":", layout::printable(key.pos),
                     ": its POS is no position (a whole number, 1 for the first base)"}));
      }
      if (selection_.takes(key.chrom, position ? position->pos : 0, key.id)) {
        parse_text(*line, key, record);
        return true;
      }
    }
    return false;
  }

  void parse_text(std::string_view line, const LineKey& key, bcf1_t* record) {
    last_ = join({layout::printable(key.chrom), ":", layout::printable(key.pos)});
    if (line.data() != text_.s) {
      text_.l = 0;
      if (kputsn(line.data(), line.size(), &text_) < 0) {
        throw std::bad_alloc();
      }
    }
    if (vcf_parse(&text_, file_.header.get(), record) != 0) {
      refuse(path_, line_,
             join({"record ", last_, ": htslib cannot read it: ", record_fault(record->errcode)}));
    }
  }

  [[nodiscard]] bool next_bcf(bcf1_t* record) {
    while (true) {
      if (queries_) {
        if (!next_indexed([&](hts_itr_t* iterator) {
              return bcf_itr_next(file_.bcf.get(), iterator, record);
            })) {
          return false;
        }
      } else {
        check_declared_bytes(file_.bcf->fp.bgzf, 0, 2, max_bytes_, path_,
                             join({"the BCF record after ", last_}));
        const int got = bcf_read(file_.bcf.get(), file_.header.get(), record);
        if (got == -1) {
          return false;
        }
        if (got != 0) {
          refuse(path_, 0,
                 join({"htslib cannot read the BCF record after ", last_, ": ",
                       record_fault(record->errcode)}));
        }
      }
      if (bcf_unpack(record, BCF_UN_STR) != 0) {
        refuse(path_, 0, join({"htslib cannot read the BCF record after ", last_}));
      }
      const std::string_view chrom = bcf_seqname_safe(file_.header.get(), record);
      last_ = join({layout::printable(chrom), ":", std::to_string(record->pos + 1)});
      if (selection_.takes(chrom, record->pos + 1, record->d.id)) {
        return true;
      }
    }
  }
};

}  // namespace

// The file, its lines when it is text, and its records: the records refer to
// the other two, so all three stay where they are made.
struct VcfRecords::State {
  VcfFile file;
  std::optional<VcfTextLines> lines;
  std::optional<RecordStream> records;
};

VcfRecords::VcfRecords(const Source& source, const VcfSelection& selection, std::int64_t max_bytes,
                       genotypes::ReadBudget& budget)
    : state_(std::make_unique<State>()) {
  state_->file = open_vcf(source, max_bytes, budget, state_->lines);
  state_->records.emplace(state_->file, state_->lines ? &*state_->lines : nullptr, selection,
                          source.path, max_bytes);
}

VcfRecords::~VcfRecords() = default;

const bcf_hdr_t* VcfRecords::header() const { return state_->file.header.get(); }

bool VcfRecords::next(bcf1_t* record) { return state_->records->next(record); }

std::int64_t VcfRecords::line() const { return state_->records->line(); }

bool VcfRecords::indexed() const { return state_->records->indexed(); }

}  // namespace formats::detail
