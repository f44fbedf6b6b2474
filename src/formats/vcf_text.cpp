// The header and the lines of a text VCF: its lines read in blocks through
// htslib's BGZF layer, its header lines checked where a mistake is common (the
// #CHROM line) and handed to htslib.

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/stop.h"
#include "formats/vcf_internal.h"
#include "genotypes/lines.h"

namespace formats::detail {
namespace {

using genotypes::join;
using genotypes::quoted;

// Bytes a text VCF is read by.
constexpr std::size_t TEXT_BLOCK = std::size_t{1} << 16;

// The #CHROM line's columns before the samples.
constexpr std::array<std::string_view, 9> CHROM_LINE = {"#CHROM", "POS",    "ID",   "REF",   "ALT",
                                                        "QUAL",   "FILTER", "INFO", "FORMAT"};

[[noreturn]] void refuse(const std::string& path, std::int64_t line, const std::string& what) {
  throw common::FileError{path, line, what};
}

// Checks the #CHROM line: tab-separated, the fixed columns, FORMAT and at
// least one sample, each named once.
void check_chrom_line(std::string_view line, const std::string& path, std::int64_t number) {
  std::vector<std::string_view> fields;
  for (std::size_t start = 0; start <= line.size();) {
    const std::size_t tab = std::min(line.find('\t', start), line.size());
    fields.push_back(line.substr(start, tab - start));
    start = tab + 1;
  }
  if (fields.size() < CHROM_LINE.size() - 1 ||
      !std::equal(CHROM_LINE.begin(), CHROM_LINE.end() - 1, fields.begin())) {
    refuse(path, number,
           "the #CHROM line must begin with the columns #CHROM POS ID REF ALT QUAL FILTER INFO, "
           "separated by tabs");
  }
  if (fields.size() < CHROM_LINE.size() + 1 || fields[CHROM_LINE.size() - 1] != "FORMAT") {
    refuse(path, number, "the VCF has no samples (no FORMAT column and sample columns)");
  }
  std::map<std::string_view, std::size_t> seen;
  for (std::size_t i = CHROM_LINE.size(); i < fields.size(); ++i) {
    if (fields[i].empty()) {
      refuse(path, number, join({"column ", std::to_string(i + 1), " names no sample"}));
    }
    const auto [at, added] = seen.emplace(fields[i], i);
    if (!added) {
      refuse(path, number,
             join({"the sample ", quoted(fields[i]), " is named twice (columns ",
                   std::to_string(at->second + 1), " and ", std::to_string(i + 1), ")"}));
    }
  }
}

}  // namespace

VcfTextLines::VcfTextLines(BGZF* in, std::string name, std::int64_t max_line)
    : in_(in), name_(std::move(name)), max_line_(max_line), block_(TEXT_BLOCK) {}

bool VcfTextLines::next() {
  line_.clear();
  while (true) {
    const char* begin = block_.data() + start_;
    const auto* newline = static_cast<const char*>(std::memchr(begin, '\n', end_ - start_));
    if (newline != nullptr) {
      line_.append(begin, newline);
      start_ += static_cast<std::size_t>(newline - begin) + 1;
      break;
    }
    line_.append(begin, end_ - start_);
    start_ = end_ = 0;
    if (max_line_ > 0 && static_cast<std::int64_t>(line_.size()) > max_line_) {
      throw common::FileError{name_, number_ + 1,
                              join({"the line is longer than the memory budget of ",
                                    std::to_string(max_line_), " bytes (--max-memory)"})};
    }
    const ssize_t got = bgzf_read(in_, block_.data(), block_.size());
    if (got < 0) {
      throw common::FileError{name_, number_ + 1,
                              "cannot be read further: the compressed data is damaged"};
    }
    if (got == 0) {
      if (line_.empty()) {
        return false;
      }
      break;
    }
    end_ = static_cast<std::size_t>(got);
  }
  ++number_;
  if (line_.ends_with('\r')) {
    line_.pop_back();
  }
  return true;
}

void read_vcf_text_header(VcfTextLines& lines, bcf_hdr_t* header, const std::string& path,
                          bool plain, genotypes::ReadBudget& budget) {
  std::string text;
  while (true) {
    if (!lines.next()) {
      refuse(path, 0, "the file ends before the header's #CHROM line");
    }
    const std::string& line = lines.line();
    const std::int64_t number = plain ? lines.number() : 0;
    if (!line.starts_with('#')) {
      refuse(path, number, "a record before the header's #CHROM line");
    }
    budget.add(number, line.size(), 0);
    text.append(line).push_back('\n');
    if (line.starts_with("#CHROM")) {
      check_chrom_line(line, path, number);
      break;
    }
  }
  if (bcf_hdr_parse(header, text.data()) != 0) {
    refuse(path, 0, "htslib cannot read the header (its ## lines and the #CHROM line)");
  }
}

}  // namespace formats::detail
