#include <algorithm>
#include <string>
#include <vector>

#include "common/limits.h"
#include "common/stop.h"
#include "layout/layout.h"
#include "table/table.h"
#include "table/table_internal.h"

namespace table {
namespace {

std::vector<std::string> split(std::string_view text, char separator) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = text.find(separator, start);
    parts.push_back(trimmed(text.substr(start, end - start)));
    if (end == std::string_view::npos) {
      return parts;
    }
    start = end + 1;
  }
}

std::string lower(std::string_view text) {
  std::string result(text);
  for (char& c : result) {
    if (c >= 'A' && c <= 'Z') {
      c = static_cast<char>(c - 'A' + 'a');
    }
  }
  return result;
}

int locus_number(const GenotypeTable& table, const std::string& locus, const std::string& option,
                 std::string_view spec) {
  for (int l = 0; l < static_cast<int>(table.loci.size()); ++l) {
    if (table.loci[l].name == locus) {
      return l;
    }
  }
  std::string known;
  for (const Locus& l : table.loci) {
    known += (known.empty() ? "" : ", ") + l.name;
  }
  throw common::FileError{option, 0,
                          "\"" + layout::printable(spec) + "\" names the locus \"" +
                              layout::printable(locus) + "\", which the table does not have (it has " +
                              layout::printable(known) + ")"};
}

// The groups of a SPEC as table loci; every locus at most once.
std::vector<std::vector<int>> parse_groups(const GenotypeTable& table, std::string_view spec,
                                           const std::string& option) {
  std::vector<std::vector<int>> groups;
  std::vector<int> seen;
  for (const std::string& group : split(spec, ',')) {
    std::vector<int>& loci = groups.emplace_back();
    for (const std::string& name : split(group, '+')) {
      if (name.empty()) {
        throw common::FileError{option, 0,
                                "\"" + layout::printable(spec) +
                                    "\" has an empty group or locus name"};
      }
      const int l = locus_number(table, name, option, spec);
      if (std::find(seen.begin(), seen.end(), l) != seen.end()) {
        throw common::FileError{option, 0,
                                "\"" + layout::printable(spec) + "\" names the locus \"" +
                                    layout::printable(name) + "\" twice"};
      }
      seen.push_back(l);
      loci.push_back(l);
    }
  }
  return groups;
}

std::vector<int> sorted_loci(const std::vector<std::vector<int>>& groups) {
  std::vector<int> loci;
  for (const std::vector<int>& group : groups) {
    loci.insert(loci.end(), group.begin(), group.end());
  }
  std::sort(loci.begin(), loci.end());
  return loci;
}

void check_locus_count(const std::vector<int>& loci, const std::string& option) {
  if (static_cast<int>(loci.size()) < common::MIN_SYSTEMS ||
      static_cast<int>(loci.size()) > common::MAX_SYSTEMS) {
    throw common::FileError{option, 0,
                            "the test has " + std::to_string(loci.size()) +
                                " loci; it needs 2 to 10"};
  }
}

}  // namespace

char parse_delimiter(std::string_view value) {
  if (lower(value) == "tab") {
    return '\t';
  }
  if (value.size() != 1 || value[0] == '"' || value[0] == '\n' || value[0] == '\r') {
    throw common::FileError{"--delimiter", 0,
                            "\"" + layout::printable(value) +
                                "\" is not one character or the word tab"};
  }
  return value[0];
}

char delimiter_for(std::string_view path) {
  const std::size_t dot = path.find_last_of('.');
  const std::string extension = dot == std::string_view::npos ? "" : lower(path.substr(dot));
  if (extension == ".csv") {
    return ',';
  }
  if (extension == ".tsv" || extension == ".txt") {
    return '\t';
  }
  throw common::FileError{std::string(path), 0,
                          "the delimiter cannot be told from the file name (.csv is read with "
                          "commas, .tsv and .txt with tabs): give --delimiter"};
}

std::vector<std::string> parse_missing_tokens(std::string_view list) {
  if (trimmed(list).empty()) {
    return {};
  }
  return split(list, ',');
}

TestSpec parse_test(const GenotypeTable& table, std::string_view null_spec,
                    std::string_view alt_spec) {
  TestSpec test;
  const bool has_null = !trimmed(null_spec).empty();
  const bool has_alt = !trimmed(alt_spec).empty();
  if (has_null) {
    test.null_groups = parse_groups(table, null_spec, "--null");
  }
  if (has_alt) {
    test.alt_groups = parse_groups(table, alt_spec, "--alt");
  }
  if (has_null) {
    test.loci = sorted_loci(test.null_groups);
  } else if (has_alt) {
    test.loci = sorted_loci(test.alt_groups);
  } else {
    for (int l = 0; l < static_cast<int>(table.loci.size()); ++l) {
      test.loci.push_back(l);
    }
  }
  check_locus_count(test.loci, has_null ? "--null" : has_alt ? "--alt" : table.name);
  if (!has_null) {
    for (const int l : test.loci) {
      test.null_groups.push_back({l});
    }
  }
  if (!has_alt) {
    test.alt_groups.push_back(test.loci);
  }
  for (const int l : sorted_loci(test.alt_groups)) {
    if (!std::binary_search(test.loci.begin(), test.loci.end(), l)) {
      throw common::FileError{"--alt", 0,
                              "\"" + layout::printable(alt_spec) + "\" names the locus \"" +
                                  layout::printable(table.loci[l].name) +
                                  "\", which the null grouping does not hold"};
    }
  }
  return test;
}

std::vector<int> parse_loci(const GenotypeTable& table, std::string_view list) {
  std::vector<int> loci;
  if (trimmed(list).empty()) {
    for (int l = 0; l < static_cast<int>(table.loci.size()); ++l) {
      loci.push_back(l);
    }
  } else {
    loci = sorted_loci(parse_groups(table, list, "--loci"));
  }
  if (loci.size() < 2) {
    throw common::FileError{"--loci", 0, "the pairs need at least 2 loci"};
  }
  return loci;
}

TestSpec pair_test(int locus_a, int locus_b) {
  return {{locus_a, locus_b}, {{locus_a}, {locus_b}}, {{locus_a, locus_b}}};
}

}  // namespace table
