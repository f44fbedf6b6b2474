#include "cli/shard_file.h"

#include <algorithm>
#include <charconv>
#include <limits>

#include "cli/run_record.h"
#include "cli/shard_codec.h"
#include "common/count.h"
#include "common/stop.h"
#include "layout/layout.h"

namespace cli {
namespace {

constexpr std::string_view MAGIC = "quarnel shard file ";
constexpr std::string_view CHECKSUM = "\nsha256 ";
constexpr std::size_t DIGEST_DIGITS = 64;
constexpr std::int64_t INT_HIGH = std::numeric_limits<int>::max();

void put_events(ShardWriter& out, const std::vector<FitEvent>& events) {
  out.integer(common::count_of(events));
  for (const FitEvent& e : events) {
    for (const int value : {e.dataset_number, e.population, e.model, e.last_iteration,
                            e.decreased_iterations, e.converged ? 1 : 0, e.redrawn}) {
      out.integer(value);
    }
  }
}

std::vector<FitEvent> get_events(ShardReader& in) {
  std::vector<FitEvent> events(static_cast<std::size_t>(in.count()));
  for (FitEvent& e : events) {
    for (int* value :
         {&e.dataset_number, &e.population, &e.model, &e.last_iteration, &e.decreased_iterations}) {
      *value = static_cast<int>(in.integer(0, INT_HIGH));
    }
    e.converged = in.flag();
    e.redrawn = static_cast<int>(in.integer(0, INT_HIGH));
  }
  return events;
}

void put_overall_observed(ShardWriter& out, const OverallObserved& o) {
  out.texts(o.input.locus_names);
  out.integer(common::count_of(o.input.allele_names));
  for (const std::vector<std::string>& names : o.input.allele_names) {
    out.texts(names);
  }
  out.texts(o.input.population_names);
  out.integers(o.input.excluded_count);
  out.integer(common::count_of(o.input.untyped_systems));
  for (const std::vector<int>& systems : o.input.untyped_systems) {
    out.integers(systems);
  }
  put_grouping(out, o.input.null_grouping);
  put_grouping(out, o.input.alt_grouping);
  out.integer(o.permutations);
  out.integer(o.stop_after);
  out.real(o.min_frequency);
  out.texts(o.console_lines);
  out.texts(o.log_lines);
  out.texts(o.report_lines);
  put_events(out, o.events);
  out.integer(o.estimations);
  out.integer(common::count_of(o.populations));
  for (const common::PopulationResult& result : o.populations) {
    put_population(out, result);
  }
  out.texts(o.sparse_notes);
}

OverallObserved get_overall_observed(ShardReader& in) {
  OverallObserved o;
  o.input.locus_names = in.texts();
  o.input.allele_names.resize(static_cast<std::size_t>(in.count()));
  for (std::vector<std::string>& names : o.input.allele_names) {
    names = in.texts();
  }
  o.input.population_names = in.texts();
  o.input.excluded_count = in.integers(0, std::numeric_limits<int>::max());
  o.input.untyped_systems.resize(static_cast<std::size_t>(in.count()));
  for (std::vector<int>& systems : o.input.untyped_systems) {
    systems = in.integers(0, common::MAX_SYSTEMS - 1);
  }
  o.input.null_grouping = get_grouping(in);
  o.input.alt_grouping = get_grouping(in);
  o.permutations = static_cast<int>(in.integer(1, common::MAX_PERMUTATIONS));
  o.stop_after = static_cast<int>(in.integer(0, common::MAX_PERMUTATIONS));
  o.min_frequency = in.real();
  o.console_lines = in.texts();
  o.log_lines = in.texts();
  o.report_lines = in.texts();
  o.events = get_events(in);
  o.estimations = in.integer(0, std::numeric_limits<std::int64_t>::max());
  o.populations.resize(static_cast<std::size_t>(in.count()));
  for (common::PopulationResult& result : o.populations) {
    result = get_population(in);
  }
  o.sparse_notes = in.texts();
  return o;
}

void put_overall_block(ShardWriter& out, const OverallBlock& b) {
  out.integer(common::count_of(b.statistics));
  for (const std::vector<double>& statistics : b.statistics) {
    out.reals(statistics);
  }
  put_events(out, b.events);
  out.integer(b.estimations);
  out.texts(b.report_lines);
}

OverallBlock get_overall_block(ShardReader& in) {
  OverallBlock b;
  b.statistics.resize(static_cast<std::size_t>(in.count()));
  for (std::vector<double>& statistics : b.statistics) {
    statistics = in.reals();
  }
  b.events = get_events(in);
  b.estimations = in.integer(0, std::numeric_limits<std::int64_t>::max());
  b.report_lines = in.texts();
  return b;
}

void put_note_counts(ShardWriter& out, const NoteCounts& counts) {
  out.integer(common::count_of(counts.populations()));
  for (const PopulationNotes& notes : counts.populations()) {
    out.text(notes.population);
    for (const int value : {notes.not_converged, notes.decreased_iterations,
                            notes.not_converged_pairs, notes.decreased_pairs}) {
      out.integer(value);
    }
  }
}

NoteCounts get_note_counts(ShardReader& in) {
  NoteCounts counts;
  const int populations = in.count();
  for (int p = 0; p < populations; ++p) {
    PopulationNotes& notes = counts.of(in.text());
    for (int* value : {&notes.not_converged, &notes.decreased_iterations,
                       &notes.not_converged_pairs, &notes.decreased_pairs}) {
      *value = static_cast<int>(in.integer(0, INT_HIGH));
    }
  }
  return counts;
}

void put_pairs_block(ShardWriter& out, const PairsBlock& b) {
  out.integer(common::count_of(b.rows));
  for (const common::LocusPairResult& row : b.rows) {
    put_locus_pair(out, row);
  }
  out.integer(common::count_of(b.notes));
  for (const NoteCounts& notes : b.notes) {
    put_note_counts(out, notes);
  }
  out.texts(b.log_lines);
  out.texts(b.help_lines);
}

PairsBlock get_pairs_block(ShardReader& in) {
  PairsBlock b;
  b.rows.resize(static_cast<std::size_t>(in.count()));
  for (common::LocusPairResult& row : b.rows) {
    row = get_locus_pair(in);
  }
  b.notes.resize(static_cast<std::size_t>(in.count()));
  for (NoteCounts& notes : b.notes) {
    notes = get_note_counts(in);
  }
  b.log_lines = in.texts();
  b.help_lines = in.texts();
  return b;
}

std::string observed_bytes_of(const ShardFile& shard) {
  ShardWriter out;
  if (shard.pairs) {
    out.texts(shard.locus_pairs.loci);
    out.texts(shard.locus_pairs.population_order);
    out.flag(shard.locus_pairs.pair_alleles);
    out.integer(shard.locus_pairs.stop_after);
  } else {
    put_overall_observed(out, shard.overall);
  }
  return out.bytes();
}

std::string block_bytes_of(const ShardFile& shard) {
  ShardWriter out;
  if (shard.pairs) {
    put_pairs_block(out, shard.pairs_block);
  } else {
    put_overall_block(out, shard.overall_block);
  }
  return out.bytes();
}

}  // namespace

std::optional<ShardPart> parse_shard_part(std::string_view text) {
  const std::size_t slash = text.find('/');
  ShardPart part;
  if (slash == std::string_view::npos) {
    return std::nullopt;
  }
  const char* const end = text.data() + text.size();
  const auto k = std::from_chars(text.data(), text.data() + slash, part.k);
  const auto n = std::from_chars(text.data() + slash + 1, end, part.n);
  if (k.ec != std::errc{} || k.ptr != text.data() + slash || n.ec != std::errc{} || n.ptr != end ||
      part.n < 1 || part.n > MAX_SHARDS || part.k < 1 || part.k > part.n) {
    return std::nullopt;
  }
  return part;
}

ShardRange shard_range(std::int64_t count, const ShardPart& part) {
  return {count * (part.k - 1) / part.n, count * part.k / part.n};
}

std::string shard_path(const std::string& prefix, const ShardPart& part) {
  return prefix + ".shard-" + layout::integer_text(part.k) + "-of-" + layout::integer_text(part.n);
}

std::string record_fingerprint(const results::RunRecord& record) {
  ShardWriter out;
  put_record(out, record);
  return text_sha256(out.bytes());
}

std::string shard_file_bytes(const ShardFile& shard) {
  ShardWriter out;
  out.text(shard.pairs ? "pairs" : "overall");
  out.integer(shard.part.k);
  out.integer(shard.part.n);
  out.text(record_fingerprint(shard.record));
  ShardWriter record;
  put_record(record, shard.record);
  out.text(record.bytes());
  out.text(observed_bytes_of(shard));
  out.text(block_bytes_of(shard));
  std::string bytes =
      std::string(MAGIC) + layout::integer_text(SHARD_FORMAT_VERSION) + "\n" + out.bytes();
  bytes += std::string(CHECKSUM) + text_sha256(bytes) + "\n";
  return bytes;
}

namespace {

// The tokens after the version line, once the checksum has matched.
std::string_view checked_body(const std::string& path, std::string_view bytes) {
  const std::string version = layout::integer_text(SHARD_FORMAT_VERSION);
  if (!bytes.starts_with(MAGIC)) {
    throw common::FileError{path, 1, "not a quarnel shard file"};
  }
  const std::size_t line_end = bytes.find('\n');
  const std::string_view given =
      bytes.substr(MAGIC.size(), std::min(line_end, bytes.size()) - MAGIC.size());
  if (given != version) {
    throw common::FileError{path, 1,
                            "a shard file of format version " +
                                layout::printable(given.substr(0, 20)) +
                                "; this quarnel reads version " + version +
                                " (run the shards and the merge with one version)"};
  }
  const std::size_t mark = bytes.rfind(CHECKSUM);
  const std::size_t expected = mark + CHECKSUM.size() + DIGEST_DIGITS + 1;
  if (mark == std::string_view::npos || mark < line_end || expected != bytes.size() ||
      bytes.back() != '\n' ||
      bytes.substr(mark + CHECKSUM.size(), DIGEST_DIGITS) != text_sha256(bytes.substr(0, mark))) {
    throw common::FileError{path, 0,
                            "not a whole shard file (corrupt or truncated): its checksum does not "
                            "match its bytes"};
  }
  return bytes.substr(line_end + 1, mark - line_end - 1);
}

// Whether the fitted values of a model fit the grouping and the allele names.
bool model_fits(const common::FittedModel& model, const common::Grouping& grouping,
                const std::vector<std::vector<std::string>>& allele_names) {
  if (!model.values.empty() && common::count_of(model.values) != grouping.group_total()) {
    return false;
  }
  for (int g = 0; g < common::count_of(model.values); ++g) {
    const std::vector<int>& systems = grouping.group_systems[g];
    for (const common::FittedValue& value : model.values[g]) {
      if (value.alleles.size() != systems.size()) {
        return false;
      }
      for (std::size_t j = 0; j < systems.size(); ++j) {
        if (value.alleles[j] >= common::count_of(allele_names[systems[j]])) {
          return false;
        }
      }
    }
  }
  return true;
}

bool grouping_fits(const common::Grouping& grouping, int systems) {
  return std::all_of(grouping.group_systems.begin(), grouping.group_systems.end(),
                     [systems](const std::vector<int>& group) {
                       return !group.empty() &&
                              std::all_of(group.begin(), group.end(),
                                          [systems](int s) { return s < systems; });
                     });
}

bool events_fit(const std::vector<FitEvent>& events, int populations) {
  return std::all_of(events.begin(), events.end(), [populations](const FitEvent& e) {
    return e.population < populations && e.model <= 1;
  });
}

// What the writers index by: every index within the names it points into.
bool overall_fits(const OverallObserved& o, const OverallBlock& b) {
  const common::RunInput& input = o.input;
  const int systems = common::count_of(input.locus_names);
  const int populations = common::count_of(o.populations);
  if (common::count_of(input.allele_names) != systems ||
      !grouping_fits(input.null_grouping, systems) || !grouping_fits(input.alt_grouping, systems) ||
      common::count_of(o.sparse_notes) != populations ||
      common::count_of(b.statistics) != populations || !events_fit(o.events, populations) ||
      !events_fit(b.events, populations)) {
    return false;
  }
  for (const std::vector<int>& untyped : input.untyped_systems) {
    if (std::any_of(untyped.begin(), untyped.end(), [systems](int s) { return s >= systems; })) {
      return false;
    }
  }
  return std::all_of(o.populations.begin(), o.populations.end(),
                     [&input](const common::PopulationResult& r) {
                       return model_fits(r.null_model, input.null_grouping, input.allele_names) &&
                              model_fits(r.alt_model, input.alt_grouping, input.allele_names);
                     });
}

bool pairs_fit(const PairsObserved& o, const PairsBlock& b) {
  const int loci = common::count_of(o.loci);
  return std::all_of(b.rows.begin(), b.rows.end(), [&](const common::LocusPairResult& row) {
    const auto cell_fits = [&row](const common::AllelePairCell& cell) {
      return cell.allele_a < common::count_of(row.allele_names_a) &&
             cell.allele_b < common::count_of(row.allele_names_b);
    };
    return row.locus_a < row.locus_b && row.locus_b < loci &&
           std::find(o.population_order.begin(), o.population_order.end(), row.result.name) !=
               o.population_order.end() &&
           std::all_of(row.allele_pairs.begin(), row.allele_pairs.end(), cell_fits);
  });
}

void check_shard_indexes(const ShardReader& in, const ShardFile& shard) {
  if (shard.pairs ? !pairs_fit(shard.locus_pairs, shard.pairs_block)
                  : !overall_fits(shard.overall, shard.overall_block)) {
    in.fail("an index points past the names it belongs to");
  }
}

}  // namespace

ShardFile read_shard_file(const std::string& path, std::string_view bytes) {
  ShardReader in(path, checked_body(path, bytes));
  ShardFile shard;
  const std::string kind = in.text();
  if (kind != "pairs" && kind != "overall") {
    in.fail("unknown kind of run '" + layout::printable(kind) + "'");
  }
  shard.pairs = kind == "pairs";
  shard.part.k = static_cast<int>(in.integer(1, MAX_SHARDS));
  shard.part.n = static_cast<int>(in.integer(shard.part.k, MAX_SHARDS));
  shard.fingerprint = in.text();
  const std::string record = in.text();
  shard.observed_bytes = in.text();
  const std::string block = in.text();
  if (!in.at_end()) {
    in.fail("bytes after its last part");
  }
  ShardReader record_in(path, record);
  shard.record = get_record(record_in);
  ShardReader observed_in(path, shard.observed_bytes);
  ShardReader block_in(path, block);
  if (shard.pairs) {
    shard.locus_pairs.loci = observed_in.texts();
    shard.locus_pairs.population_order = observed_in.texts();
    shard.locus_pairs.pair_alleles = observed_in.flag();
    shard.locus_pairs.stop_after =
        static_cast<int>(observed_in.integer(0, common::MAX_PERMUTATIONS));
    shard.pairs_block = get_pairs_block(block_in);
  } else {
    shard.overall = get_overall_observed(observed_in);
    shard.overall_block = get_overall_block(block_in);
  }
  if (!record_in.at_end() || !observed_in.at_end() || !block_in.at_end()) {
    in.fail("a part is longer than its contents");
  }
  if (shard.fingerprint != record_fingerprint(shard.record)) {
    in.fail("its fingerprint is not that of its run record");
  }
  check_shard_indexes(in, shard);
  return shard;
}

}  // namespace cli
