// What the VCF reader takes from the command line: the samples' populations
// of --populations, and the records of --region and --loci.

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <istream>
#include <memory>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/stop.h"
#include "formats/vcf_internal.h"
#include "genotypes/lines.h"
#include "layout/layout.h"

namespace formats::detail {
namespace {

using genotypes::join;
using genotypes::quoted;

// Names shown of a list in a note before "...".
constexpr std::size_t NAMES_SHOWN = 5;

// The fields of a --populations line: separated by tabs when it has one
// (each trimmed of blanks), else by blanks; empty fields dropped.
[[nodiscard]] std::vector<std::string_view> population_fields(std::string_view line) {
  const bool tabs = line.find('\t') != std::string_view::npos;
  std::vector<std::string_view> fields;
  std::size_t start = 0;
  while (start <= line.size()) {
    const std::size_t end =
        std::min(tabs ? line.find('\t', start) : line.find_first_of(" \t", start), line.size());
    const std::string_view field = genotypes::trim_blanks(line.substr(start, end - start));
    if (!field.empty()) {
      fields.push_back(field);
    }
    start = end + 1;
  }
  return fields;
}

// "a", "b", "c", ... (at most NAMES_SHOWN names).
[[nodiscard]] std::string some_names(const std::vector<std::string_view>& names) {
  std::string text;
  for (std::size_t i = 0; i < std::min(names.size(), NAMES_SHOWN); ++i) {
    text += i == 0 ? "" : ", ";
    text += quoted(names[i]);
  }
  return names.size() > NAMES_SHOWN ? text + ", ..." : text;
}

// A 1-based position of a region or a name: digits, commas allowed between them.
[[nodiscard]] std::optional<std::int64_t> position_number(std::string_view text) {
  if (text.empty() || text.front() < '0' || text.front() > '9') {
    return std::nullopt;
  }
  std::string digits;
  for (const char c : text) {
    if (c >= '0' && c <= '9') {
      digits.push_back(c);
    } else if (c != ',') {
      return std::nullopt;
    }
  }
  std::int64_t value = 0;
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (error != std::errc{} || end != digits.data() + digits.size()) {
    return std::nullopt;
  }
  return value;
}

}  // namespace

SamplePopulations read_sample_populations(const std::string& path, genotypes::ReadBudget& budget,
                                          const NoteWriter& note) {
  const std::unique_ptr<std::istream> in = layout::open_input(path);
  genotypes::LineReader reader(*in, path, '\t', note);
  SamplePopulations result;
  while (reader.next_record()) {
    const std::string_view line = reader.line();
    const std::size_t first = line.find_first_not_of(" \t");
    if (first != std::string_view::npos && line[first] == '#') {
      continue;
    }
    const std::vector<std::string_view> fields = population_fields(line);
    if (fields.size() != 2) {
      throw common::FileError{path, reader.line_number(),
                              join({"a line gives a sample and its population, separated by a tab "
                                    "or blanks; this one has ",
                                    counted(fields.size(), "field", "fields")})};
    }
    const auto [at, added] = result.of_sample.emplace(
        std::string(fields[0]),
        SamplePopulations::Entry{std::string(fields[1]), reader.line_number()});
    if (!added) {
      throw common::FileError{
          path, reader.line_number(),
          join({"the sample ", quoted(fields[0]), " is listed a second time (first at line ",
                std::to_string(at->second.line), ")"})};
    }
    result.listed.emplace_back(fields[0]);
    budget.add(reader.line_number(), 2 * line.size(), 0);
  }
  return result;
}

std::vector<VcfSample> keep_vcf_samples(std::span<const std::string_view> samples,
                                        const SamplePopulations& populations,
                                        const std::string& vcf_path,
                                        const std::string& populations_path,
                                        const NoteWriter& note) {
  std::vector<VcfSample> kept;
  std::vector<std::string_view> left_out;
  std::set<std::string_view> in_vcf;
  for (std::size_t i = 0; i < samples.size(); ++i) {
    in_vcf.insert(samples[i]);
    const auto found = populations.of_sample.find(samples[i]);
    if (found == populations.of_sample.end()) {
      left_out.push_back(samples[i]);
    } else {
      kept.push_back(
          VcfSample{static_cast<int>(i), std::string(samples[i]), found->second.population});
    }
  }
  if (kept.empty()) {
    throw common::FileError{
        vcf_path, 0,
        join({"no sample of the VCF is in --populations ", quoted(populations_path),
              " (the VCF's samples: ", some_names(left_out), ")"})};
  }
  std::vector<std::string_view> absent;
  for (const std::string& name : populations.listed) {
    if (!in_vcf.contains(name)) {
      absent.emplace_back(name);
    }
  }
  if (note && !left_out.empty()) {
    note(join({"warning: ", layout::printable(vcf_path), ": ",
               counted(left_out.size(), "sample of the VCF is", "samples of the VCF are"),
               " in no population of --populations and ", left_out.size() == 1 ? "is" : "are",
               " left out (", some_names(left_out), ")"}));
  }
  if (note && !absent.empty()) {
    note(join({"warning: ", layout::printable(populations_path), ": ",
               counted(absent.size(), "sample listed is", "samples listed are"),
               " not in the VCF (", some_names(absent), ")"}));
  }
  return kept;
}

std::optional<VcfRegion> parse_vcf_region(std::string_view text) {
  if (text.empty()) {
    return std::nullopt;
  }
  // A contig name may hold ':', so only a range after the last one counts.
  const std::size_t colon = text.rfind(':');
  const std::size_t dash = colon == std::string_view::npos ? colon : text.find('-', colon);
  if (dash == std::string_view::npos) {
    return VcfRegion{std::string(text)};
  }
  const std::optional<std::int64_t> from =
      position_number(text.substr(colon + 1, dash - colon - 1));
  const std::optional<std::int64_t> to = position_number(text.substr(dash + 1));
  if (!from || !to) {
    return VcfRegion{std::string(text)};
  }
  if (*from < 1 || *from > *to || *to > HTS_POS_MAX) {
    throw common::FileError{
        "--region", 0,
        join({quoted(text),
              ": FROM-TO is a stretch of 1-based positions, FROM at least 1 and at most TO"})};
  }
  return VcfRegion{std::string(text.substr(0, colon)), *from, *to};
}

std::optional<VcfPosition> vcf_position_of(std::string_view name) {
  const std::size_t colon = name.rfind(':');
  if (colon == std::string_view::npos || colon == 0) {
    return std::nullopt;
  }
  const std::optional<std::int64_t> pos = position_number(name.substr(colon + 1));
  if (!pos || *pos < 1 || *pos > HTS_POS_MAX) {
    return std::nullopt;
  }
  return VcfPosition{std::string(name.substr(0, colon)), *pos};
}

bool VcfSelection::takes(std::string_view chrom, std::int64_t pos, std::string_view id) const {
  if (region && (chrom != region->chrom || pos < region->from || pos > region->to)) {
    return false;
  }
  if (loci.empty()) {
    return true;
  }
  return (id != "." && loci.contains(id)) || loci.contains(join({chrom, ":", std::to_string(pos)}));
}

}  // namespace formats::detail
