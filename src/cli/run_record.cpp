#include "cli/run_record.h"

#include <openssl/evp.h>
#include <sys/stat.h>

#include <array>
#include <charconv>
#include <fstream>
#include <memory>
#include <string_view>

#include "cli/genotype_internal.h"
#include "common/count.h"
#include "common/stop.h"
#include "layout/layout.h"

namespace cli {
namespace {

constexpr std::string_view HEX_DIGITS = "0123456789abcdef";
// Named without a version, so that the record's bytes do not depend on the
// library installed.
constexpr std::string_view DIGEST_IMPLEMENTATION = "OpenSSL libcrypto, EVP SHA-256";

// The last part of a path: the record names no folder.
std::string base_name(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The shortest decimal that reads back to value, as the result tables write reals.
std::string real_text(double value) {
  std::array<char, 32> buffer{};
  const std::to_chars_result written =
      std::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
  return {buffer.data(), written.ptr};
}

std::string joined(const std::vector<std::string>& names, std::string_view joint) {
  std::string text;
  for (std::size_t k = 0; k < names.size(); ++k) {
    text += (k == 0 ? "" : std::string(joint)) + names[k];
  }
  return text;
}

// The three rows of an input file: its base name, its size and its SHA-256.
void add_file_rows(const std::string& key, const std::string& path, results::RunRecord& record) {
  record.emplace_back(key, base_name(path));
  const std::optional<FileDigest> digest = file_digest(path);
  record.emplace_back(key + "_bytes",
                      digest ? layout::integer_text(digest->bytes) : "NA (not a regular file)");
  record.emplace_back(key + "_sha256", digest ? digest->sha256 : "NA (not a regular file)");
}

// The options of the format read, as given or as their documented default.
void add_format_rows(const Options& options, const formats::ReadGenotypes& read,
                     results::RunRecord& record) {
  const std::string_view format = read.format->name;
  record.emplace_back("format", std::string(format));
  record.emplace_back("format_chosen", read.detected ? "told from the first lines" : "--format");
  if (format == "table") {
    const table::TableOptions table = table_options(options);
    record.emplace_back("delimiter", options.delimiter.empty() ? "from the extension and header"
                                                               : options.delimiter);
    record.emplace_back("population_column", options.population_column.empty()
                                                 ? "population or pop, else the first"
                                                 : options.population_column);
    record.emplace_back("missing", joined(table.missing_tokens, ","));
  } else if (format == "genepop") {
    record.emplace_back("population_names", options.population_names);
  } else if (format == "structure") {
    record.emplace_back("structure_rows", options.structure_rows == 0
                                              ? "told from the file"
                                              : layout::integer_text(options.structure_rows));
    record.emplace_back("structure_columns", options.structure_columns == -1
                                                 ? "told from the file"
                                                 : layout::integer_text(options.structure_columns));
  } else if (format == "vcf") {
    add_file_rows("populations_file", options.populations, record);
    record.emplace_back("region", options.region.empty() ? "every record" : options.region);
  }
}

// The rule set with its settings, then the permutations and the seed.
void add_rule_rows(const Options& options, results::RunRecord& record) {
  const common::RuleSet rules = table_rules(options);
  record.emplace_back("rules", "maximum likelihood");
  record.emplace_back("em_starts", layout::integer_text(rules.estimation.starts));
  record.emplace_back("em_iteration_limit", layout::integer_text(rules.estimation.max_iterations));
  record.emplace_back("alleles", "those typed in the population");
  record.emplace_back("permutation_scheme",
                      "donors within the population and the pattern of missing typings");
  record.emplace_back("ties", "within 1e-6 (|lnL0| + |lnL1|) + 1e-9 of the observed statistic");
  record.emplace_back("p_value", options.stop_after > 0
                                     ? "(exceeding + ties + 1) / (permutations + 1); H / l "
                                       "where the sequential rule stopped a test"
                                     : "(exceeding + ties + 1) / (permutations + 1)");
  if (!options.locus_pairs) {
    record.emplace_back("min_frequency", real_text(table_min_frequency(options)));
  }
  record.emplace_back("permutations", layout::integer_text(options.permutations));
  if (options.stop_after > 0) {
    // A run without the row drew every permuted data set of every test.
    record.emplace_back("stop_after", layout::integer_text(options.stop_after));
  }
  record.emplace_back("seed", layout::integer_text(options.seed));
}

void add_population_rows(const std::vector<std::string>& names,
                         const std::vector<std::int64_t>& individuals,
                         const std::vector<std::int64_t>* excluded, results::RunRecord& record) {
  std::int64_t total = 0;
  for (const std::int64_t count : individuals) {
    total += count;
  }
  record.emplace_back("populations", layout::integer_text(common::count_of(names)));
  record.emplace_back("individuals", layout::integer_text(total));
  for (int p = 0; p < common::count_of(names); ++p) {
    const std::string key = "population_" + layout::integer_text(p + 1);
    record.emplace_back(key, names[p]);
    record.emplace_back(key + "_individuals", layout::integer_text(individuals[p]));
    if (excluded != nullptr) {
      record.emplace_back(key + "_excluded", layout::integer_text((*excluded)[p]));
    }
  }
}

std::string grouping_text(const common::RunInput& input, const common::Grouping& grouping) {
  std::string text;
  for (int g = 0; g < common::count_of(grouping.group_systems); ++g) {
    std::vector<std::string> loci;
    for (const int system : grouping.group_systems[g]) {
      loci.push_back(input.locus_names[system]);
    }
    text += (g == 0 ? "" : ", ") + joined(loci, "+");
  }
  return text;
}

struct DigestDeleter {
  void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};

}  // namespace

std::optional<FileDigest> file_digest(const std::string& path) {
  struct stat status {};
  if (::stat(path.c_str(), &status) != 0 || !S_ISREG(status.st_mode)) {
    return std::nullopt;
  }
  std::ifstream in(path, std::ios::binary);
  const std::unique_ptr<EVP_MD_CTX, DigestDeleter> context(EVP_MD_CTX_new());
  if (!in || !context || EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr) != 1) {
    throw common::FileError{path, 0, "cannot be read again to record its SHA-256"};
  }
  FileDigest digest;
  std::array<char, 1 << 16> buffer{};
  while (in) {
    in.read(buffer.data(), buffer.size());
    const std::streamsize got = in.gcount();
    if (got > 0 &&
        EVP_DigestUpdate(context.get(), buffer.data(), static_cast<std::size_t>(got)) != 1) {
      throw common::FileError{path, 0, "its SHA-256 could not be computed"};
    }
    digest.bytes += got;
  }
  std::array<unsigned char, EVP_MAX_MD_SIZE> hash{};
  unsigned int length = 0;
  if (in.bad() || EVP_DigestFinal_ex(context.get(), hash.data(), &length) != 1) {
    throw common::FileError{path, 0, "cannot be read again to record its SHA-256"};
  }
  for (unsigned int k = 0; k < length; ++k) {
    digest.sha256 += HEX_DIGITS[hash[k] >> 4];
    digest.sha256 += HEX_DIGITS[hash[k] & 15U];
  }
  return digest;
}

std::string text_sha256(std::string_view bytes) {
  std::array<unsigned char, EVP_MAX_MD_SIZE> hash{};
  unsigned int length = 0;
  if (EVP_Digest(bytes.data(), bytes.size(), hash.data(), &length, EVP_sha256(), nullptr) != 1) {
    throw common::FileError{"", 0, "a SHA-256 could not be computed"};
  }
  std::string hex;
  for (unsigned int k = 0; k < length; ++k) {
    hex += HEX_DIGITS[hash[k] >> 4];
    hex += HEX_DIGITS[hash[k] & 15U];
  }
  return hex;
}

results::RunRecord run_record_head(const Options& options, const formats::ReadGenotypes& read) {
  results::RunRecord record;
  record.emplace_back("program", "quarnel");
  record.emplace_back("version", QUARNEL_VERSION);
  add_file_rows("input", options.genotypes, record);
  record.emplace_back("sha256_implementation", std::string(DIGEST_IMPLEMENTATION));
  add_format_rows(options, read, record);
  add_rule_rows(options, record);
  return record;
}

void add_overall_rows(const genotypes::TestInput& made, results::RunRecord& record) {
  const common::RunInput& input = made.input;
  record.emplace_back("test", "overall");
  record.emplace_back("loci", joined(input.locus_names, ", "));
  record.emplace_back("loci_count", layout::integer_text(common::count_of(input.locus_names)));
  record.emplace_back("null_grouping", grouping_text(input, input.null_grouping));
  record.emplace_back("alt_grouping", grouping_text(input, input.alt_grouping));
  std::vector<std::int64_t> individuals;
  std::vector<std::int64_t> excluded;
  for (int p = 0; p < input.populations.population_count(); ++p) {
    individuals.push_back(input.populations.population_record_count(p));
    excluded.push_back(p < common::count_of(input.excluded_count) ? input.excluded_count[p] : 0);
  }
  add_population_rows(input.population_names, individuals, &excluded, record);
  if (!made.dropped_populations.empty()) {
    record.emplace_back("populations_dropped", joined(made.dropped_populations, ", "));
  }
}

void add_locus_pair_rows(const genotypes::GenotypeData& genotypes,
                         const std::vector<std::string>& loci, results::RunRecord& record) {
  record.emplace_back("test", "pairs of loci");
  record.emplace_back("loci", joined(loci, ", "));
  record.emplace_back("loci_count", layout::integer_text(common::count_of(loci)));
  record.emplace_back("null_grouping", "each locus of a pair alone");
  record.emplace_back("alt_grouping", "the two loci of a pair together");
  const common::FirstAppearance order = genotypes::population_order(genotypes);
  std::vector<std::int64_t> individuals(order.values.size(), 0);
  for (const int p : order.number_of) {
    ++individuals[static_cast<std::size_t>(p)];
  }
  add_population_rows(order.values, individuals, nullptr, record);
  record.emplace_back("individuals_per_pair", "in the pairs table (individuals, excluded)");
}

}  // namespace cli
